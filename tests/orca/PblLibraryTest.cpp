// Writing libraries PowerBuilder can search, in PowerBuilder's own name order, and entry
// editing. (Saving is atomic: the ORCA calls' failed-write case; the corpus libraries
// against their manifest are in OrcaCorpusTest; the fuzz replays read them back and forth.)

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "orca/PblLibrary.h"
#include "tests/orca/PblTestImage.h"

namespace {

using orca::PblEntry;
using orca::PblLibrary;
using namespace pbltest;

// PowerBuilder's name order (which its own trees in the corpus follow, checked in
// OrcaCorpusTest): punctuation before letters and digits, case ignored. The same name in
// other case is the same entry. Entries the format cannot hold are refused.
TEST(PblWriter, NameOrderAndWhatTheFormatCannotHold) {
    auto lib = PblLibrary::Create("0500", "", 0);
    for (const char* n : {"m_mainx.srm", "M_Main_Pbgrid.srm", "m_main.srm", "m_main1.srm", "a.srw"})
        ASSERT_TRUE(lib->Put({n, "", 1, 0, "x"}));
    std::vector<std::string> names;
    for (const auto& e : lib->Entries())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.srw", "m_main.srm", "m_main1.srm",
                                               "M_Main_Pbgrid.srm", "m_mainx.srm"}));
    EXPECT_EQ(lib->Entries()[0].format, "0500");
    ASSERT_TRUE(lib->Put({"m_main_pbgrid.srm", "0500", 2, 0, "new"}));
    EXPECT_EQ(lib->Entries().size(), 5u);
    EXPECT_EQ(lib->Find("M_MAIN_PBGRID.srm")->data, "new");
    EXPECT_TRUE(lib->Remove("M_MAIN_PBGRID.SRM"));
    EXPECT_FALSE(lib->Remove("m_main_pbgrid.srm"));
    EXPECT_EQ(lib->Find("nothing.srw"), nullptr);

    for (const PblEntry& e :
         {PblEntry{"", "", 0, 0, ""}, PblEntry{std::string(256, 'n'), "", 0, 0, ""},
          PblEntry{std::string("a\0b.srw", 7), "", 0, 0, ""}, PblEntry{"a.srw", "06000", 0, 0, ""},
          PblEntry{"a.srw", "", 0, 4, "abc"}}) {
        std::string error;
        EXPECT_FALSE(lib->Put(e, &error)) << e.name;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_EQ(lib->Entries().size(), 4u);
    EXPECT_TRUE(lib->Put({std::string(255, 'n'), "", 0, 3, "abc"}));
}

// Directory shapes for growing entry counts, from an empty library's empty root node:
// always a search tree, balanced, with full nodes except possibly the last run. Over
// 4032 blocks (the large entry) needs a chained bitmap.
TEST(PblWriter, DirectoryIsABalancedSearchTreeAndBitmapsChain) {
    EXPECT_EQ(PblLibrary::Create("0400", std::string(300, 'c'), 7)->Comment().size(), 255u);
    std::string big(9000 * 502 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 2654435761u >> 24);
    for (size_t count : {0, 1, 59, 60, 61, 130, 300, 700, 2000}) {
        SCOPED_TRACE(count);
        auto lib = Sample(count);
        if (count == 300) {
            ASSERT_TRUE(lib->Put({"big.dwo", "", 5, 0, big}));
        }
        const std::string img = lib->Serialize();
        ExpectWellFormed(img);
        const auto nodes = Nodes(img);
        size_t depth = 0, bitmaps = 0;
        for (const RawNode& n : nodes)
            depth = std::max(depth, n.depth);
        EXPECT_LE(depth, static_cast<size_t>(std::log2(nodes.size())) + 1);
        EXPECT_GT(nodes.size(), count / 100);
        for (uint32_t f = 512; f != 0; f = U32(img, f + 4))
            ++bitmaps;
        EXPECT_EQ(bitmaps, (img.size() / 512 + 4031) / 4032);  // 4032 blocks each
        EXPECT_TRUE(count != 300 || bitmaps == 3);
        std::string error;
        auto back = PblLibrary::Parse(img, &error);
        ASSERT_TRUE(back) << error;
        EXPECT_TRUE(back->Serialize() == img);  // what was written reads back the same
    }
}

// Entries read from a file keep their data in the file's image: what they give must be
// the bytes of their chain whatever the blocks' counts and order, a comment running
// past the first block included, and must outlive the library they were read from.
TEST(PblReader, EntryDataComesFromItsBlocksWhateverTheirCountsAndOrder) {
    auto made = PblLibrary::Create("0600", "", 1);
    ASSERT_TRUE(made->Put({"w_a.srw", "", 1, 0, "x"}));
    const std::string base = made->Serialize();
    const uint32_t chunk = Nodes(base)[0].chunks[0].at;
    const std::string pieces[] = {std::string(100, 'c'), std::string(502, 'd'), "tail..."};
    std::string data;
    for (const std::string& p : pieces)
        data += p;
    for (const uint16_t commentLength : {uint16_t{60}, uint16_t{150}}) {
        SCOPED_TRACE(commentLength);
        // Three blocks appended in reverse order of the chain, each with its own count.
        std::string img = base;
        const auto end = static_cast<uint32_t>(img.size());
        img.resize(end + 3 * 512, '\0');
        for (uint32_t k = 0; k < 3; ++k) {
            const uint32_t at = end + (2 - k) * 512;
            char* b = img.data() + at;
            std::memcpy(b, "DAT*", 4);
            orca::pbl::Put32(b + 4, k < 2 ? at - 512 : 0);
            orca::pbl::Put16(b + 8, static_cast<uint16_t>(pieces[k].size()));
            std::memcpy(b + 10, pieces[k].data(), pieces[k].size());
        }
        orca::pbl::Put32(img.data() + chunk + 8, end + 2 * 512);
        orca::pbl::Put32(img.data() + chunk + 12, static_cast<uint32_t>(data.size()));
        orca::pbl::Put16(img.data() + chunk + 20, commentLength);

        std::string error;
        auto lib = PblLibrary::Parse(img, &error);
        ASSERT_NE(lib, nullptr) << error;
        const PblLibrary copy(*lib);
        lib.reset();  // the copy's entries keep the image
        const PblEntry& e = *copy.Find("w_a.srw");
        EXPECT_EQ(e.data, data);
        EXPECT_EQ(e.data.Str(), data);
        EXPECT_EQ(e.data.Str(98, 6), data.substr(98, 6));
        EXPECT_EQ(e.Comment(), data.substr(0, commentLength));
        EXPECT_EQ(e.BodySize(), data.size() - commentLength);
        EXPECT_EQ(e.BodyText(), data.substr(commentLength));
        std::string body(e.BodySize() + 1, '#');
        e.CopyBody(body.data());
        EXPECT_EQ(body, data.substr(commentLength) + "#");  // not a byte more
        // Written anew in whole blocks, read back the same.
        auto again = PblLibrary::Parse(copy.Serialize(), &error);
        ASSERT_NE(again, nullptr) << error;
        EXPECT_EQ(Fields(*again->Find("w_a.srw")), Fields(e));
    }
}

}  // namespace
