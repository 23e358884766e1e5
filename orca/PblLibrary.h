#pragma once
// A PowerBuilder library file (.pbl, ANSI formats 0400, 0500 and 0600) held in memory:
// reading with full validation, changing entries, and writing a complete new library
// image. Nothing here knows about ORCA sessions; the ORCA calls are built on it.
//
// Reading checks every structure it follows (block tags, pointers inside the file,
// cycles in data chains, in the bitmap chain and in the directory tree, sizes that
// disagree with their chains) and fails with a precise text instead of guessing.
// Writing never fabricates bytes it does not understand: entry data (source and
// compiled forms alike) is kept exactly as read.
//
// Names are ordered the way PowerBuilder's directory orders them: byte by byte with the
// ASCII letters compared without regard to case (so '.' < digits < '_' < letters, and
// "m_main.srm" < "m_main_pbgrid.srm" < "m_mainx.srm"). Two names differing only in
// case are the same name.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orca {

// One directory entry: a source (name.srw) or a compiled form (name.win) of an object.
struct PblEntry {
    std::string name;            // with its extension, as stored
    std::string format;          // four characters, e.g. "0600", as stored in the entry
    uint32_t time = 0;           // Unix seconds (UTC)
    uint16_t commentLength = 0;  // bytes of comment at the start of data
    std::string data;            // the entry's data: comment, then the rest

    std::string_view Comment() const { return std::string_view(data).substr(0, commentLength); }
    // For source entries, the source text after the comment.
    std::string_view Body() const { return std::string_view(data).substr(commentLength); }
};

class PblLibrary {
  public:
    // Parses a whole library image. nullptr with the reason in *error when the image is
    // not a valid ANSI library (UTF-16 libraries are recognised and refused by name).
    static std::unique_ptr<PblLibrary> Parse(std::string_view image, std::string* error);
    // Reads and parses a library file (host path).
    static std::unique_ptr<PblLibrary> Load(const std::string& hostPath, std::string* error);
    // A new, empty library.
    static std::unique_ptr<PblLibrary> Create(std::string_view format, std::string_view comment,
                                              uint32_t time);

    const std::string& Format() const { return format_; }  // "0400", "0500" or "0600"
    uint32_t Time() const { return time_; }
    const std::string& Comment() const { return comment_; }
    void SetComment(std::string_view comment);  // at most 255 bytes are kept
    // The library's source-control data (raw bytes, possibly empty).
    const std::string& SourceControlData() const { return scc_; }
    void SetSourceControlData(std::string data) { scc_ = std::move(data); }

    // Entries in directory order (sorted by name as the directory tree orders them).
    const std::vector<PblEntry>& Entries() const { return entries_; }
    // The entry of that name with extension (letters compared without regard to case).
    const PblEntry* Find(std::string_view name) const;
    // Adds the entry, or replaces the one of the same name (ignoring case). An empty
    // format takes the library's. False (reason in *error, library unchanged) for a name
    // that is empty, longer than MaxNameLength or holds a zero byte, a format that is
    // not four bytes, a comment length beyond the data, or data over MaxDataSize.
    // Entries read from a file can carry names longer than that: callers copying them
    // must act on a refusal.
    [[nodiscard]] bool Put(PblEntry entry, std::string* error = nullptr);
    bool Remove(std::string_view name);

    // Directory order of two names (see above); true when a sorts before b.
    static bool NameLess(std::string_view a, std::string_view b);
    static constexpr size_t MaxNameLength = 255;
    static constexpr size_t MaxDataSize = size_t{1} << 30;

    // A complete library image: header, bitmap, directory tree, data chains. Empty only
    // when the library would not fit the format's 32-bit offsets (see Save).
    std::string Serialize() const;
    // Serialize and replace the file atomically; false with the reason in *error leaves
    // the file exactly as it was (a read-only file is refused). It takes no write lock:
    // a change to an existing library goes through LibraryLock::Commit.
    bool Save(const std::string& hostPath, std::string* error) const;

  private:
    std::string format_;
    uint32_t time_ = 0;
    std::string comment_;
    std::string scc_;
    std::vector<PblEntry> entries_;
};

}  // namespace orca
