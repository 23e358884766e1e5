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

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orca {

// One directory entry: a source (name.srw) or a compiled form (name.win) of an object.
struct PblEntry {
    std::string name;          // with its extension, as stored
    std::string format;        // four characters, e.g. "0600", as stored in the entry
    uint32_t time = 0;         // Unix seconds (UTC)
    uint16_t commentLength = 0;  // bytes of comment at the start of data
    std::string data;          // the entry's data: comment, then the rest

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
    const PblEntry* Find(std::string_view name) const;  // exact name with extension
    // Adds the entry, or replaces the one of the same name.
    void Put(PblEntry entry);
    bool Remove(std::string_view name);

    // A complete library image: header, bitmap, directory tree, data chains.
    std::string Serialize() const;
    // Serialize and replace the file atomically; false with the reason in *error leaves
    // the file exactly as it was.
    bool Save(const std::string& hostPath, std::string* error) const;

private:
    std::string format_;
    uint32_t time_ = 0;
    std::string comment_;
    std::string scc_;
    std::vector<PblEntry> entries_;
};

}  // namespace orca
