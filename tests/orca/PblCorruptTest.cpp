// Damaged libraries: every structure the reader follows, broken in each way it can
// break, gives an error naming the problem; what the reader does not need is tolerated.

#include <gtest/gtest.h>

#include "orca/PblLibrary.h"
#include "tests/orca/PblTestImage.h"

namespace {

using orca::PblLibrary;
using namespace pbltest;

struct Layout {
    std::string img;
    RawNode root;
    RawChunk multi;  // a chunk in the root whose data spans several blocks
    RawChunk other;  // another chunk of the root, of the same name length, with data
};

const Layout& Base() {
    static const Layout layout = [] {
        Layout l;
        l.img = Sample(150)->Serialize();
        for (const RawNode& n : Nodes(l.img))
            if (n.at == 1024)
                l.root = n;
        for (const RawChunk& c : l.root.chunks) {
            if (c.size > 1100 && l.multi.at == 0)
                l.multi = c;
            else if (c.size > 0 && l.other.at == 0)
                l.other = c;
        }
        return l;
    }();
    return layout;
}

// The little-endian bytes of a 32-bit and a 16-bit word.
std::string L32(uint32_t v) {
    return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string L16(size_t v) {
    return {char(v), char(v >> 8)};
}

// A change of the sample image: cut to `size` first, then bytes written at offsets.
struct Damage {
    const char* what;
    std::vector<std::pair<size_t, std::string>> writes;
    std::string expect;  // part of the error text
    size_t size = std::string::npos;

    std::string Apply(std::string img) const {
        img.resize(std::min(size, img.size()));
        for (const auto& [at, bytes] : writes) {
            img.resize(std::max(img.size(), at + bytes.size()));
            img.replace(at, bytes.size(), bytes);
        }
        return img;
    }
};

TEST(PblCorrupt, EveryDamageIsReportedPrecisely) {
    const Layout& b = Base();
    ASSERT_NE(b.root.left, 0u);
    ASSERT_NE(b.multi.at, 0u);
    ASSERT_NE(b.other.at, 0u);
    const uint32_t end = static_cast<uint32_t>(b.img.size()), data = b.multi.data;
    const RawChunk& first = b.root.chunks[0];
    const std::string zero(1, '\0');
    const Damage damages[] = {
        // Header and file size.
        {"zero length", {}, "empty (0 bytes)", 0},
        {"header tag", {{3, "#"}}, "no HDR* tag"},
        {"unicode title", {{5, zero}}, "does not read 'PowerBuilder' in UTF-16"},
        {"short header", {}, "cannot hold the 512-byte header", 100},
        {"title", {{4, "p"}}, "does not read 'PowerBuilder'"},
        {"format", {{18, "0300"}}, "format '0300'"},
        {"no root", {}, "truncated file", 2048},
        // Bitmap chain.
        {"bitmap tag", {{512, "X"}}, "instead of FRE*"},
        {"bitmap past end", {{516, L32(end)}}, "past the end"},
        {"bitmap unaligned", {{516, L32(1030)}}, "1030 is not a multiple"},
        {"bitmap cycle", {{516, L32(512)}}, "bitmap chain loops back to offset 512"},
        // Directory tree.
        {"root tag", {{1024, "X"}}, "offset 1024 has tag 'XOD*'"},
        {"child past end", {{1028, L32(end - 512)}}, "past the end"},
        {"child unaligned", {{1028, L32(4097)}}, "4097 is not a multiple"},
        {"tree cycle",
         {{b.root.left + 12, L32(1024)}},
         "of the node at offset " + std::to_string(b.root.left) +
             ") at offset 1024 closes a loop in the directory tree"},
        {"node is data", {{1028, L32(data)}}, "instead of NOD*"},
        {"node overlaps bitmap",
         {{516, L32(2048)}, {2048, std::string("FRE*\0\0\0\0", 8)}},
         "also used by the free-block bitmap"},
        // Entry chunks.
        {"chunk tag", {{b.root.chunks[1].at, "e"}}, "entry chunk 2 of"},
        {"chunk count", {{1044, L16(400)}}, "overruns the node"},
        {"name overrun", {{first.at + 22, L16(3100)}}, "overruns the node"},
        {"name unterminated", {{first.at + 22, L16(first.name.size())}}, "not zero-terminated"},
        {"name empty", {{first.at + 24, zero}}, "name is empty"},
        {"duplicate name", {{b.other.at + 24, b.multi.name}}, "twice"},
        // Data chains.
        {"data tag", {{data + 1, "X"}}, "instead of DAT*"},
        // The whole text names the entry and where it is.
        {"data cycle",
         {{data + 516, L32(data)}},
         "corrupt library: entry '" + b.multi.name +
             "' (directory node at offset 1024): the data chain loops back to the block at "
             "offset " +
             std::to_string(data)},
        {"data past end", {{b.multi.at + 8, L32(end)}}, "past the end"},
        {"data unaligned", {{b.multi.at + 8, L32(data + 2)}}, "is not a multiple"},
        {"count over 502", {{data + 8, L16(503)}}, "claims 503 bytes"},
        {"size above chain", {{b.multi.at + 12, L32(b.multi.size + 1)}}, "holds only"},
        {"size below chain", {{b.multi.at + 12, L32(b.multi.size - 1)}}, "holds more than"},
        {"size absurd", {{b.multi.at + 12, L32(0xfffffff0u)}}, "more than the whole file"},
        {"size without data", {{b.multi.at + 8, L32(0)}}, "no data block"},
        {"comment over data", {{b.other.at + 20, L16(b.other.size + 1)}}, "comment of"},
        {"shared block",
         {{b.other.at + 8, L32(data)}, {b.other.at + 12, L32(b.multi.size)}},
         "is also used by entry"},
        // Source-control data.
        {"scc past end", {{284, L32(end)}}, "source-control data"},
        {"scc size", {{288, L32(701)}}, "holds only 700"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        std::string error;
        EXPECT_EQ(PblLibrary::Parse(d.Apply(b.img), &error), nullptr);
        EXPECT_NE(error.find(d.expect), std::string::npos) << error;
    }
}

TEST(PblCorrupt, ToleratesWhatTheReaderDoesNotFollow) {
    const Layout& b = Base();
    auto expected = PblLibrary::Parse(b.img, nullptr);
    ASSERT_TRUE(expected);
    const Damage changes[] = {
        {"unused bitmap bits", {{520, std::string(504, '\0')}}, ""},
        {"header word 26", {{26, L16(7)}}, ""},
        {"root parent, free and last-name words",
         {{1032, L32(99)}, {1040, L16(5)}, {1042, L16(1)}},
         ""},
        {"tree out of name order", {{1028, L32(U32(b.img, 1036))}, {1036, L32(b.root.left)}}, ""},
        {"unused block", {{b.img.size(), "DAT*" + std::string(508, 'z') + "tail"}}, ""},
    };
    for (const Damage& d : changes) {
        SCOPED_TRACE(d.what);
        std::string error;
        auto lib = PblLibrary::Parse(d.Apply(b.img), &error);
        ASSERT_TRUE(lib) << error;
        EXPECT_TRUE(lib->Serialize() == expected->Serialize());  // the same library
    }
}

// Every truncation of a compact library loses a used block. (Random damage is the
// pbl_reader fuzz target's.)
TEST(PblCorrupt, EveryTruncationIsRefused) {
    const std::string& img = Base().img;
    for (size_t size = 0; size < img.size(); size += 512)
        EXPECT_FALSE(PblLibrary::Parse(std::string_view(img).substr(0, size), nullptr)) << size;
}

}  // namespace
