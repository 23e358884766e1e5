#pragma once
// A PowerBuilder library file (.pbl) held in memory: reading with full validation,
// changing entries, and writing a complete new library image. Nothing here knows about
// ORCA sessions; the ORCA calls are built on it.
//
// Two kinds of library exist, told apart by their encoding (both carry format 0600):
// ANSI libraries (PowerBuilder 4 to 9, formats 0400, 0500, 0600), whose names, comments
// and sources are bytes of the Windows code page, and Unicode libraries (PowerBuilder 10
// and later), which hold them in UTF-16LE. In memory a Unicode library keeps its entry
// names in UTF-8 (they are keys: compared, looked up and named in error texts; a name
// that is not valid UTF-16 makes the file unreadable), and its comments and entry data
// as stored, UTF-16LE bytes, so that an entry nobody changed is written back byte for
// byte. orca/TextBridge.h converts those texts.
//
// Reading checks every structure it follows (block tags, pointers inside the file,
// cycles in data chains, in the bitmap chain and in the directory tree, sizes that
// disagree with their chains) and fails with a precise text instead of guessing.
// Writing never fabricates bytes it does not understand: entry data (source and
// compiled forms alike) is kept exactly as read. A library read from a file keeps the
// file's image and its entries' data stays in it (see PblData); images read by Load
// and Read go back to a small pool of buffers when their last entry goes, for the next
// library read.
//
// Names are ordered the way PowerBuilder's directory orders them: byte by byte with the
// ASCII letters compared without regard to case (so '.' < digits < '_' < letters, and
// "m_main.srm" < "m_main_pbgrid.srm" < "m_mainx.srm"). Two names differing only in
// case are the same name.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orca/PblBinary.h"

namespace orca {

// What identifies the state of a file: which file it is, its size and its times. A
// commit in place changes the modification time to one no earlier state had.
struct FileStamp {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
    bool operator==(const FileStamp&) const = default;
};

// The bytes of a library file as read. They never change once read; the entries read
// from them keep them alive.
class PblImage {
  public:
    virtual ~PblImage() = default;
    std::string_view Bytes() const { return bytes_; }
    // The state of the file these bytes are exactly, when they were read whole from a
    // file that did not change meanwhile.
    const std::optional<FileStamp>& Origin() const { return origin_; }

  protected:
    std::string_view bytes_;
    std::optional<FileStamp> origin_;
};

// The bytes of one entry. Entries built in memory hold their bytes; entries read from a
// file keep them where they are, in the data chain of the library image they were read
// from. The reader has checked that chain block by block before handing the entry out,
// and the image is never changed once read and lives as long as any entry pointing into
// it, so reading from it needs no further checks. Copying an entry, or a library, copies
// no data of the entries read from the file.
class PblData {
  public:
    PblData() = default;
    PblData(std::string bytes)
        : held_(std::make_shared<const std::string>(std::move(bytes))), size_(held_->size()) {}
    PblData(const char* bytes) : PblData(std::string(bytes)) {}
    // The size bytes of the chain starting at the DAT* block at offset first of image.
    // Only the reader makes these, after checking the chain.
    PblData(std::shared_ptr<const PblImage> image, uint32_t first, size_t size)
        : image_(std::move(image)), first_(first), size_(size) {}

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // n bytes from offset from (the range is cut at size()) copied to out; the count.
    size_t CopyTo(size_t from, size_t n, char* out) const;
    // The bytes from offset from on, at most n of them, as a string of their own.
    std::string Str(size_t from = 0, size_t n = std::string::npos) const;
    // The first n bytes (cut at size()) without copying. Empty when they do not lie in
    // one piece, which the reader rules out for an entry's comment.
    std::string_view Prefix(size_t n) const;
    // Calls sink(const char*, size_t) for each run of bytes in order.
    template <class Sink>
    void ForEachPiece(Sink&& sink) const;

    // What holds the bytes (the image, or the bytes held in memory, shared by copies of
    // this data), and the offset of the first block when it is an image: together they
    // say where the bytes came from, which lets a commit keep a chain already in the file.
    std::shared_ptr<const void> Owner() const {
        if (image_)
            return image_;
        return held_;
    }
    uint32_t First() const { return first_; }
    const std::shared_ptr<const PblImage>& Image() const { return image_; }

    friend bool operator==(const PblData& a, std::string_view b);
    friend bool operator==(const PblData& a, const std::string& b) {
        return a == std::string_view(b);
    }
    friend bool operator==(const PblData& a, const char* b) { return a == std::string_view(b); }
    friend bool operator==(const PblData& a, const PblData& b);

  private:
    std::shared_ptr<const std::string> held_;  // set for bytes held in memory
    std::shared_ptr<const PblImage> image_;    // set for bytes in a library image
    uint32_t first_ = 0;
    size_t size_ = 0;
};

template <class Sink>
void PblData::ForEachPiece(Sink&& sink) const {
    if (!image_) {
        if (held_ && !held_->empty())
            sink(held_->data(), held_->size());
        return;
    }
    // The chain was checked when it was read; the bounds here only keep a walk that
    // could never go wrong from going anywhere if it did.
    const std::string_view image = image_->Bytes();
    size_t remaining = size_;
    uint32_t at = first_;
    while (remaining > 0 && at != 0 && static_cast<size_t>(at) + pbl::BlockSize <= image.size()) {
        const char* b = image.data() + at;
        const size_t count =
            std::min<size_t>(std::min<size_t>(pbl::Get16(b + 8), pbl::DataPerBlock), remaining);
        if (count != 0)
            sink(b + pbl::DataHeaderSize, count);
        remaining -= count;
        at = pbl::Get32(b + 4);
    }
}

// One directory entry: a source (name.srw) or a compiled form (name.win) of an object.
struct PblEntry {
    std::string name;            // with its extension, as stored
    std::string format;          // four characters, e.g. "0600", as stored in the entry
    uint32_t time = 0;           // Unix seconds (UTC)
    uint16_t commentLength = 0;  // characters of comment at the start of data
    PblData data;                // the entry's data: comment, then the rest
    // The entry's texts are UTF-16LE (an entry of a Unicode library): commentLength counts
    // UTF-16 units, two bytes each.
    bool wide = false;
    // For an entry of an ANSI view (orca/AnsiView.h): the stored entry of the Unicode
    // library it shows, written back as it is while the entry is unchanged.
    std::shared_ptr<const PblEntry> origin = nullptr;

    size_t CommentBytes() const { return wide ? size_t{commentLength} * 2 : commentLength; }
    std::string_view Comment() const { return data.Prefix(CommentBytes()); }
    // For source entries, the size of the source text after the comment, the text
    // copied to out (which must hold BodySize() bytes), and the text as a string.
    size_t BodySize() const { return data.size() - std::min(CommentBytes(), data.size()); }
    void CopyBody(char* out) const { data.CopyTo(CommentBytes(), BodySize(), out); }
    std::string BodyText() const { return data.Str(CommentBytes()); }
};

enum class PblKind { Ansi, Unicode };

class PblLibrary {
  public:
    // Parses a whole library image, ANSI or Unicode. nullptr with the reason in *error
    // when the image is not a valid library.
    static std::unique_ptr<PblLibrary> Parse(std::string_view image, std::string* error);
    // The same on an image the library may keep: its entries' data stays in it.
    static std::unique_ptr<PblLibrary> Parse(std::shared_ptr<const PblImage> image,
                                             std::string* error);
    // Reads and parses a library file (host path).
    static std::unique_ptr<PblLibrary> Load(const std::string& hostPath, std::string* error);
    // Reads the open file fd (the file at hostPath, named in the error texts) and parses
    // it: the state of its last finished commit, never a commit's half-written bytes
    // (see PblJournal.h). Its size is taken as it is during the read.
    static std::unique_ptr<PblLibrary> Read(int fd, const std::string& hostPath,
                                            std::string* error);
    // A new, empty library. The comment is text of the library's kind: code page bytes,
    // or UTF-16LE bytes for a Unicode library.
    static std::unique_ptr<PblLibrary> Create(std::string_view format, std::string_view comment,
                                              uint32_t time, PblKind kind = PblKind::Ansi);

    PblKind Kind() const { return kind_; }
    const std::string& Format() const { return format_; }  // "0400", "0500" or "0600"
    uint32_t Time() const { return time_; }
    // In the library's kind: code page bytes, or UTF-16LE bytes in a Unicode library.
    const std::string& Comment() const { return comment_; }
    void SetComment(std::string_view comment);  // at most 255 characters are kept
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
    // not four bytes, a comment length beyond the data, or data over MaxDataSize; in a
    // Unicode library also for a name that is not UTF-8 and for an ANSI entry with a
    // comment (its texts are not UTF-16); in an ANSI library for a wide entry with a
    // comment. An entry without comment takes the library's kind.
    // Entries read from a file can carry names longer than that: callers copying them
    // must act on a refusal.
    [[nodiscard]] bool Put(PblEntry entry, std::string* error = nullptr);
    bool Remove(std::string_view name);

    // Set on an ANSI view of a Unicode library (orca/AnsiView.h): the library it shows,
    // which is what gets written.
    const std::shared_ptr<const PblLibrary>& StoredForm() const { return storedForm_; }
    void SetStoredForm(std::shared_ptr<const PblLibrary> stored) {
        storedForm_ = std::move(stored);
    }

    // Directory order of two names (see above); true when a sorts before b.
    static bool NameLess(std::string_view a, std::string_view b);
    static constexpr size_t MaxNameLength = 255;
    static constexpr size_t MaxDataSize = size_t{1} << 30;

    // A complete library image: header, bitmap, directory tree, data chains. Empty only
    // when the library would not fit the format's 32-bit offsets (see Save), or for an
    // ANSI view whose texts do not convert back (AnsiView.h: StoredFormOf says why).
    std::string Serialize() const;
    // Serialize and replace the file atomically; false with the reason in *error leaves
    // the file exactly as it was (a read-only file is refused). It takes no write lock:
    // a change to an existing library goes through LibraryLock::Commit.
    bool Save(const std::string& hostPath, std::string* error) const;

  private:
    PblKind kind_ = PblKind::Ansi;
    std::string format_;
    uint32_t time_ = 0;
    std::string comment_;
    std::string scc_;
    std::vector<PblEntry> entries_;
    std::shared_ptr<const PblLibrary> storedForm_;
};

}  // namespace orca
