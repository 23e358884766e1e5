// Reading the real libraries, writing libraries PowerBuilder can search, round trips,
// entry editing and atomic saving.

#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "orca/PblLibrary.h"
#include "platform/AtomicFile.h"
#include "tests/orca/CorpusManifest.h"
#include "tests/orca/PblTestImage.h"
#include "tests/support/TestSupport.h"

namespace {

using orca::PblEntry;
using orca::PblLibrary;
using namespace pbltest;

std::string CorpusImage(const std::string& name) {
    return testsupport::ReadFile(testsupport::CorpusLibrary(name));
}

TEST(PblCorpus, ReproducesEveryManifestRow) {
    SKIP_WITHOUT_CORPUS();
    std::map<std::string, std::unique_ptr<PblLibrary>> libs;
    std::map<std::string, size_t> rows;
    for (const testsupport::ManifestRow& row : testsupport::ReadManifest()) {
        auto& lib = libs[row.library];
        if (!lib) {
            std::string error;
            lib = PblLibrary::Load(testsupport::CorpusLibrary(row.library), &error);
            ASSERT_TRUE(lib) << error;
            EXPECT_EQ(lib->Format(), "0600");
        }
        ++rows[row.library];
        const PblEntry* e = lib->Find(row.entry);
        ASSERT_TRUE(e) << row.library << " " << row.entry;
        EXPECT_EQ(e->format, row.format);
        EXPECT_EQ(static_cast<long>(e->data.size()), row.dataSize) << row.entry;
        EXPECT_EQ(e->time, row.time) << row.entry;
        EXPECT_EQ(e->commentLength, row.commentLength) << row.entry;
        EXPECT_EQ(testsupport::Hex(e->Comment()), row.commentHex) << row.entry;
        if (row.sourceLength >= 0) {
            EXPECT_EQ(static_cast<long>(e->Body().size()), row.sourceLength) << row.entry;
            EXPECT_EQ(testsupport::Sha256Hex(e->Body()), row.sha256) << row.entry;
        }
    }
    EXPECT_EQ(libs.size(), testsupport::CorpusLibraries().size());
    EXPECT_EQ(libs.size(), 10u);
    for (const auto& [name, lib] : libs)
        EXPECT_EQ(lib->Entries().size(), rows[name]) << name;
}

// PowerBuilder's own trees tell the name order: every node's first/last words point at
// the least/greatest name by NameLess, and the in-order walk ascends across nodes.
// ("m_main.srm" < "m_main_pbgrid.srm" and "dw_afxfilter_list" < "dw_afxfilterd_list"
// decide between the candidate orders.)
TEST(PblCorpus, NameOrderMatchesPowerBuildersTrees) {
    SKIP_WITHOUT_CORPUS();
    size_t multiNode = 0;
    for (const std::string& name : testsupport::CorpusLibraries()) {
        const std::string img = CorpusImage(name);
        const auto nodes = Nodes(img);
        multiNode += nodes.size() > 1;
        std::string previous;
        for (const RawNode& n : nodes) {
            auto [least, greatest] = MinMax(n);
            EXPECT_EQ(n.firstName, least->at - n.at + 24) << name << " node " << n.at;
            EXPECT_EQ(n.lastName, greatest->at - n.at + 24) << name << " node " << n.at;
            EXPECT_TRUE(previous.empty() || PblLibrary::NameLess(previous, least->name));
            previous = greatest->name;
        }
        // Entries() lists names in the same order.
        auto lib = PblLibrary::Parse(img, nullptr);
        ASSERT_TRUE(lib);
        for (size_t i = 1; i < lib->Entries().size(); ++i)
            EXPECT_TRUE(PblLibrary::NameLess(lib->Entries()[i - 1].name, lib->Entries()[i].name));
    }
    EXPECT_EQ(multiNode, 3u);
}

TEST(PblCorpus, RoundTripsEveryLibrary) {
    SKIP_WITHOUT_CORPUS();
    for (const std::string& name : testsupport::CorpusLibraries()) {
        SCOPED_TRACE(name);
        std::string error;
        auto original = PblLibrary::Parse(CorpusImage(name), &error);
        ASSERT_TRUE(original) << error;
        const std::string written = original->Serialize();
        ExpectWellFormed(written);
        auto reread = PblLibrary::Parse(written, &error);
        ASSERT_TRUE(reread) << error;
        ExpectSameLibrary(*original, *reread);
        EXPECT_TRUE(reread->Serialize() == written) << "writing is deterministic";
    }
}

TEST(PblWriter, NameOrderPutsPunctuationBeforeLettersAndIgnoresCase) {
    auto lib = PblLibrary::Create("0500", "", 0);
    for (const char* n : {"m_mainx.srm", "M_Main_Pbgrid.srm", "m_main.srm", "m_main1.srm", "a.srw"})
        ASSERT_TRUE(lib->Put({n, "", 1, 0, "x"}));
    std::vector<std::string> names;
    for (const auto& e : lib->Entries())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.srw", "m_main.srm", "m_main1.srm",
                                               "M_Main_Pbgrid.srm", "m_mainx.srm"}));
    EXPECT_EQ(lib->Entries()[0].format, "0500");
    // The same name in other case is the same entry.
    ASSERT_TRUE(lib->Find("m_main_pbgrid.SRM"));
    ASSERT_TRUE(lib->Put({"m_main_pbgrid.srm", "0500", 2, 0, "new"}));
    EXPECT_EQ(lib->Entries().size(), 5u);
    EXPECT_EQ(lib->Find("M_MAIN_PBGRID.srm")->data, "new");
    EXPECT_TRUE(lib->Remove("M_MAIN_PBGRID.SRM"));
    EXPECT_FALSE(lib->Remove("m_main_pbgrid.srm"));
    EXPECT_EQ(lib->Find("nothing.srw"), nullptr);
}

TEST(PblWriter, PutRefusesWhatTheFormatCannotHold) {
    auto lib = PblLibrary::Create("0600", "", 0);
    std::string error;
    const PblEntry bad[] = {
        {"", "", 0, 0, ""},
        {std::string(256, 'n'), "", 0, 0, ""},
        {std::string("a\0b.srw", 7), "", 0, 0, ""},
        {"a.srw", "06000", 0, 0, ""},
        {"a.srw", "", 0, 4, "abc"},
    };
    for (const PblEntry& e : bad) {
        error.clear();
        EXPECT_FALSE(lib->Put(e, &error)) << e.name;
        EXPECT_FALSE(error.empty());
    }
    EXPECT_TRUE(lib->Entries().empty());
    EXPECT_TRUE(lib->Put({std::string(255, 'n'), "", 0, 3, "abc"}));
}

// Directory shapes for growing entry counts, from an empty library's empty root node:
// always a search tree, balanced, with full nodes except possibly the last run.
TEST(PblWriter, DirectoryIsABalancedSearchTree) {
    EXPECT_EQ(PblLibrary::Create("0400", std::string(300, 'c'), 7)->Comment().size(), 255u);
    for (size_t count : {0, 1, 59, 60, 61, 130, 700, 2000}) {
        SCOPED_TRACE(count);
        auto lib = Sample(count);
        const std::string img = lib->Serialize();
        ExpectWellFormed(img);
        const auto nodes = Nodes(img);
        size_t depth = 0;
        for (const RawNode& n : nodes)
            depth = std::max(depth, n.depth);
        EXPECT_LE(depth, static_cast<size_t>(std::log2(nodes.size())) + 1);
        EXPECT_GT(nodes.size(), count / 100);
        auto back = PblLibrary::Parse(img, nullptr);
        ASSERT_TRUE(back);
        ExpectSameLibrary(*lib, *back);
    }
}

// Over 4032 blocks needs a chained bitmap; the large entry is read back intact.
TEST(PblWriter, LargeLibraryChainsBitmapsAndNodes) {
    auto lib = Sample(300);
    std::string big(9000 * 502 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 2654435761u >> 24);
    ASSERT_TRUE(lib->Put({"big.dwo", "", 5, 0, big}));
    const std::string img = lib->Serialize();
    ASSERT_GT(img.size() / 512, 2 * 4032u);
    size_t bitmaps = 0;
    for (uint32_t f = 512; f != 0; f = U32(img, f + 4))
        ++bitmaps;
    EXPECT_EQ(bitmaps, 3u);
    ExpectWellFormed(img);
    std::string error;
    auto back = PblLibrary::Parse(img, &error);
    ASSERT_TRUE(back) << error;
    ExpectSameLibrary(*lib, *back);
    EXPECT_TRUE(back->Find("big.dwo")->data == big);
}

TEST(PblSave, ReplacesAtomicallyAndKeepsTheOldFileOnFailure) {
    testsupport::TempDir dir;
    const std::string path = dir / "lib.pbl";
    auto lib = Sample(20);
    std::string error;
    ASSERT_TRUE(lib->Save(path, &error)) << error;
    const std::string before = testsupport::ReadFile(path);
    auto loaded = PblLibrary::Load(path, &error);
    ASSERT_TRUE(loaded) << error;
    ExpectSameLibrary(*lib, *loaded);

    ASSERT_TRUE(lib->Put({"w_new.srw", "", 1, 0, std::string(5000, 'n')}));
    platform::FailNextAtomicWriteAfter(3000);
    EXPECT_FALSE(lib->Save(path, &error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_TRUE(testsupport::ReadFile(path) == before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    EXPECT_FALSE(lib->Save(dir / "missing/lib.pbl", &error));
    EXPECT_FALSE(PblLibrary::Load(dir / "none.pbl", &error));
    EXPECT_NE(error.find("none.pbl"), std::string::npos) << error;
}

}  // namespace
