// Real data: the PowerBuilder libraries of the corpus against their manifest, read by
// the library reader and through the calls; the PFC sources imported through the calls
// and exported back.

#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>
#include <tuple>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/orca/PblTestImage.h"
#include "tests/support/PfcWorkspace.h"
#include "tests/support/TestSupport.h"

using namespace orcatest;
using namespace pbltest;

namespace {

// One row per entry: library, entry, format, data size, time, comment length, comment
// in hex, source length (empty for a compiled entry) and SHA-256 of the source.
struct ManifestRow {
    std::string library, entry, format;
    long dataSize = 0, time = 0, commentLength = 0;
    std::string commentHex;
    long sourceLength = -1;
    std::string sha256;
};

std::vector<ManifestRow> ReadManifest() {
    std::vector<ManifestRow> rows;
    for (const auto& f :
         testsupport::ReadTsvRows(testsupport::CorpusDir() + "/pbl/MANIFEST.tsv", 9))
        rows.push_back({f[0], f[1], f[2], std::stol(f[3]), std::stol(f[4]), std::stol(f[5]), f[6],
                        f[7].empty() ? -1 : std::stol(f[7]), f[8]});
    return rows;
}

// Every entry as the reader and the entry list see it, in PowerBuilder's name order, and
// no other; every source exported (its length and SHA-256, by the system's sha256sum) and
// regenerated without a problem.
TEST(OrcaCorpus, EveryManifestRowThroughTheReaderAndTheCalls) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempDir exported;
    Orca orca;
    const std::vector<ManifestRow> rows = ReadManifest();
    ASSERT_EQ(rows.size(), 510u);
    std::map<std::string, std::unique_ptr<orca::PblLibrary>> libs;
    std::map<std::string, std::map<std::string, DirRecord>> entries;
    std::map<std::string, size_t> rowsOf;
    std::map<std::string, const ManifestRow*> byFile;
    size_t multiNode = 0;
    for (const ManifestRow& row : rows) {
        SCOPED_TRACE(row.library + " " + row.entry);
        const std::string lib = Win(CorpusLibrary(row.library));
        if (!libs[row.library]) {
            ASSERT_TRUE(libs[row.library] = Load(CorpusLibrary(row.library)));
            EXPECT_EQ(libs[row.library]->Format(), "0600");
            // PowerBuilder's own trees are in the writer's name order, and so is Entries().
            const auto nodes = Nodes(testsupport::ReadFile(CorpusLibrary(row.library)));
            multiNode += nodes.size() > 1;
            ExpectNameOrder(nodes);
            const auto& all = libs[row.library]->Entries();
            for (size_t i = 1; i < all.size(); ++i)
                EXPECT_TRUE(orca::PblLibrary::NameLess(all[i - 1].name, all[i].name));
            std::vector<DirRecord> list;
            ASSERT_EQ(PBORCA_EntryList(orca, lib.c_str(), &CollectRecord, &list), PBORCA_OK);
            for (const DirRecord& r : list)
                entries[row.library][r.name] = r;
        }
        ++rowsOf[row.library];
        const orca::PblEntry* e = libs[row.library]->Find(row.entry);
        ASSERT_TRUE(e && entries[row.library].count(row.entry));
        const DirRecord& r = entries[row.library][row.entry];
        bool isSource = false;
        const int type = orca::EntryTypeOfName(row.entry, &isSource);
        EXPECT_EQ(std::tie(e->format, e->commentLength, r.size, r.time, r.type),
                  std::tie(row.format, row.commentLength, row.dataSize, row.time, type));
        EXPECT_EQ(testsupport::HexOf(r.comment), row.commentHex);
        if (row.sourceLength < 0)
            continue;
        ASSERT_TRUE(isSource);
        const std::string name(orca::ObjectName(row.entry));
        std::string text;
        ASSERT_EQ(Export(orca, lib, name, type, &text), PBORCA_OK) << orca.Error();
        EXPECT_EQ(static_cast<long>(text.size()), row.sourceLength);
        const std::string file = "source" + std::to_string(byFile.size());
        testsupport::WriteFile(exported / file, text);
        byFile[file] = &row;
        std::vector<Problem> problems;
        EXPECT_EQ(PBORCA_CompileEntryRegenerate(orca, lib.c_str(), name.c_str(),
                                                static_cast<PBORCA_TYPE>(type), &CollectProblem,
                                                &problems),
                  PBORCA_OK)
            << orca.Error();
    }
    EXPECT_GT(byFile.size(), 200u);
    const std::string command = "cd '" + exported.Path().string() + "' && sha256sum source* >sums";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::istringstream sums(testsupport::ReadFile(exported / "sums"));
    size_t hashed = 0;
    for (std::string hash, file; sums >> hash >> file; ++hashed)
        EXPECT_EQ(hash, byFile.at(file)->sha256) << byFile.at(file)->entry;
    EXPECT_EQ(hashed, byFile.size());
    size_t files = 0;
    for (const auto& f : std::filesystem::directory_iterator(testsupport::CorpusDir() + "/pbl"))
        files += f.path().extension() == ".pbl";
    EXPECT_EQ(libs.size(), files);
    EXPECT_EQ(libs.size(), 10u);
    EXPECT_EQ(multiNode, 3u);  // afxlib, final and xrisi
    for (const auto& [library, count] : rowsOf)
        EXPECT_EQ(libs[library]->Entries().size(), count) << library;
}

// The PFC sources, imported through the calls into new libraries (one import list each),
// export back as they were.
TEST(OrcaPfc, AllSourcesImportAndExportBackEqual) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    const testsupport::PfcWorkspace pfc = testsupport::BuildPfcWorkspace(prefix);
    ASSERT_TRUE(pfc.error.empty()) << pfc.error;
    ASSERT_EQ(pfc.sourceCount, 813u);
    Orca orca;
    for (size_t l = 0; l < pfc.libraries.size(); ++l) {
        SCOPED_TRACE(pfc.libraries[l]);
        const std::string lib = Win(prefix / ("imported" + std::to_string(l) + ".pbl"));
        ASSERT_EQ(PBORCA_LibraryCreate(orca, lib.c_str(), "PFC"), PBORCA_OK) << orca.Error();
        std::vector<Source> sources;
        const auto built = Load(pfc.libraryHostPaths[l]);
        for (const orca::PblEntry& e : built->Entries())
            sources.push_back({lib, std::string(orca::ObjectName(e.name)),
                               orca::EntryTypeOfName(e.name), std::string(e.Comment()),
                               e.BodyText()});
        std::vector<Problem> problems;
        EXPECT_EQ(ImportList(orca, sources, &problems), PBORCA_OK) << orca.Error();
        for (const Problem& p : problems)
            ADD_FAILURE() << "false compile error: line " << p.line << ": " << p.text;
        const auto stored = Load(prefix / ("imported" + std::to_string(l) + ".pbl"));
        for (const Source& s : sources) {
            std::string text;
            ASSERT_EQ(Export(orca, lib, s.name, s.type, &text), PBORCA_OK) << orca.Error();
            EXPECT_TRUE(text == s.text) << s.name << " exports differently";
            EXPECT_EQ(stored->Find(s.name + "." + orca::SourceExtension(s.type))->Comment(),
                      s.comment);
        }
    }
}

}  // namespace
