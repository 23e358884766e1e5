// Reading the real libraries, writing libraries PowerBuilder can search, round trips,
// entry editing and atomic saving.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include "orca/PblLibrary.h"
#include "platform/AtomicFile.h"
#include "tests/orca/PblTestImage.h"
#include "tests/orca/Sha256.h"
#include "tests/support/TestSupport.h"

namespace {

using orca::PblEntry;
using orca::PblLibrary;
using namespace pbltest;

const char* const kCorpusLibraries[] = {"afxlib", "afxptoseis", "afxusers", "afxwizard", "final",
                                        "fylo",   "kratapod",   "openpay",  "wiz_setup", "xrisi"};

std::string CorpusImage(const std::string& name) {
    return testsupport::ReadFile(testsupport::CorpusDir() + "/pbl/" + name + ".pbl");
}

std::string Hex(std::string_view bytes) {
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

TEST(PblCorpus, ReproducesEveryManifestRow) {
    SKIP_WITHOUT_CORPUS();
    std::ifstream manifest(testsupport::CorpusDir() + "/pbl/MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);  // column titles
    std::map<std::string, std::unique_ptr<PblLibrary>> libs;
    std::map<std::string, size_t> rows;
    while (std::getline(manifest, line)) {
        std::vector<std::string> f;
        std::stringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            f.push_back(cell);
        f.resize(9);
        auto& lib = libs[f[0]];
        if (!lib) {
            std::string error;
            lib = PblLibrary::Load(testsupport::CorpusDir() + "/pbl/" + f[0], &error);
            ASSERT_TRUE(lib) << error;
            EXPECT_EQ(lib->Format(), "0600");
        }
        ++rows[f[0]];
        const PblEntry* e = lib->Find(f[1]);
        ASSERT_TRUE(e) << f[0] << " " << f[1];
        EXPECT_EQ(e->format, f[2]);
        EXPECT_EQ(e->data.size(), std::stoul(f[3])) << f[1];
        EXPECT_EQ(e->time, std::stoul(f[4])) << f[1];
        EXPECT_EQ(e->commentLength, std::stoul(f[5])) << f[1];
        EXPECT_EQ(Hex(e->Comment()), f[6]) << f[1];
        if (!f[7].empty()) {
            EXPECT_EQ(e->Body().size(), std::stoul(f[7])) << f[1];
            EXPECT_EQ(testsupport::Sha256Hex(e->Body()), f[8]) << f[1];
        }
    }
    EXPECT_EQ(libs.size(), std::size(kCorpusLibraries));
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
    for (const char* name : kCorpusLibraries) {
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
    for (const char* name : kCorpusLibraries) {
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

TEST(PblWriter, EmptyLibraryHasAnEmptyRootNode) {
    auto lib = PblLibrary::Create("0400", std::string(300, 'c'), 7);
    EXPECT_EQ(lib->Comment().size(), 255u);
    const std::string img = lib->Serialize();
    EXPECT_EQ(img.size(), 8u * 512);
    ExpectWellFormed(img);
    auto back = PblLibrary::Parse(img, nullptr);
    ASSERT_TRUE(back);
    ExpectSameLibrary(*lib, *back);
}

// Directory shapes for growing entry counts: always a search tree, balanced, with full
// nodes except possibly the last run.
TEST(PblWriter, DirectoryIsABalancedSearchTree) {
    for (size_t count : {1, 59, 60, 61, 130, 700, 2000}) {
        SCOPED_TRACE(count);
        auto lib = Sample(count);
        const std::string img = lib->Serialize();
        ExpectWellFormed(img);
        const auto nodes = Nodes(img);
        size_t depth = 0;
        for (const RawNode& n : nodes)
            depth = std::max(depth, n.depth);
        EXPECT_LE(depth, static_cast<size_t>(std::log2(nodes.size())) + 1);
        if (count == 2000) {
            EXPECT_GT(nodes.size(), 20u);
        }
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
