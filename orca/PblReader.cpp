// Reading a library image: PblLibrary::Parse.
//
// Everything the reader follows is checked: block tags, pointers (non-zero ones must be
// block-aligned and lie wholly inside the image), data counts, chain lengths against
// the size fields, and that no block is reached twice (a loop in a chain or in the
// directory tree, or two structures claiming the same block). Every block is claimed
// by the structure that reaches it first, so all of this costs one pass over the
// blocks the library uses.
//
// What the reader does not need is tolerated, because PowerBuilder's own libraries
// vary there or because it cannot hurt: blocks no structure reaches (PowerBuilder
// leaves replaced data behind), bitmap bits that disagree with what is used (the
// library is always written anew from what was read, never patched in place), the
// free-space and first/last-name words and the parent pointers of directory nodes
// (recomputed on writing), names out of search-tree order (entries are sorted after
// reading), the header's flag word, entry format strings, and a file length that is not
// a whole number of blocks.
//
// The kind of library is told by the encoding of the header's title: "PowerBuilder" in
// UTF-16 at offset 4 makes a Unicode library, whatever its format string says. Every
// entry chunk of a library must then be of the same kind (a chunk's format string is
// UTF-16 in Unicode libraries): a file mixing the two is refused, as are names that are
// not valid UTF-16.

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orca/PblBinary.h"
#include "orca/PblLibrary.h"
#include "orca/TextBridge.h"
#include "platform/Ansi.h"

namespace orca {

namespace {

using namespace pbl;

constexpr uint32_t OwnerNone = 0;
constexpr uint32_t OwnerHeader = 1;
constexpr uint32_t OwnerBitmap = 2;
constexpr uint32_t OwnerDirectory = 3;
constexpr uint32_t OwnerScc = 4;
constexpr uint32_t OwnerFirstEntry = 5;  // entry chunk i is owner OwnerFirstEntry + i

// Deeper trees than this are refused; the visited check already bounds the walk, this
// only keeps a fabricated chain of nodes from being mistaken for a directory.
constexpr size_t MaxTreeDepth = 65536;

struct Chunk {
    std::string name;
    std::string format;
    uint32_t data = 0;
    uint32_t size = 0;
    uint32_t time = 0;
    uint16_t commentLength = 0;
    uint32_t node = 0;  // offset of the node holding the chunk
};

class Reader {
  public:
    Reader(std::shared_ptr<const PblImage> image, std::string* error)
        : shared_(std::move(image)),
          image_(shared_->Bytes()),
          error_(error),
          owner_(image_.size() / BlockSize, OwnerNone) {}

    // False with the reason in *error when the image is not a readable library.
    bool Run(PblKind* kind, std::string* format, uint32_t* time, std::string* comment,
             std::string* scc, std::vector<PblEntry>* entries);

  private:
    bool Fail(std::string text) {
        if (error_)
            *error_ = std::move(text);
        return false;
    }

    std::string OwnerText(uint32_t owner) const {
        switch (owner) {
            case OwnerHeader:
                return "the library header";
            case OwnerBitmap:
                return "the free-block bitmap";
            case OwnerDirectory:
                return "the directory";
            case OwnerScc:
                return "the source-control data";
            default:
                return "entry '" + chunks_[owner - OwnerFirstEntry].name + "'";
        }
    }

    // Checks that a non-zero pointer is block-aligned and that span bytes from it lie in
    // the image. what names the structure for the error text.
    bool CheckPointer(uint32_t offset, size_t span, const std::string& what) {
        if (offset % BlockSize != 0)
            return Fail(what + " offset " + std::to_string(offset) +
                        " is not a multiple of the 512-byte block size");
        if (static_cast<size_t>(offset) + span > image_.size())
            return Fail(what + " at offset " + std::to_string(offset) +
                        " lies past the end of the file (" + std::to_string(image_.size()) +
                        " bytes)");
        return true;
    }

    bool CheckTag(uint32_t offset, std::string_view tag, const std::string& what) {
        if (image_.substr(offset, 4) != tag)
            return Fail(what + " at offset " + std::to_string(offset) + " has tag '" +
                        TagText(image_.substr(offset, 4)) + "' instead of " + std::string(tag));
        return true;
    }

    // Claims count blocks from offset for owner; a block already claimed means a loop
    // (same owner) or two structures sharing a block. what() names the structure for
    // the error text; it is only called when something is wrong.
    template <class What>
    bool Claim(uint32_t offset, size_t count, uint32_t owner, const What& what) {
        const size_t first = offset / BlockSize;
        for (size_t b = first; b < first + count; ++b) {
            const uint32_t had = owner_[b];
            if (had == OwnerNone)
                continue;
            const std::string at = std::to_string(b * BlockSize);
            if (had == owner) {
                if (owner == OwnerDirectory)
                    return Fail(what() + " at offset " + std::to_string(offset) +
                                " closes a loop in the directory tree");
                if (owner == OwnerBitmap)
                    return Fail(what() + ": the bitmap chain loops back to offset " + at);
                return Fail(what() + ": the data chain loops back to the block at offset " + at);
            }
            return Fail(what() + ": the block at offset " + at + " is also used by " +
                        OwnerText(had));
        }
        for (size_t b = first; b < first + count; ++b)
            owner_[b] = owner;
        return true;
    }
    bool Claim(uint32_t offset, size_t count, uint32_t owner, const std::string& what) {
        return Claim(offset, count, owner, [&] { return what; });
    }

    bool ReadHeader(std::string* format, uint32_t* time, std::string* comment, uint32_t* sccAt,
                    uint32_t* sccSize);
    bool ReadBitmapChain();
    bool ReadDirectory();
    bool ReadNode(uint32_t offset);
    // The chunks in name order (indices into chunks_).
    std::vector<uint32_t> SortedChunks() const;
    // Checks the data chain from first holding size bytes and claims its blocks for
    // owner; appends its bytes to *out when out is given, and gives the data count of
    // its first block in *firstCount when that is given.
    template <class What>
    bool ReadChain(uint32_t first, uint32_t size, uint32_t owner, const What& what,
                   std::string* out, size_t* firstCount = nullptr);
    bool ReadEntries(std::vector<PblEntry>* entries);

    const Layout* layout_ = &AnsiLayout;
    bool wide_ = false;                       // a Unicode library
    std::shared_ptr<const PblImage> shared_;  // the image the entries' data stays in
    std::string_view image_;
    std::string* error_;
    std::vector<uint32_t> owner_;  // per whole block of the image
    std::vector<Chunk> chunks_;
    // The directory nodes read: their chunks [begin, end) and children (indices, -1 none).
    struct Node {
        size_t begin, end;
        long left, right;
    };
    std::vector<Node> nodes_;
};

bool Reader::ReadHeader(std::string* format, uint32_t* time, std::string* comment, uint32_t* sccAt,
                        uint32_t* sccSize) {
    if (image_.empty())
        return Fail("the file is empty (0 bytes), not a PowerBuilder library");
    if (image_.substr(0, 4) != "HDR*")
        return Fail("not a PowerBuilder library: no HDR* tag at offset 0 (found '" +
                    TagText(image_.substr(0, 4)) + "')");
    // "P\0" after the tag: the title, and so every text, is UTF-16.
    if (image_.size() > 5 && image_[4] == 'P' && image_[5] == '\0') {
        wide_ = true;
        layout_ = &UnicodeLayout;
    }
    const Layout& l = *layout_;
    if (image_.size() < l.headerBlocks * BlockSize)
        return Fail(std::string(wide_ ? "truncated Unicode library: " : "truncated library: ") +
                    std::to_string(image_.size()) + " bytes cannot hold the " +
                    std::to_string(l.headerBlocks * BlockSize) + "-byte header");
    const std::string_view title = image_.substr(l.headerTitle, 12 * l.unit);
    if (wide_ ? title != std::string_view("P\0o\0w\0e\0r\0B\0u\0i\0l\0d\0e\0r\0", 24)
              : title != "PowerBuilder")
        return Fail(std::string("not a PowerBuilder library: the header at offset 4 does not "
                                "read 'PowerBuilder'") +
                    (wide_ ? " in UTF-16" : ""));
    const std::string_view formatField = image_.substr(l.headerFormat, 4 * l.unit);
    format->clear();
    for (size_t i = 0; i < formatField.size(); i += l.unit) {
        if (wide_ && formatField[i + 1] != '\0')
            return Fail("unsupported Unicode library format at header offset " +
                        std::to_string(l.headerFormat) + " (not a UTF-16 format string)");
        *format += formatField[i];
    }
    if (*format != "0400" && *format != "0500" && *format != "0600")
        return Fail("unsupported library format '" + TagText(*format) + "' at header offset " +
                    std::to_string(l.headerFormat) + " (0400, 0500 and 0600 can be read)");
    const char* h = image_.data();
    *time = Get32(h + l.headerTime);
    // The comment is zero-terminated; a 256th character without terminator is dropped,
    // as the library only ever keeps 255.
    const std::string_view field = image_.substr(l.headerComment, l.headerCommentSize);
    size_t end = 0;
    while (end + l.unit < field.size() && !(field[end] == '\0' && field[end + l.unit - 1] == '\0'))
        end += l.unit;
    *comment = std::string(field.substr(0, end));
    *sccAt = Get32(h + l.headerSccOffset);
    *sccSize = Get32(h + l.headerSccSize);
    return Claim(0, l.headerBlocks, OwnerHeader, std::string("the library header"));
}

bool Reader::ReadBitmapChain() {
    uint32_t at = layout_->bitmapOffset;
    bool first = true;
    while (at != 0) {
        const std::string what = first ? "the free-block bitmap" : "a chained free-block bitmap";
        if (!CheckPointer(at, BlockSize, what) || !CheckTag(at, "FRE*", what) ||
            !Claim(at, 1, OwnerBitmap, what))
            return false;
        at = Get32(image_.data() + at + 4);
        first = false;
    }
    return true;
}

bool Reader::ReadDirectory() {
    struct Visit {
        uint32_t offset;
        uint32_t parent;  // 0 for the root
        const char* side;
        size_t depth;
        long parentNode;  // index in nodes_ of the parent, -1 for the root
    };
    const uint32_t root = layout_->rootOffset;
    if (image_.size() < root + NodeSize)
        return Fail("the file ends at " + std::to_string(image_.size()) +
                    " bytes, before the end of the root directory node at offset " +
                    std::to_string(root) + " (truncated file)");
    std::vector<Visit> pending{{root, 0, "", 0, -1}};
    while (!pending.empty()) {
        const Visit v = pending.back();
        pending.pop_back();
        auto what = [&] {
            return v.parent == 0
                       ? std::string("the root directory node")
                       : "directory node (" + std::string(v.side) +
                             " child of the node at offset " + std::to_string(v.parent) + ")";
        };
        // The texts for a failure are only built when something is wrong.
        if (v.offset % BlockSize != 0 || static_cast<size_t>(v.offset) + NodeSize > image_.size() ||
            std::memcmp(image_.data() + v.offset, "NOD*", 4) != 0) {
            if (CheckPointer(v.offset, NodeSize, what()))
                CheckTag(v.offset, "NOD*", what());
            return false;
        }
        if (!Claim(v.offset, NodeBlocks, OwnerDirectory, what))
            return false;
        if (v.depth >= MaxTreeDepth)
            return Fail("the directory tree is deeper than " + std::to_string(MaxTreeDepth) +
                        " nodes at offset " + std::to_string(v.offset));
        const long index = static_cast<long>(nodes_.size());
        nodes_.push_back({chunks_.size(), 0, -1, -1});
        if (v.parentNode >= 0)
            (std::strcmp(v.side, "left") == 0 ? nodes_[static_cast<size_t>(v.parentNode)].left
                                              : nodes_[static_cast<size_t>(v.parentNode)].right) =
                index;
        if (!ReadNode(v.offset))
            return false;
        nodes_[static_cast<size_t>(index)].end = chunks_.size();
        const char* n = image_.data() + v.offset;
        const uint32_t right = Get32(n + NodeRight);
        const uint32_t left = Get32(n + NodeLeft);
        if (right != 0)
            pending.push_back({right, v.offset, "right", v.depth + 1, index});
        if (left != 0)
            pending.push_back({left, v.offset, "left", v.depth + 1, index});
    }
    return true;
}

std::vector<uint32_t> Reader::SortedChunks() const {
    auto less = [&](uint32_t a, uint32_t b) {
        return platform::AsciiCompareText(chunks_[a].name, chunks_[b].name) < 0;
    };
    // The tree read in order, each node's chunks sorted: every node's left subtree sorts
    // before it and its right subtree after it, so in a sound tree this is the order of
    // all the names. The tree has no loops (every node was claimed once).
    std::vector<uint32_t> order;
    order.reserve(chunks_.size());
    std::vector<long> stack;
    long at = nodes_.empty() ? -1 : 0;
    while (at >= 0 || !stack.empty()) {
        for (; at >= 0; at = nodes_[static_cast<size_t>(at)].left)
            stack.push_back(at);
        const Node& node = nodes_[static_cast<size_t>(stack.back())];
        stack.pop_back();
        const auto first = static_cast<long>(order.size());
        for (size_t i = node.begin; i < node.end; ++i)
            order.push_back(static_cast<uint32_t>(i));
        std::sort(order.begin() + first, order.end(), less);
        at = node.right;
    }
    // Names out of search-tree order are tolerated: the entries are sorted whole.
    if (!std::is_sorted(order.begin(), order.end(), less))
        std::sort(order.begin(), order.end(), less);
    return order;
}

bool Reader::ReadNode(uint32_t offset) {
    const char* n = image_.data() + offset;
    const size_t count = Get16(n + NodeCount);
    auto where = [&] { return "directory node at offset " + std::to_string(offset); };
    size_t pos = NodeHeaderSize;
    for (size_t i = 0; i < count; ++i) {
        auto chunkAt = [&] {
            return where() + ", entry chunk " + std::to_string(i + 1) + " of " +
                   std::to_string(count) + " (node offset " + std::to_string(pos) + ")";
        };
        const Layout& l = *layout_;
        if (pos + l.chunkHeaderSize > NodeSize)
            return Fail(chunkAt() + " overruns the node");
        const char* c = n + pos;
        if (std::string_view(c, 4) != "ENT*")
            return Fail(chunkAt() + " has tag '" + TagText(std::string_view(c, 4)) +
                        "' instead of ENT*");
        // A Unicode chunk's format string is four UTF-16 digits, an ANSI chunk's four
        // bytes: a chunk of the other kind would be read with every field misplaced.
        const bool wideFormat = c[5] == '\0' && c[7] == '\0' && c[4] >= '0' && c[4] <= '9';
        if (wideFormat != wide_)
            return Fail(chunkAt() +
                        (wide_ ? " is an ANSI entry under a Unicode library header"
                               : " is a Unicode entry under an ANSI library header") +
                        " (a mixed file)");
        const size_t nameLength = Get16(c + l.chunkNameLength);
        if (pos + l.chunkHeaderSize + nameLength > NodeSize)
            return Fail(chunkAt() + ": its name of " + std::to_string(nameLength) +
                        " bytes overruns the node");
        const std::string_view field(c + l.chunkHeaderSize, nameLength);
        Chunk chunk;
        if (wide_) {
            if (nameLength % 2 != 0)
                return Fail(chunkAt() + ": its name field of " + std::to_string(nameLength) +
                            " bytes is an odd number of bytes, not UTF-16");
            size_t zero = 0;
            while (zero < nameLength && (field[zero] != '\0' || field[zero + 1] != '\0'))
                zero += 2;
            if (zero == nameLength)
                return Fail(chunkAt() + ": the name is not zero-terminated");
            if (zero == 0)
                return Fail(chunkAt() + ": the name is empty");
            std::string why;
            if (!Utf16ToUtf8Strict(field.substr(0, zero), &chunk.name, &why))
                return Fail(chunkAt() + ": the name is not valid UTF-16 (" + why + ")");
            for (size_t k = 0; k < 8; k += 2)
                chunk.format += c[l.chunkFormat + k];
        } else {
            const size_t zero = field.find('\0');
            if (zero == std::string_view::npos)
                return Fail(chunkAt() + ": the name is not zero-terminated");
            if (zero == 0)
                return Fail(chunkAt() + ": the name is empty");
            chunk.name = std::string(field.substr(0, zero));
            chunk.format = std::string(c + l.chunkFormat, 4);
        }
        chunk.data = Get32(c + l.chunkData);
        chunk.size = Get32(c + l.chunkSize);
        chunk.time = Get32(c + l.chunkTime);
        chunk.commentLength = Get16(c + l.chunkCommentLength);
        chunk.node = offset;
        chunks_.push_back(std::move(chunk));
        pos += l.chunkHeaderSize + nameLength;
    }
    return true;
}

template <class What>
bool Reader::ReadChain(uint32_t first, uint32_t size, uint32_t owner, const What& what,
                       std::string* out, size_t* firstCount) {
    // A size no chain in this image could hold is refused before anything is reserved.
    if (size > owner_.size() * DataPerBlock)
        return Fail(what() + ": the size field says " + std::to_string(size) +
                    " bytes, more than the whole file could hold");
    if (first == 0) {
        if (size != 0)
            return Fail(what() + ": the size field says " + std::to_string(size) +
                        " bytes but there is no data block");
        return true;
    }
    if (out)
        out->reserve(out->size() + size);
    size_t remaining = size;
    uint32_t at = first;
    while (at != 0) {
        // The texts for a failure are only built when something is wrong.
        if (at % BlockSize != 0 || static_cast<size_t>(at) + BlockSize > image_.size() ||
            std::memcmp(image_.data() + at, "DAT*", 4) != 0) {
            const std::string block = what() + ": data block";
            if (CheckPointer(at, BlockSize, block))
                CheckTag(at, "DAT*", block);
            return false;
        }
        if (!Claim(at, 1, owner, what))
            return false;
        const char* b = image_.data() + at;
        const size_t count = Get16(b + 8);
        if (count > DataPerBlock)
            return Fail(what() + ": the data block at offset " + std::to_string(at) + " claims " +
                        std::to_string(count) + " bytes, more than the 502 a block holds");
        if (count > remaining)
            return Fail(what() + ": the data chain holds more than the " + std::to_string(size) +
                        " bytes its size field says (exceeded at the block at offset " +
                        std::to_string(at) + ")");
        if (firstCount && at == first)
            *firstCount = count;
        if (out)
            out->append(b + DataHeaderSize, count);
        remaining -= count;
        at = Get32(b + 4);
    }
    if (remaining != 0)
        return Fail(what() + ": the size field says " + std::to_string(size) +
                    " bytes but the data chain holds only " + std::to_string(size - remaining));
    return true;
}

bool Reader::Run(PblKind* kind, std::string* format, uint32_t* time, std::string* comment,
                 std::string* scc, std::vector<PblEntry>* entries) {
    uint32_t sccAt = 0;
    uint32_t sccSize = 0;
    if (!ReadHeader(format, time, comment, &sccAt, &sccSize))
        return false;
    *kind = wide_ ? PblKind::Unicode : PblKind::Ansi;
    // From here on the file is a library whose structure is damaged.
    if (!ReadBitmapChain() || !ReadDirectory() ||
        !ReadChain(
            sccAt, sccSize, OwnerScc,
            [&] {
                return "the source-control data (header offset " +
                       std::to_string(layout_->headerSccOffset) + ")";
            },
            scc)) {
        if (error_)
            *error_ = "corrupt library: " + *error_;
        return false;
    }
    if (!ReadEntries(entries)) {
        if (error_)
            *error_ = "corrupt library: " + *error_;
        return false;
    }
    return true;
}

bool Reader::ReadEntries(std::vector<PblEntry>* entries) {
    // Every chain is checked, in directory order, before any entry is made: an entry's
    // data stays in the image, so the entries only point at chains known to be sound.
    std::vector<size_t> firstCounts(chunks_.size(), 0);
    for (size_t i = 0; i < chunks_.size(); ++i) {
        const Chunk& c = chunks_[i];
        auto what = [&] {
            return "entry '" + c.name + "' (directory node at offset " + std::to_string(c.node) +
                   ")";
        };
        const size_t commentBytes = size_t{c.commentLength} * layout_->unit;
        if (commentBytes > c.size)
            return Fail(what() + ": its comment of " + std::to_string(c.commentLength) +
                        (wide_ ? " UTF-16 characters (" + std::to_string(commentBytes) + " bytes)"
                               : std::string(" bytes")) +
                        " is longer than its data of " + std::to_string(c.size) + " bytes");
        if (!ReadChain(c.data, c.size, static_cast<uint32_t>(OwnerFirstEntry + i), what, nullptr,
                       &firstCounts[i]))
            return false;
    }
    const std::vector<uint32_t> order = SortedChunks();
    for (size_t i = 1; i < order.size(); ++i) {
        if (platform::AsciiCompareText(chunks_[order[i - 1]].name, chunks_[order[i]].name) == 0)
            return Fail("the directory lists the name '" + chunks_[order[i]].name + "' twice");
    }
    entries->reserve(chunks_.size());
    for (const uint32_t i : order) {
        Chunk& c = chunks_[i];
        PblEntry e;
        e.name = std::move(c.name);
        e.format = std::move(c.format);
        e.time = c.time;
        e.commentLength = c.commentLength;
        e.wide = wide_;
        if (size_t{c.commentLength} * layout_->unit > firstCounts[i]) {
            // A comment running past the first block is held apart, so that Comment()
            // can still show it without copying (PowerBuilder keeps comments short).
            PblData chained(shared_, c.data, c.size);
            e.data = PblData(chained.Str());
        } else if (c.size != 0) {
            e.data = PblData(shared_, c.data, c.size);
        }
        entries->push_back(std::move(e));
    }
    return true;
}

}  // namespace

// An image held in a string of its own.
class StringImage : public PblImage {
  public:
    explicit StringImage(std::string_view bytes) : held_(bytes) { bytes_ = held_; }

  private:
    std::string held_;
};

std::unique_ptr<PblLibrary> PblLibrary::Parse(std::string_view image, std::string* error) {
    return Parse(std::make_shared<const StringImage>(image), error);
}

std::unique_ptr<PblLibrary> PblLibrary::Parse(std::shared_ptr<const PblImage> image,
                                              std::string* error) {
    std::string failure;
    Reader reader(std::move(image), &failure);
    auto lib = std::make_unique<PblLibrary>();
    if (!reader.Run(&lib->kind_, &lib->format_, &lib->time_, &lib->comment_, &lib->scc_,
                    &lib->entries_)) {
        if (error)
            *error = std::move(failure);
        return nullptr;
    }
    return lib;
}

}  // namespace orca
