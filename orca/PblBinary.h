#pragma once
// The fixed geometry of PowerBuilder libraries and little-endian access to it, shared by
// the library reader and writer. The constants are those of ANSI libraries; Layout gives
// the places that differ in Unicode libraries (PowerBuilder 10 and later), whose header
// spans two blocks and whose texts are UTF-16LE.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace orca::pbl {

constexpr size_t BlockSize = 512;
constexpr size_t NodeSize = 3072;  // a directory node spans six blocks
constexpr size_t NodeBlocks = NodeSize / BlockSize;
constexpr size_t NodeHeaderSize = 32;
constexpr size_t NodeSpace = NodeSize - NodeHeaderSize;  // 3040 bytes for chunks
constexpr size_t ChunkHeaderSize = 24;
constexpr size_t DataHeaderSize = 10;
constexpr size_t DataPerBlock = BlockSize - DataHeaderSize;  // 502
constexpr size_t BitmapBytes = BlockSize - 8;
constexpr size_t BlocksPerBitmap = BitmapBytes * 8;  // 4032
constexpr uint32_t RootNodeOffset = 1024;

// Header fields.
constexpr size_t HeaderTitle = 4;  // "PowerBuilder\0\0"
constexpr size_t HeaderFormat = 18;
constexpr size_t HeaderTime = 22;
constexpr size_t HeaderFlag = 26;
constexpr size_t HeaderComment = 28;
constexpr size_t HeaderCommentSize = 256;
constexpr size_t HeaderSccOffset = 284;
constexpr size_t HeaderSccSize = 288;

// Directory node fields. The word at 18 points at the name that sorts last and the word
// at 22 at the name that sorts first: that is what every node PowerBuilder wrote shows.
constexpr size_t NodeLeft = 4;
constexpr size_t NodeParent = 8;
constexpr size_t NodeRight = 12;
constexpr size_t NodeFree = 16;
constexpr size_t NodeLastName = 18;
constexpr size_t NodeCount = 20;
constexpr size_t NodeFirstName = 22;

// Entry chunk fields.
constexpr size_t ChunkFormat = 4;
constexpr size_t ChunkData = 8;
constexpr size_t ChunkSize = 12;
constexpr size_t ChunkTime = 16;
constexpr size_t ChunkCommentLength = 20;
constexpr size_t ChunkNameLength = 22;

// Where a library kind keeps its header fields and entry-chunk fields.
struct Layout {
    size_t headerBlocks;    // the header's size in blocks
    uint32_t bitmapOffset;  // the first FRE* block
    uint32_t rootOffset;    // the root NOD* node
    size_t unit;            // bytes per character of the texts
    size_t headerTitle, headerTitleSize, headerFormat, headerTime, headerFlag, headerComment,
        headerCommentSize, headerSccOffset, headerSccSize;
    size_t chunkFormat, chunkData, chunkSize, chunkTime, chunkCommentLength, chunkNameLength,
        chunkHeaderSize;
};

inline constexpr Layout AnsiLayout{
    1,  BlockSize, RootNodeOffset, 1, 4, 14, 18, 22, 26, 28, 256, 284, 288, 4, 8, 12, 16, 20,
    22, 24};
// Read off PowerBuilder's own Unicode libraries: "PowerBuilder" and the format string in
// UTF-16, the comment's 256 characters from offset 46, and in entry chunks the UTF-16
// format string moving every later field by four bytes.
inline constexpr Layout UnicodeLayout{2,   2 * BlockSize, 3 * BlockSize, 2, 4,  28, 32, 40, 44, 46,
                                      512, 558,           562,           4, 12, 16, 20, 24, 26, 28};

inline uint16_t Get16(const char* p) {
    unsigned char b[2];
    std::memcpy(b, p, 2);
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

inline uint32_t Get32(const char* p) {
    unsigned char b[4];
    std::memcpy(b, p, 4);
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline void Put16(char* p, uint16_t v) {
    p[0] = static_cast<char>(v & 0xff);
    p[1] = static_cast<char>(v >> 8);
}

inline void Put32(char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<char>((v >> (8 * i)) & 0xff);
}

// A printable form of four tag bytes for error texts.
inline std::string TagText(std::string_view tag) {
    std::string out;
    for (char c : tag) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f) {
            out += c;
        } else {
            static const char* hex = "0123456789abcdef";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        }
    }
    return out;
}

}  // namespace orca::pbl
