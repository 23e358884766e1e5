// Writing a library image: PblLibrary::Serialize.
//
// The image is always written whole and compact, in this block order: the header
// (block 0; blocks 0 and 1 in a Unicode library), the first bitmap block (block 1; 2),
// the root directory node (offset 1024; 1536),
// the further bitmap blocks, the other directory nodes, the source-control data chain,
// then every entry's data chain in directory order. Nothing is left unused, so every
// bit of the bitmap up to the end of the file is set.
//
// Directory shape: the sorted entries are cut into runs, each filling a node as far as
// the next chunk would fit (as PowerBuilder fills its nodes); the runs form a balanced
// binary search tree with the middle run at the root, so every name in a node's left
// subtree sorts before the node's names and every name in its right subtree after
// them. Within a node the chunks are stored in sorted order.

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "orca/AnsiView.h"
#include "orca/PblBinary.h"
#include "orca/PblLibrary.h"
#include "orca/TextBridge.h"

namespace orca {

namespace {

using namespace pbl;

struct Node {
    size_t begin = 0;  // entry range [begin, end) held by the node
    size_t end = 0;
    long left = -1;  // indices into the node list
    long right = -1;
    long parent = -1;
    uint32_t offset = 0;
};

// The name as the chunk stores it, without its terminator: the bytes, or UTF-16LE in a
// Unicode library (Put let in only names that are UTF-8).
std::string StoredName(const PblEntry& e, bool wide) {
    if (!wide)
        return e.name;
    std::string utf16;
    (void)Utf8ToUtf16Strict(e.name, &utf16, nullptr);
    return utf16;
}

size_t ChainBlocks(size_t bytes) {
    return (bytes + DataPerBlock - 1) / DataPerBlock;
}

// Builds the balanced tree over runs [lo, hi); nodes are appended in preorder, so the
// root comes first. Returns the index of the subtree's root.
long BuildTree(const std::vector<Node>& runs, size_t lo, size_t hi, long parent,
               std::vector<Node>* nodes) {
    if (lo >= hi)
        return -1;
    const size_t mid = lo + (hi - lo) / 2;
    const long index = static_cast<long>(nodes->size());
    nodes->push_back(runs[mid]);
    (*nodes)[static_cast<size_t>(index)].parent = parent;
    const long left = BuildTree(runs, lo, mid, index, nodes);
    const long right = BuildTree(runs, mid + 1, hi, index, nodes);
    (*nodes)[static_cast<size_t>(index)].left = left;
    (*nodes)[static_cast<size_t>(index)].right = right;
    return index;
}

// Writes size bytes as a chain of DAT* blocks from block *next on, the bytes coming from
// forEachPiece(sink) in runs; returns the first block's offset. An entry always gets at
// least one block, even when its data is empty.
template <class Pieces>
uint32_t WriteChain(std::string& image, size_t* next, size_t size, const Pieces& forEachPiece) {
    const size_t blocks = size == 0 ? 1 : ChainBlocks(size);
    const size_t first = *next;
    for (size_t k = 0; k < blocks; ++k) {
        char* b = image.data() + (first + k) * BlockSize;
        std::memcpy(b, "DAT*", 4);
        const size_t count = std::min(DataPerBlock, size - k * DataPerBlock);
        Put32(b + 4, k + 1 < blocks ? static_cast<uint32_t>((first + k + 1) * BlockSize) : 0);
        Put16(b + 8, static_cast<uint16_t>(count));
    }
    size_t written = 0;
    forEachPiece([&](const char* piece, size_t count) {
        while (count > 0 && written < size) {
            const size_t inBlock = written % DataPerBlock;
            const size_t take = std::min(count, DataPerBlock - inBlock);
            std::memcpy(image.data() + (first + written / DataPerBlock) * BlockSize +
                            DataHeaderSize + inBlock,
                        piece, take);
            piece += take;
            count -= take;
            written += take;
        }
    });
    *next = first + blocks;
    return static_cast<uint32_t>(first * BlockSize);
}

uint32_t WriteChain(std::string& image, size_t* next, const std::string& data) {
    return WriteChain(image, next, data.size(),
                      [&](const auto& sink) { sink(data.data(), data.size()); });
}

uint32_t WriteChain(std::string& image, size_t* next, const PblData& data) {
    return WriteChain(image, next, data.size(), [&](const auto& sink) { data.ForEachPiece(sink); });
}

}  // namespace

std::string PblLibrary::Serialize() const {
    // A view is never written as it is: the Unicode library it shows is.
    if (storedForm_) {
        const std::unique_ptr<PblLibrary> stored = StoredFormOf(*this, nullptr);
        return stored ? stored->Serialize() : std::string();
    }
    const bool wide = kind_ == PblKind::Unicode;
    const Layout& l = wide ? UnicodeLayout : AnsiLayout;
    std::vector<std::string> names;
    names.reserve(entries_.size());
    for (const PblEntry& e : entries_)
        names.push_back(StoredName(e, wide));
    auto chunkBytes = [&](size_t i) { return l.chunkHeaderSize + names[i].size() + l.unit; };
    // Directory runs.
    std::vector<Node> runs;
    {
        Node run;
        size_t used = 0;
        for (size_t i = 0; i < entries_.size(); ++i) {
            const size_t bytes = chunkBytes(i);
            if (used + bytes > NodeSpace) {
                run.end = i;
                runs.push_back(run);
                run = Node();
                run.begin = i;
                used = 0;
            }
            used += bytes;
        }
        run.end = entries_.size();
        runs.push_back(run);  // an empty library still has its (empty) root node
    }
    std::vector<Node> nodes;
    nodes.reserve(runs.size());
    BuildTree(runs, 0, runs.size(), -1, &nodes);

    // Block count; the number of bitmap blocks depends on the total it covers.
    size_t dataBlocks = ChainBlocks(scc_.size());
    for (const PblEntry& e : entries_)
        dataBlocks += e.data.empty() ? 1 : ChainBlocks(e.data.size());
    const size_t fixedBlocks = l.headerBlocks + nodes.size() * NodeBlocks + dataBlocks;
    size_t bitmaps = 1;
    while ((fixedBlocks + bitmaps + BlocksPerBitmap - 1) / BlocksPerBitmap > bitmaps)
        ++bitmaps;
    const size_t total = fixedBlocks + bitmaps;
    if (total * BlockSize > UINT32_MAX)
        return {};

    std::string image(total * BlockSize, '\0');
    char* img = image.data();

    // Block positions: header, first bitmap, root node, then the rest.
    std::vector<size_t> bitmapBlocks{l.bitmapOffset / BlockSize};
    size_t next = l.rootOffset / BlockSize + NodeBlocks;
    for (size_t k = 1; k < bitmaps; ++k)
        bitmapBlocks.push_back(next++);
    nodes[0].offset = l.rootOffset;
    for (size_t k = 1; k < nodes.size(); ++k) {
        nodes[k].offset = static_cast<uint32_t>(next * BlockSize);
        next += NodeBlocks;
    }

    // Header.
    // Text of the header and chunks: bytes, or each byte as a UTF-16 unit (the title
    // and format strings are ASCII).
    auto putAscii = [&](char* at, std::string_view text) {
        for (size_t i = 0; i < text.size(); ++i)
            at[i * l.unit] = text[i];
    };
    std::memcpy(img, "HDR*", 4);
    putAscii(img + l.headerTitle, "PowerBuilder");
    putAscii(img + l.headerFormat, std::string_view(format_).substr(0, 4));
    Put32(img + l.headerTime, time_);
    Put16(img + l.headerFlag, 1);
    std::memcpy(img + l.headerComment, comment_.data(),
                std::min(comment_.size(), l.headerCommentSize - l.unit));
    if (!scc_.empty()) {
        Put32(img + l.headerSccOffset, WriteChain(image, &next, scc_));
        Put32(img + l.headerSccSize, static_cast<uint32_t>(scc_.size()));
    }

    // Bitmaps: every block of the file is in use.
    for (size_t k = 0; k < bitmaps; ++k) {
        char* b = img + bitmapBlocks[k] * BlockSize;
        std::memcpy(b, "FRE*", 4);
        Put32(b + 4, k + 1 < bitmaps ? static_cast<uint32_t>(bitmapBlocks[k + 1] * BlockSize) : 0);
        const size_t from = k * BlocksPerBitmap;
        const size_t covered = std::min(BlocksPerBitmap, total - from);
        std::memset(b + 8, 0xff, covered / 8);
        if (covered % 8 != 0)
            b[8 + covered / 8] = static_cast<char>((0xff00 >> (covered % 8)) & 0xff);
    }

    // The entries' data, then the directory nodes pointing at it.
    std::vector<uint32_t> dataAt(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i)
        dataAt[i] = WriteChain(image, &next, entries_[i].data);
    for (const Node& node : nodes) {
        char* n = img + node.offset;
        std::memcpy(n, "NOD*", 4);
        auto offsetOf = [&](long index) {
            return index < 0 ? 0u : nodes[static_cast<size_t>(index)].offset;
        };
        Put32(n + NodeLeft, offsetOf(node.left));
        Put32(n + NodeParent, offsetOf(node.parent));
        Put32(n + NodeRight, offsetOf(node.right));
        size_t pos = NodeHeaderSize;
        for (size_t i = node.begin; i < node.end; ++i) {
            const PblEntry& e = entries_[i];
            char* c = n + pos;
            std::memcpy(c, "ENT*", 4);
            putAscii(c + l.chunkFormat, std::string_view(e.format).substr(0, 4));
            Put32(c + l.chunkData, dataAt[i]);
            Put32(c + l.chunkSize, static_cast<uint32_t>(e.data.size()));
            Put32(c + l.chunkTime, e.time);
            Put16(c + l.chunkCommentLength, e.commentLength);
            Put16(c + l.chunkNameLength, static_cast<uint16_t>(names[i].size() + l.unit));
            std::memcpy(c + l.chunkHeaderSize, names[i].data(), names[i].size());
            if (i == node.begin)
                Put16(n + NodeFirstName, static_cast<uint16_t>(pos + l.chunkHeaderSize));
            if (i + 1 == node.end)
                Put16(n + NodeLastName, static_cast<uint16_t>(pos + l.chunkHeaderSize));
            pos += chunkBytes(i);
        }
        Put16(n + NodeFree, static_cast<uint16_t>(NodeSize - pos));
        Put16(n + NodeCount, static_cast<uint16_t>(node.end - node.begin));
    }
    return image;
}

}  // namespace orca
