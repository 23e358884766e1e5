// The ORCA calls on real data: the PowerBuilder libraries of the corpus against their
// manifest, copies and imports that must keep every other byte, and the PFC sources
// imported into libraries and exported back.

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include "orca/OrcaObjects.h"
#include "orca/PblLibrary.h"
#include "platform/Ansi.h"
#include "tests/orca/CorpusManifest.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace orcatest;
namespace fs = std::filesystem;

namespace {

using testsupport::CorpusLibraries;
using testsupport::CorpusLibrary;
using testsupport::Hex;
using testsupport::ManifestRow;

std::unique_ptr<orca::PblLibrary> Load(const std::string& path) {
    std::string error;
    auto lib = orca::PblLibrary::Load(path, &error);
    EXPECT_TRUE(lib) << path << ": " << error;
    return lib;
}

void ExpectSameEntry(const orca::PblEntry& a, const orca::PblEntry& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.format, b.format) << a.name;
    EXPECT_EQ(a.time, b.time) << a.name;
    EXPECT_EQ(a.commentLength, b.commentLength) << a.name;
    EXPECT_TRUE(a.data == b.data) << a.name << " data differs";
}

TEST(OrcaCorpus, EveryManifestRowThroughTheCalls) {
    SKIP_WITHOUT_CORPUS();
    Orca orca;
    const std::vector<ManifestRow> rows = testsupport::ReadManifest();
    ASSERT_EQ(rows.size(), 510u);
    std::map<std::string, std::map<std::string, DirRecord>> entries;
    std::map<std::string, std::vector<DirRecord>> objects;
    std::map<std::string, std::map<std::string, const ManifestRow*>> byName;
    for (const ManifestRow& row : rows) {
        const std::string lib = Win(CorpusLibrary(row.library));
        if (!entries.count(row.library)) {
            for (const DirRecord& r : EntryList(orca, lib))
                entries[row.library][r.name] = r;
            int32_t rc = 0;
            objects[row.library] = Directory(orca, lib, &rc);
            ASSERT_EQ(rc, PBORCA_OK) << orca.Error();
        }
        byName[row.library][row.entry] = &row;
        ASSERT_TRUE(entries[row.library].count(row.entry)) << row.library << " " << row.entry;
        const DirRecord& r = entries[row.library][row.entry];
        EXPECT_EQ(r.size, row.dataSize) << row.entry;
        EXPECT_EQ(r.time, row.time) << row.entry;
        EXPECT_EQ(Hex(r.comment), row.commentHex) << row.entry;

        bool isSource = false;
        const int type = orca::EntryTypeOfName(row.entry, &isSource);
        EXPECT_EQ(r.type, type) << row.entry;
        if (row.sourceLength < 0)
            continue;
        ASSERT_TRUE(isSource) << row.entry;
        const std::string name(orca::ObjectName(row.entry));
        std::string text;
        ASSERT_EQ(Export(orca, lib, name, type, &text), PBORCA_OK) << orca.Error();
        EXPECT_EQ(static_cast<long>(text.size()), row.sourceLength) << row.entry;
        EXPECT_EQ(testsupport::Sha256Hex(text), row.sha256) << row.entry;
        PBORCA_ENTRYINFO info{};
        ASSERT_EQ(PBORCA_LibraryEntryInformation(orca, lib.c_str(), name.c_str(),
                                                 static_cast<PBORCA_TYPE>(type), &info),
                  PBORCA_OK);
        EXPECT_EQ(Hex(info.szComment), row.commentHex);
        EXPECT_EQ(info.lCreateTime, row.time);
        EXPECT_EQ(info.lSourceSize, row.sourceLength);
    }
    // One directory record per object: the source's comment and time, the compiled size.
    for (const auto& [library, records] : objects) {
        size_t objectEntries = 0;
        for (const DirRecord& r : records) {
            const ManifestRow* source =
                byName[library][r.name + "." + orca::SourceExtension(r.type)];
            const ManifestRow* compiled =
                byName[library][r.name + "." + orca::CompiledExtension(r.type)];
            ASSERT_TRUE(source || compiled) << r.name;
            objectEntries += (source ? 1 : 0) + (compiled ? 1 : 0);
            EXPECT_EQ(r.time, (source ? source : compiled)->time) << r.name;
            EXPECT_EQ(r.size, (compiled ? compiled : source)->dataSize) << r.name;
            EXPECT_EQ(Hex(r.comment), source ? source->commentHex : "") << r.name;
        }
        size_t known = 0;
        for (const auto& [name, row] : byName[library])
            known += row && orca::EntryTypeOfName(name) >= 0 ? 1 : 0;
        EXPECT_EQ(objectEntries, known) << library;
    }
}

TEST(OrcaCorpus, EveryEntryCopiesIntoANewLibraryUnchanged) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    Orca orca;
    for (const std::string& name : CorpusLibraries()) {
        const std::string source = Win(CorpusLibrary(name));
        const std::string target = Win(prefix / name);
        ASSERT_EQ(PBORCA_LibraryCreate(orca, target.c_str(), "copies"), PBORCA_OK);
        for (const DirRecord& r : Directory(orca, source)) {
            ASSERT_EQ(PBORCA_LibraryEntryCopy(orca, source.c_str(), target.c_str(), r.name.c_str(),
                                              static_cast<PBORCA_TYPE>(r.type)),
                      PBORCA_OK)
                << orca.Error();
        }
        const auto original = Load(CorpusLibrary(name));
        const auto copy = Load(prefix / name);
        ASSERT_EQ(copy->Entries().size(), original->Entries().size()) << name;
        for (size_t i = 0; i < original->Entries().size(); ++i)
            ExpectSameEntry(copy->Entries()[i], original->Entries()[i]);
    }
}

TEST(OrcaCorpus, ImportingOneSourceKeepsEveryOtherEntry) {
    SKIP_WITHOUT_CORPUS();
    testsupport::TempPrefix prefix;
    Orca orca;
    for (const std::string& name : {std::string("afxlib.pbl"), std::string("openpay.pbl")}) {
        testsupport::WriteFile(prefix / name, testsupport::ReadFile(CorpusLibrary(name)));
        const std::string lib = Win(prefix / name);
        const auto before = Load(prefix / name);
        // The first window with a compiled form.
        const orca::PblEntry* chosen = nullptr;
        for (const auto& e : before->Entries()) {
            if (e.name.ends_with(".srw") &&
                before->Find(std::string(orca::ObjectName(e.name)) + ".win")) {
                chosen = &e;
                break;
            }
        }
        ASSERT_NE(chosen, nullptr);
        const std::string object(orca::ObjectName(chosen->name));
        const std::string changed = std::string(chosen->Body()) + "\r\n// changed\r\n";
        std::vector<Problem> problems;
        ASSERT_EQ(Import(orca, lib, object, PBORCA_WINDOW, "changed", changed, &problems),
                  PBORCA_OK)
            << orca.Error();
        const auto after = Load(prefix / name);
        EXPECT_EQ(after->Find(object + ".win"), nullptr);
        EXPECT_EQ(after->Find(chosen->name)->Body(), changed);
        size_t compared = 0;
        for (const auto& e : before->Entries()) {
            if (platform::AsciiSameText(orca::ObjectName(e.name), object))
                continue;
            const orca::PblEntry* kept = after->Find(e.name);
            ASSERT_NE(kept, nullptr) << e.name;
            ExpectSameEntry(*kept, e);
            ++compared;
        }
        EXPECT_EQ(after->Entries().size(), compared + 1);
    }
}

TEST(OrcaCorpus, EveryStoredSourceRegeneratesWithoutProblems) {
    SKIP_WITHOUT_CORPUS();
    Orca orca;
    size_t checked = 0;
    for (const std::string& name : CorpusLibraries()) {
        const std::string lib = Win(CorpusLibrary(name));
        for (const DirRecord& r : Directory(orca, lib)) {
            std::vector<Problem> problems;
            const int32_t rc = PBORCA_CompileEntryRegenerate(orca, lib.c_str(), r.name.c_str(),
                                                             static_cast<PBORCA_TYPE>(r.type),
                                                             &CollectProblem, &problems);
            if (rc == PBORCA_OBJNOTFOUND)
                continue;  // compiled form only
            EXPECT_EQ(rc, PBORCA_OK) << name << " " << r.name << ": " << orca.Error();
            ++checked;
        }
    }
    EXPECT_GT(checked, 200u);
}

// The PFC sources, each imported into the library its .pbg names.
class OrcaPfc : public ::testing::Test {
  protected:
    struct Source {
        std::string file;     // host path of the .sr* file
        std::string library;  // Windows path of the library in the temporary prefix
    };
    testsupport::TempPrefix prefix;
    Orca orca;
    std::vector<Source> sources;
    std::vector<std::string> libraries;

    void SetUp() override {
        if (testsupport::CorpusDir().empty())
            return;
        const fs::path root = testsupport::CorpusDir() + "/pfc";
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            if (e.path().extension() != ".pbg")
                continue;
            std::istringstream in(testsupport::ReadFile(e.path().string()));
            std::string line;
            bool objects = false;
            while (std::getline(in, line)) {
                if (line.rfind("@begin Objects", 0) == 0)
                    objects = true;
                if (!objects || line.rfind(" \"", 0) != 0)
                    continue;
                const size_t a = line.find('"', 2);
                const size_t b = line.find('"', a + 1);
                const size_t c = line.find('"', b + 1);
                auto unescape = [](std::string s) {
                    std::string out;
                    for (size_t i = 0; i < s.size(); ++i) {
                        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\')
                            ++i;
                        out += s[i] == '\\' ? '/' : s[i];
                    }
                    return out;
                };
                const std::string file = unescape(line.substr(2, a - 2));
                const std::string lib = unescape(line.substr(b + 1, c - b - 1));
                const std::string libHost = prefix / ("pfc/" + lib);
                if (std::find(libraries.begin(), libraries.end(), Win(libHost)) ==
                    libraries.end()) {
                    fs::create_directories(fs::path(libHost).parent_path());
                    libraries.push_back(Win(libHost));
                }
                sources.push_back({(root / file).string(), Win(libHost)});
            }
        }
    }
};

TEST_F(OrcaPfc, AllSourcesImportAndExportBackEqual) {
    SKIP_WITHOUT_CORPUS();
    ASSERT_EQ(sources.size(), 813u);
    for (const std::string& lib : libraries)
        ASSERT_EQ(PBORCA_LibraryCreate(orca, lib.c_str(), "PFC"), PBORCA_OK) << orca.Error();
    // One library is filled call by call, the others with one import list each.
    std::map<std::string, std::vector<const Source*>> byLibrary;
    for (const Source& s : sources)
        byLibrary[s.library].push_back(&s);
    bool first = true;
    for (const auto& [lib, list] : byLibrary) {
        std::vector<std::string> names, comments, texts;
        std::vector<PBORCA_TYPE> types;
        for (const Source* s : list) {
            // The library holds the file without its header and comment lines.
            const auto [entry, comment, text] =
                orca::ParseExportFile(testsupport::ReadFile(s->file));
            const std::string fileName = fs::path(s->file).filename().string();
            names.emplace_back(orca::ObjectName(fileName));
            types.push_back(static_cast<PBORCA_TYPE>(orca::EntryTypeOfName(fileName)));
            comments.push_back(comment);
            texts.push_back(text);
        }
        std::vector<Problem> problems;
        if (first) {
            for (size_t i = 0; i < names.size(); ++i)
                EXPECT_EQ(Import(orca, lib, names[i], types[i], comments[i], texts[i], &problems),
                          PBORCA_OK)
                    << names[i] << ": " << orca.Error();
            first = false;
        } else {
            std::vector<char*> libs(names.size(), const_cast<char*>(lib.c_str())), n, c, t;
            std::vector<int32_t> lengths;
            for (size_t i = 0; i < names.size(); ++i) {
                n.push_back(names[i].data());
                c.push_back(comments[i].data());
                t.push_back(texts[i].data());
                lengths.push_back(static_cast<int32_t>(texts[i].size()));
            }
            EXPECT_EQ(PBORCA_CompileEntryImportList(orca, libs.data(), n.data(), types.data(),
                                                    c.data(), t.data(), lengths.data(),
                                                    static_cast<int32_t>(names.size()),
                                                    &CollectProblem, &problems),
                      PBORCA_OK)
                << lib << ": " << orca.Error();
        }
        for (const Problem& p : problems)
            ADD_FAILURE() << "false compile error in " << lib << ": line " << p.line << ": "
                          << p.text;
        for (size_t i = 0; i < names.size(); ++i) {
            std::string text;
            ASSERT_EQ(Export(orca, lib, names[i], types[i], &text), PBORCA_OK) << orca.Error();
            EXPECT_TRUE(text == texts[i]) << names[i] << " exports differently";
            PBORCA_ENTRYINFO info{};
            ASSERT_EQ(PBORCA_LibraryEntryInformation(orca, lib.c_str(), names[i].c_str(), types[i],
                                                     &info),
                      PBORCA_OK);
            EXPECT_EQ(info.szComment, comments[i]);
        }
    }

    // The hierarchy of w_master through the generic application's library list.
    std::vector<std::string> list;
    for (const char* l : {"pfcapp/pfcapp.pbl", "pfcapsrv/pfcapsrv.pbl", "pfcdwsrv/pfcdwsrv.pbl",
                          "pfcmain/pfcmain.pbl", "pfcutil/pfcutil.pbl", "pfcwnsrv/pfcwnsrv.pbl",
                          "pfeapsrv/pfeapsrv.pbl", "pfedwsrv/pfedwsrv.pbl", "pfemain/pfemain.pbl",
                          "pfeutil/pfeutil.pbl", "pfewnsrv/pfewnsrv.pbl"})
        list.push_back(Win(prefix / (std::string("pfc/") + l)));
    std::vector<char*> pointers;
    for (std::string& l : list)
        pointers.push_back(l.data());
    ASSERT_EQ(
        PBORCA_SessionSetLibraryList(orca, pointers.data(), static_cast<int32_t>(pointers.size())),
        PBORCA_OK)
        << orca.Error();
    std::vector<std::string> ancestors;
    auto collect = [](PBORCA_HIERARCHY* h, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(h->lpszAncestorName);
    };
    ASSERT_EQ(PBORCA_ObjectQueryHierarchy(orca, list[8].c_str(), "w_master", PBORCA_WINDOW, collect,
                                          &ancestors),
              PBORCA_OK)
        << orca.Error();
    EXPECT_EQ(ancestors, std::vector<std::string>{"pfc_w_master"});
    ancestors.clear();
    ASSERT_EQ(PBORCA_ObjectQueryHierarchy(orca, list[8].c_str(), "w_sheet", PBORCA_WINDOW, collect,
                                          &ancestors),
              PBORCA_OK);
    EXPECT_EQ(ancestors, (std::vector<std::string>{"pfc_w_sheet", "w_master", "pfc_w_master"}));
}

}  // namespace
