#pragma once
// The fixed geometry of an ANSI PowerBuilder library and little-endian access to it,
// shared by the library reader and writer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace orca::pbl {

constexpr size_t kBlockSize = 512;
constexpr size_t kNodeSize = 3072;  // a directory node spans six blocks
constexpr size_t kNodeBlocks = kNodeSize / kBlockSize;
constexpr size_t kNodeHeaderSize = 32;
constexpr size_t kNodeSpace = kNodeSize - kNodeHeaderSize;  // 3040 bytes for chunks
constexpr size_t kChunkHeaderSize = 24;
constexpr size_t kDataHeaderSize = 10;
constexpr size_t kDataPerBlock = kBlockSize - kDataHeaderSize;  // 502
constexpr size_t kBitmapBytes = kBlockSize - 8;
constexpr size_t kBlocksPerBitmap = kBitmapBytes * 8;  // 4032
constexpr uint32_t kRootNodeOffset = 1024;

// Header fields.
constexpr size_t kHeaderTitle = 4;  // "PowerBuilder\0\0"
constexpr size_t kHeaderFormat = 18;
constexpr size_t kHeaderTime = 22;
constexpr size_t kHeaderFlag = 26;
constexpr size_t kHeaderComment = 28;
constexpr size_t kHeaderCommentSize = 256;
constexpr size_t kHeaderSccOffset = 284;
constexpr size_t kHeaderSccSize = 288;

// Directory node fields. The word at 18 points at the name that sorts last and the word
// at 22 at the name that sorts first: that is what every node PowerBuilder wrote shows.
constexpr size_t kNodeLeft = 4;
constexpr size_t kNodeParent = 8;
constexpr size_t kNodeRight = 12;
constexpr size_t kNodeFree = 16;
constexpr size_t kNodeLastName = 18;
constexpr size_t kNodeCount = 20;
constexpr size_t kNodeFirstName = 22;

// Entry chunk fields.
constexpr size_t kChunkFormat = 4;
constexpr size_t kChunkData = 8;
constexpr size_t kChunkSize = 12;
constexpr size_t kChunkTime = 16;
constexpr size_t kChunkCommentLength = 20;
constexpr size_t kChunkNameLength = 22;

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
