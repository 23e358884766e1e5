// Damaged libraries: every structure the reader follows, broken in each way it can
// break, gives an error naming the problem; what the reader does not need is tolerated.

#include <gtest/gtest.h>

#include <functional>
#include <random>

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

struct Mutation {
    const char* what;
    std::function<void(std::string&, const Layout&)> apply;
    std::string expect;  // part of the error text
};

TEST(PblCorrupt, EveryDamageIsReportedPrecisely) {
    const Layout& b = Base();
    ASSERT_NE(b.root.left, 0u);
    ASSERT_NE(b.multi.at, 0u);
    ASSERT_NE(b.other.at, 0u);
    const uint32_t end = static_cast<uint32_t>(b.img.size());
    const Mutation mutations[] = {
        // Header and file size.
        {"zero length", [](std::string& s, auto&) { s.clear(); }, "empty (0 bytes)"},
        {"header tag", [](std::string& s, auto&) { s[3] = '#'; }, "no HDR* tag"},
        {"unicode", [](std::string& s, auto&) { s[5] = 0; },
         "(Unicode) library, which is not supported"},
        {"short header", [](std::string& s, auto&) { s.resize(100); },
         "cannot hold the 512-byte header"},
        {"title", [](std::string& s, auto&) { s[4] = 'p'; }, "does not read 'PowerBuilder'"},
        {"format", [](std::string& s, auto&) { s.replace(18, 4, "0300"); }, "format '0300'"},
        {"no root", [](std::string& s, auto&) { s.resize(2048); }, "truncated file"},
        // Bitmap chain.
        {"bitmap tag", [](std::string& s, auto&) { s[512] = 'X'; }, "instead of FRE*"},
        {"bitmap past end", [=](std::string& s, auto&) { Set32(s, 516, end); }, "past the end"},
        {"bitmap unaligned", [](std::string& s, auto&) { Set32(s, 516, 1030); },
         "1030 is not a multiple"},
        {"bitmap cycle", [](std::string& s, auto&) { Set32(s, 516, 512); },
         "bitmap chain loops back to offset 512"},
        // Directory tree.
        {"root tag", [](std::string& s, auto&) { s[1024] = 'X'; }, "offset 1024 has tag 'XOD*'"},
        {"child past end", [=](std::string& s, auto&) { Set32(s, 1024 + 4, end - 512); },
         "past the end"},
        {"child unaligned", [](std::string& s, auto&) { Set32(s, 1024 + 4, 4097); },
         "4097 is not a multiple"},
        {"tree cycle", [](std::string& s, const Layout& l) { Set32(s, l.root.left + 12, 1024); },
         "of the node at offset " + std::to_string(b.root.left) +
             ") at offset 1024 closes a loop in the directory tree"},
        {"node is data", [](std::string& s, const Layout& l) { Set32(s, 1024 + 4, l.multi.data); },
         "instead of NOD*"},
        {"node overlaps bitmap",
         [](std::string& s, auto&) {
             Set32(s, 516, 2048);
             s.replace(2048, 8, std::string("FRE*\0\0\0\0", 8));
         },
         "also used by the free-block bitmap"},
        // Entry chunks.
        {"chunk tag", [](std::string& s, const Layout& l) { s[l.root.chunks[1].at] = 'e'; },
         "entry chunk 2 of"},
        {"chunk count", [](std::string& s, auto&) { Set16(s, 1024 + 20, 400); },
         "overruns the node"},
        {"name overrun",
         [](std::string& s, const Layout& l) { Set16(s, l.root.chunks[0].at + 22, 3100); },
         "overruns the node"},
        {"name unterminated",
         [](std::string& s, const Layout& l) {
             Set16(s, l.root.chunks[0].at + 22,
                   static_cast<uint16_t>(l.root.chunks[0].name.size()));
         },
         "not zero-terminated"},
        {"name empty", [](std::string& s, const Layout& l) { s[l.root.chunks[0].at + 24] = 0; },
         "name is empty"},
        {"duplicate name",
         [](std::string& s, const Layout& l) {
             s.replace(l.other.at + 24, l.other.name.size(), l.multi.name);
         },
         "twice"},
        // Data chains.
        {"data tag", [](std::string& s, const Layout& l) { s[l.multi.data + 1] = 'X'; },
         "instead of DAT*"},
        {"data cycle",
         [](std::string& s, const Layout& l) { Set32(s, l.multi.data + 512 + 4, l.multi.data); },
         "data chain loops back to the block at offset"},
        {"data past end", [=](std::string& s, const Layout& l) { Set32(s, l.multi.at + 8, end); },
         "past the end"},
        {"data unaligned",
         [](std::string& s, const Layout& l) { Set32(s, l.multi.at + 8, l.multi.data + 2); },
         "is not a multiple"},
        {"count over 502", [](std::string& s, const Layout& l) { Set16(s, l.multi.data + 8, 503); },
         "claims 503 bytes"},
        {"size above chain",
         [](std::string& s, const Layout& l) { Set32(s, l.multi.at + 12, l.multi.size + 1); },
         "holds only"},
        {"size below chain",
         [](std::string& s, const Layout& l) { Set32(s, l.multi.at + 12, l.multi.size - 1); },
         "holds more than"},
        {"size absurd",
         [](std::string& s, const Layout& l) { Set32(s, l.multi.at + 12, 0xfffffff0u); },
         "more than the whole file"},
        {"size without data", [](std::string& s, const Layout& l) { Set32(s, l.multi.at + 8, 0); },
         "no data block"},
        {"comment over data",
         [](std::string& s, const Layout& l) {
             Set16(s, l.other.at + 20, static_cast<uint16_t>(l.other.size + 1));
         },
         "comment of"},
        {"shared block",
         [](std::string& s, const Layout& l) {
             Set32(s, l.other.at + 8, l.multi.data);
             Set32(s, l.other.at + 12, l.multi.size);
         },
         "is also used by entry"},
        // Source-control data.
        {"scc past end", [=](std::string& s, auto&) { Set32(s, 284, end); }, "source-control data"},
        {"scc size", [](std::string& s, auto&) { Set32(s, 288, 701); }, "holds only 700"},
    };
    for (const Mutation& m : mutations) {
        SCOPED_TRACE(m.what);
        std::string img = b.img;
        m.apply(img, b);
        std::string error;
        EXPECT_EQ(PblLibrary::Parse(img, &error), nullptr);
        EXPECT_NE(error.find(m.expect), std::string::npos) << error;
    }
}

// Errors name the entry and where it is.
TEST(PblCorrupt, ErrorsNameTheEntryAndOffset) {
    const Layout& b = Base();
    std::string img = b.img;
    Set32(img, b.multi.data + 4, b.multi.data);
    std::string error;
    ASSERT_FALSE(PblLibrary::Parse(img, &error));
    EXPECT_EQ(error, "corrupt library: entry '" + b.multi.name +
                         "' (directory node at offset 1024): the data chain loops back to the "
                         "block at offset " +
                         std::to_string(b.multi.data));
}

TEST(PblCorrupt, ToleratesWhatTheReaderDoesNotFollow) {
    const Layout& b = Base();
    auto expected = PblLibrary::Parse(b.img, nullptr);
    ASSERT_TRUE(expected);
    const std::function<void(std::string&)> changes[] = {
        [](std::string& s) { std::fill(s.begin() + 520, s.begin() + 1024, '\0'); },  // bitmap
        [](std::string& s) { Set16(s, 26, 7); },
        [](std::string& s) {
            Set32(s, 1024 + 8, 99);
            Set16(s, 1024 + 16, 5);
            Set16(s, 1024 + 18, 1);
        },
        [](std::string& s) {  // tree out of name order
            const uint32_t left = U32(s, 1028);
            Set32(s, 1028, U32(s, 1036));
            Set32(s, 1036, left);
        },
        [](std::string& s) { s += "DAT*" + std::string(508, 'z') + "tail"; },  // unused block
    };
    for (const auto& change : changes) {
        std::string img = b.img;
        change(img);
        std::string error;
        auto lib = PblLibrary::Parse(img, &error);
        ASSERT_TRUE(lib) << error;
        ExpectSameLibrary(*expected, *lib);
    }
}

// Every truncation of a compact library loses a used block; random damage never
// crashes, and whatever still reads writes and reads again to the same entries.
TEST(PblCorrupt, TruncationsAndRandomDamage) {
    const std::string& img = Base().img;
    for (size_t size = 0; size < img.size(); size += 512)
        EXPECT_FALSE(PblLibrary::Parse(std::string_view(img).substr(0, size), nullptr)) << size;
    std::mt19937 rng(7);
    size_t parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string copy = img;
        for (int k = 0; k < 3; ++k)
            copy[rng() % 12000] = static_cast<char>(rng());
        std::string error;
        auto lib = PblLibrary::Parse(copy, &error);
        if (!lib) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        ++parsed;
        auto again = PblLibrary::Parse(lib->Serialize(), &error);
        ASSERT_TRUE(again) << error;
        ExpectSameLibrary(*lib, *again);
    }
    EXPECT_GT(parsed, 0u);
}

}  // namespace
