#pragma once
// The fixed geometry of an ANSI PowerBuilder library and little-endian access to it,
// shared by the library reader and writer.

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
