#pragma once
// Test helpers over library images: the directory tree of an image walked by hand (not
// by the reader's code), what the writer promises of every image it makes, sample
// libraries, and the corpus libraries.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "orca/PblBinary.h"
#include "orca/PblLibrary.h"
#include "tests/support/TestSupport.h"

namespace pbltest {

inline uint32_t U32(const std::string& s, size_t at) {
    return orca::pbl::Get32(s.data() + at);
}
inline uint16_t U16(const std::string& s, size_t at) {
    return orca::pbl::Get16(s.data() + at);
}

struct RawChunk {
    uint32_t at = 0;  // file offset of the chunk
    std::string name;
    uint32_t data = 0, size = 0;
};

struct RawNode {
    uint32_t at = 0, left = 0, parent = 0, right = 0;
    uint16_t free = 0, lastName = 0, count = 0, firstName = 0;
    std::vector<RawChunk> chunks;
    size_t depth = 0;
};

// The nodes of an image's directory tree in order (left subtree, node, right subtree).
inline void WalkTree(const std::string& img, uint32_t at, size_t depth, std::set<uint32_t>* seen,
                     std::vector<RawNode>* out) {
    ASSERT_TRUE(seen->insert(at).second) << "node " << at << " reached twice";
    ASSERT_LE(at + 3072u, img.size());
    ASSERT_EQ(img.substr(at, 4), "NOD*");
    RawNode n;
    n.at = at, n.left = U32(img, at + 4), n.parent = U32(img, at + 8), n.right = U32(img, at + 12);
    n.free = U16(img, at + 16), n.lastName = U16(img, at + 18), n.depth = depth;
    n.count = U16(img, at + 20), n.firstName = U16(img, at + 22);
    size_t pos = at + 32;
    for (size_t i = 0; i < n.count; ++i) {
        ASSERT_EQ(img.substr(pos, 4), "ENT*");
        const uint16_t nameLength = U16(img, pos + 22);
        n.chunks.push_back({static_cast<uint32_t>(pos), img.substr(pos + 24, nameLength - 1),
                            U32(img, pos + 8), U32(img, pos + 12)});
        pos += 24 + nameLength;
    }
    ASSERT_LE(pos, at + 3072u);
    if (n.left)
        WalkTree(img, n.left, depth + 1, seen, out);
    out->push_back(n);
    if (n.right)
        WalkTree(img, n.right, depth + 1, seen, out);
}

inline std::vector<RawNode> Nodes(const std::string& img) {
    std::set<uint32_t> seen;
    std::vector<RawNode> out;
    WalkTree(img, 1024, 0, &seen, &out);
    return out;
}

// Checks the words of each node that point at its least and greatest name (by NameLess)
// and that the in-order walk ascends across nodes.
inline void ExpectNameOrder(const std::vector<RawNode>& nodes) {
    auto less = [](const RawChunk& a, const RawChunk& b) {
        return orca::PblLibrary::NameLess(a.name, b.name);
    };
    std::string previous;
    for (const RawNode& n : nodes) {
        if (n.chunks.empty()) {
            EXPECT_EQ(n.firstName + n.lastName, 0);
            continue;
        }
        const auto least = std::min_element(n.chunks.begin(), n.chunks.end(), less);
        const auto greatest = std::max_element(n.chunks.begin(), n.chunks.end(), less);
        EXPECT_EQ(n.firstName, least->at - n.at + 24) << "node " << n.at;
        EXPECT_EQ(n.lastName, greatest->at - n.at + 24) << "node " << n.at;
        EXPECT_TRUE(previous.empty() || orca::PblLibrary::NameLess(previous, least->name))
            << previous << " / " << least->name;
        previous = greatest->name;
    }
}

// Everything the writer promises about an image it produced.
inline void ExpectWellFormed(const std::string& img) {
    ASSERT_EQ(img.size() % 512, 0u);
    const size_t blocks = img.size() / 512;
    EXPECT_EQ(img.substr(0, 4), "HDR*");
    EXPECT_EQ(U16(img, 26), 1);
    size_t used = 1;
    std::string bits;
    for (uint32_t f = 512; f != 0; f = U32(img, f + 4)) {
        ASSERT_EQ(img.substr(f, 4), "FRE*");
        bits += img.substr(f + 8, 504);
        ++used;
    }
    for (size_t b = 0; b < bits.size() * 8; ++b) {
        const bool set = (static_cast<unsigned char>(bits[b / 8]) >> (7 - b % 8)) & 1;
        ASSERT_EQ(set, b < blocks) << "bitmap bit " << b;
    }
    const auto nodes = Nodes(img);
    ExpectNameOrder(nodes);
    for (const RawNode& n : nodes) {
        used += 6;
        EXPECT_TRUE(n.at == 1024
                        ? n.parent == 0
                        : U32(img, n.parent + 4) == n.at || U32(img, n.parent + 12) == n.at)
            << "parent of node " << n.at;
        size_t chunkBytes = 0;
        for (const RawChunk& c : n.chunks) {
            chunkBytes += 24 + c.name.size() + 1;
            size_t got = 0;
            uint32_t at = c.data;  // even an empty entry has its block
            do {
                ASSERT_EQ(img.substr(at, 4), "DAT*");
                const uint16_t count = U16(img, at + 8);
                EXPECT_EQ(count, U32(img, at + 4) ? 502 : c.size - got);
                EXPECT_GE(img.find_first_not_of('\0', at + 10 + count), at + 512) << at;
                got += count;
                ++used;
                at = U32(img, at + 4);
            } while (at != 0);
        }
        EXPECT_EQ(n.free + chunkBytes, 3040u);
    }
    if (U32(img, 284) != 0)
        used += (U32(img, 288) + 501) / 502;
    EXPECT_EQ(used, blocks) << "every block belongs to exactly one structure";
}

// A library with entries of assorted sizes (empty, one block, several blocks), a
// comment and source-control data, spread over several directory nodes.
inline std::unique_ptr<orca::PblLibrary> Sample(size_t count = 150) {
    auto lib = orca::PblLibrary::Create("0600", "sample library", 1133466635);
    lib->SetSourceControlData(std::string(700, 's'));
    for (size_t i = 0; i < count; ++i) {
        std::string data((i * 37) % 1500, static_cast<char>('a' + i % 26));
        const auto comment = static_cast<uint16_t>(std::min<size_t>(data.size(), i % 5));
        EXPECT_TRUE(lib->Put({"w_sample_" + std::to_string(1000 + i) + (i % 2 ? ".win" : ".srw"),
                              "", static_cast<uint32_t>(1133466635 + i), comment, data}));
    }
    return lib;
}

// The image with entries renamed (old name -> new name) by rewriting the directory by
// hand. This makes names the library refuses to store (longer than 255 bytes) but the
// reader accepts, as a library written by another program may hold them. All entries
// of the image must sit in its root node.
inline std::string RenameEntries(std::string img,
                                 const std::map<std::string, std::string>& renames) {
    constexpr size_t node = 1024;
    EXPECT_EQ(U32(img, node + 4) | U32(img, node + 12), 0u) << "more than one node";
    std::string chunks;
    size_t pos = node + 32;
    for (size_t i = 0, count = U16(img, node + 20); i < count; ++i) {
        const uint16_t nameLength = U16(img, pos + 22);
        std::string header = img.substr(pos, 24);
        std::string name = img.substr(pos + 24, nameLength - 1);
        if (auto it = renames.find(name); it != renames.end())
            name = it->second;
        orca::pbl::Put16(header.data() + 22, static_cast<uint16_t>(name.size() + 1));
        chunks += header + name + '\0';
        pos += 24 + nameLength;
    }
    EXPECT_LE(chunks.size(), 3040u);
    chunks.resize(3040, '\0');
    img.replace(node + 32, chunks.size(), chunks);
    return img;
}

inline auto Fields(const orca::PblEntry& e) {
    return std::tie(e.name, e.format, e.time, e.commentLength, e.data);
}

inline std::unique_ptr<orca::PblLibrary> Load(const std::string& path) {
    std::string error;
    auto lib = orca::PblLibrary::Load(path, &error);
    EXPECT_TRUE(lib) << path << ": " << error;
    return lib;
}

inline std::string CorpusLibrary(const std::string& name) {
    return testsupport::CorpusDir() + "/pbl/" + name;
}

}  // namespace pbltest
