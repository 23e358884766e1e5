// The ORCA calls on libraries made in the test: reading, writing, compile errors,
// source control, hierarchy, executables, and what bad input and failing writes do.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "orca/OrcaObjects.h"
#include "orca/OrcaSession.h"
#include "orca/PblLibrary.h"
#include "platform/AtomicFile.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/orca/PblTestImage.h"
#include "tests/support/TestSupport.h"

using namespace orcatest;

namespace {

// A library with sources and fake compiled forms (PowerBuilder's compiled bytes are
// opaque: any bytes stand for them here).
void MakeCompiledLibrary(const std::string& path, const std::vector<std::string>& windows,
                         bool compiled = true) {
    auto lib = orca::PblLibrary::Create("0600", "compiled", 1133466869);
    for (const std::string& w : windows) {
        orca::PblEntry source;
        source.name = w + ".srw";
        source.format = "0600";
        source.time = 1133466869;
        source.commentLength = 4;
        source.data = "note" + WindowSource(w, "window");
        ASSERT_TRUE(lib->Put(source));
        if (!compiled)
            continue;
        orca::PblEntry bin;
        bin.name = w + ".win";
        bin.format = "0600";
        bin.time = 1135199470;
        bin.data = std::string(1500, '\x7f') + w;
        ASSERT_TRUE(lib->Put(bin));
    }
    std::string error;
    ASSERT_TRUE(lib->Save(path, &error)) << error;
}

std::unique_ptr<orca::PblLibrary> Load(const std::string& path) {
    std::string error;
    auto lib = orca::PblLibrary::Load(path, &error);
    EXPECT_TRUE(lib) << error;
    return lib;
}

// Adds the application object "sales", source and compiled form.
void AddApplication(orca::PblLibrary& lib) {
    ASSERT_TRUE(lib.Put({"sales.sra", "", 0, 0, "global type sales from application\r\n"}));
    ASSERT_TRUE(lib.Put({"sales.apl", "", 0, 0, "compiled application"}));
}

class OrcaApiTest : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    Orca orca;
    std::string Host(const std::string& name) { return prefix / name; }
    std::string Lib(const std::string& name) { return Win(prefix / name); }
};

TEST_F(OrcaApiTest, CreateImportExportAndDescribe) {
    const std::string lib = Lib("app.pbl");
    ASSERT_EQ(PBORCA_LibraryCreate(orca, lib.c_str(), "Sales objects"), PBORCA_OK) << orca.Error();
    EXPECT_EQ(PBORCA_LibraryCreate(orca, lib.c_str(), "again"), PBORCA_OBJEXISTS);
    EXPECT_NE(orca.Error().find(lib), std::string::npos);
    EXPECT_EQ(Load(Host("app.pbl"))->Format(), "0600");

    const std::string source = WindowSource("w_main", "window");
    ASSERT_EQ(Import(orca, lib, "w_main", PBORCA_WINDOW, "Main window", source), PBORCA_OK)
        << orca.Error();
    EXPECT_EQ(orca.Error(), "");

    std::string comment;
    int32_t rc = 0;
    const auto dir = Directory(orca, lib, &rc, &comment);
    ASSERT_EQ(rc, PBORCA_OK);
    EXPECT_EQ(comment, "Sales objects");
    ASSERT_EQ(dir.size(), 1u);
    EXPECT_EQ(dir[0].name, "w_main");
    EXPECT_EQ(dir[0].type, PBORCA_WINDOW);
    EXPECT_EQ(dir[0].comment, "Main window");
    EXPECT_EQ(dir[0].size, static_cast<int32_t>(source.size() + 11));  // no compiled form
    EXPECT_NEAR(dir[0].time, time(nullptr), 60);

    std::string text;
    ASSERT_EQ(Export(orca, lib, "w_main", PBORCA_WINDOW, &text), PBORCA_OK);
    EXPECT_EQ(text, source);
    PBORCA_ENTRYINFO info{};
    ASSERT_EQ(PBORCA_LibraryEntryInformation(orca, lib.c_str(), "w_main", PBORCA_WINDOW, &info),
              PBORCA_OK);
    EXPECT_STREQ(info.szComment, "Main window");
    EXPECT_EQ(info.lSourceSize, static_cast<int32_t>(source.size()));
    EXPECT_EQ(info.lObjectSize, 0);

    EXPECT_EQ(PBORCA_LibraryCommentModify(orca, lib.c_str(), "Renamed"), PBORCA_OK);
    Directory(orca, lib, &rc, &comment);
    EXPECT_EQ(comment, "Renamed");
}

TEST_F(OrcaApiTest, ExportNeverWritesPastTheBuffer) {
    MakeCompiledLibrary(Host("a.pbl"), {"w_a"});
    const std::string lib = Lib("a.pbl");
    const size_t length = WindowSource("w_a", "window").size();
    std::vector<char> buffer(length + 16, '#');
    // Exactly the text without room for its zero byte: too small, only byte 0 changes.
    EXPECT_EQ(PBORCA_LibraryEntryExport(orca, lib.c_str(), "w_a", PBORCA_WINDOW, buffer.data(),
                                        static_cast<int32_t>(length)),
              PBORCA_BUFFERTOOSMALL);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(std::count(buffer.begin() + 1, buffer.end(), '#'),
              static_cast<long>(buffer.size() - 1));
    EXPECT_NE(orca.Error().find("w_a.srw"), std::string::npos);
    EXPECT_EQ(PBORCA_LibraryEntryExport(orca, lib.c_str(), "w_a", PBORCA_WINDOW, buffer.data(),
                                        static_cast<int32_t>(length + 1)),
              PBORCA_OK);
    EXPECT_EQ(buffer[length], '\0');
    EXPECT_EQ(buffer[length + 1], '#');
    // A failing export leaves an empty text, not the previous entry's.
    EXPECT_EQ(PBORCA_LibraryEntryExport(orca, lib.c_str(), "w_none", PBORCA_WINDOW, buffer.data(),
                                        static_cast<int32_t>(buffer.size())),
              PBORCA_OBJNOTFOUND);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(orca.Error(), "Entry w_none.srw not found in library " + lib);
}

TEST_F(OrcaApiTest, CompileErrorsAreReportedAndChangeNothing) {
    MakeCompiledLibrary(Host("a.pbl"), {"w_a"});
    const std::string lib = Lib("a.pbl");
    const std::string before = testsupport::ReadFile(Host("a.pbl"));
    std::vector<Problem> problems;
    const std::string broken =
        WindowSource("w_a", "window", "public function integer of_x ()\r\nreturn 1\r\n");
    EXPECT_EQ(Import(orca, lib, "w_a", PBORCA_WINDOW, "", broken, &problems), PBORCA_COMPERROR);
    ASSERT_FALSE(problems.empty());
    EXPECT_EQ(problems[0].level, 1);
    EXPECT_EQ(problems[0].number.size(), 4u);
    EXPECT_GT(problems[0].line, 0);
    EXPECT_FALSE(problems[0].text.empty());
    EXPECT_NE(orca.Error().find("w_a.srw"), std::string::npos) << orca.Error();
    EXPECT_EQ(testsupport::ReadFile(Host("a.pbl")), before);

    // A source for another object's name is an error too.
    problems.clear();
    EXPECT_EQ(Import(orca, lib, "w_b", PBORCA_WINDOW, "", WindowSource("w_a", "window"), &problems),
              PBORCA_COMPERROR);
    EXPECT_FALSE(problems.empty());
    EXPECT_EQ(testsupport::ReadFile(Host("a.pbl")), before);

    // Regenerate checks the stored source and never writes.
    EXPECT_EQ(PBORCA_CompileEntryRegenerate(orca, lib.c_str(), "w_a", PBORCA_WINDOW,
                                            &CollectProblem, &problems),
              PBORCA_OK);
    auto bad = Load(Host("a.pbl"));
    orca::PblEntry e = *bad->Find("w_a.srw");
    e.data = e.data.substr(0, e.data.find("end forward"));
    ASSERT_TRUE(bad->Put(e));
    std::string error;
    ASSERT_TRUE(bad->Save(Host("a.pbl"), &error));
    const std::string badBytes = testsupport::ReadFile(Host("a.pbl"));
    problems.clear();
    EXPECT_EQ(PBORCA_CompileEntryRegenerate(orca, lib.c_str(), "w_a", PBORCA_WINDOW,
                                            &CollectProblem, &problems),
              PBORCA_COMPERROR);
    EXPECT_FALSE(problems.empty());
    EXPECT_EQ(testsupport::ReadFile(Host("a.pbl")), badBytes);
}

// An import list is all or nothing: a source that fails the check, or an object name of
// 255 bytes that passes the name check but is too long to store with its extension, fails
// the list and leaves the library as it was.
TEST_F(OrcaApiTest, ImportListIsAllOrNothing) {
    MakeCompiledLibrary(Host("a.pbl"), {"w_a"});
    std::string lib = Lib("a.pbl");
    const std::string before = testsupport::ReadFile(Host("a.pbl"));
    std::string longest = "w_" + std::string(249, 'n');  // 251 + ".srw" = 255
    std::string tooLong = longest + "x";
    std::string good = WindowSource(longest, "window"),
                tooLongSource = WindowSource(tooLong, "window"),
                broken = "global type w_m from window\r\n", m = "w_m";
    EXPECT_EQ(Import(orca, lib, tooLong, PBORCA_WINDOW, "", tooLongSource), PBORCA_INVALIDNAME);
    EXPECT_NE(orca.Error().find("Entry " + tooLong + ".srw cannot be stored in library " + lib),
              std::string::npos)
        << orca.Error();
    EXPECT_EQ(testsupport::ReadFile(Host("a.pbl")), before);
    const struct {
        std::string* name;
        std::string* source;
        int32_t result;
        const char* error;
    } seconds[] = {{&m, &broken, PBORCA_COMPERROR, "w_m.srw"},
                   {&tooLong, &tooLongSource, PBORCA_INVALIDNAME, "(nothing was imported)"}};
    for (const auto& second : seconds) {
        char* libs[] = {lib.data(), lib.data()};
        char* names[] = {longest.data(), second.name->data()};
        PBORCA_TYPE types[] = {PBORCA_WINDOW, PBORCA_WINDOW};
        char* sources[] = {good.data(), second.source->data()};
        int32_t lengths[] = {static_cast<int32_t>(good.size()),
                             static_cast<int32_t>(second.source->size())};
        std::vector<Problem> problems;
        EXPECT_EQ(PBORCA_CompileEntryImportList(orca, libs, names, types, nullptr, sources, lengths,
                                                2, &CollectProblem, &problems),
                  second.result);
        EXPECT_NE(orca.Error().find(second.error), std::string::npos) << orca.Error();
        EXPECT_EQ(testsupport::ReadFile(Host("a.pbl")), before);
    }
    ASSERT_EQ(Import(orca, lib, longest, PBORCA_WINDOW, "", good), PBORCA_OK) << orca.Error();
    EXPECT_NE(Load(Host("a.pbl"))->Find(longest + ".srw"), nullptr);
}

TEST_F(OrcaApiTest, CopyMoveAndDeleteTakeBothForms) {
    MakeCompiledLibrary(Host("a.pbl"), {"w_a", "w_b"});
    ASSERT_EQ(PBORCA_LibraryCreate(orca, Lib("b.pbl").c_str(), ""), PBORCA_OK);
    const auto a = Load(Host("a.pbl"));
    ASSERT_EQ(PBORCA_LibraryEntryCopy(orca, Lib("a.pbl").c_str(), Lib("b.pbl").c_str(), "w_a",
                                      PBORCA_WINDOW),
              PBORCA_OK)
        << orca.Error();
    auto b = Load(Host("b.pbl"));
    for (const char* name : {"w_a.srw", "w_a.win"}) {
        ASSERT_NE(b->Find(name), nullptr) << name;
        EXPECT_EQ(b->Find(name)->data, a->Find(name)->data);
        EXPECT_EQ(b->Find(name)->time, a->Find(name)->time);
    }
    ASSERT_EQ(PBORCA_LibraryEntryMove(orca, Lib("a.pbl").c_str(), Lib("b.pbl").c_str(), "w_b",
                                      PBORCA_WINDOW),
              PBORCA_OK);
    EXPECT_EQ(Load(Host("a.pbl"))->Entries().size(), 2u);
    EXPECT_EQ(Load(Host("b.pbl"))->Entries().size(), 4u);
    ASSERT_EQ(PBORCA_LibraryEntryDelete(orca, Lib("b.pbl").c_str(), "w_a", PBORCA_WINDOW),
              PBORCA_OK);
    EXPECT_EQ(Load(Host("b.pbl"))->Find("w_a.win"), nullptr);
    EXPECT_EQ(PBORCA_LibraryEntryDelete(orca, Lib("b.pbl").c_str(), "w_a", PBORCA_WINDOW),
              PBORCA_OBJNOTFOUND);
    EXPECT_EQ(orca.Error(), "Entry w_a.srw not found in library " + Lib("b.pbl"));
    EXPECT_EQ(PBORCA_LibraryEntryCopy(orca, Lib("a.pbl").c_str(), Lib("b.pbl").c_str(), "w_a",
                                      static_cast<PBORCA_TYPE>(11)),
              PBORCA_INVALIDPARMS);
}

TEST_F(OrcaApiTest, MissingAndCorruptLibrariesGiveErrorsNotCrashes) {
    int32_t rc = 0;
    Directory(orca, "c:\\a\\b.pbl", &rc);
    EXPECT_EQ(rc, PBORCA_BADLIBRARY);
    EXPECT_EQ(orca.Error(), "Library c:\\a\\b.pbl does not exist");

    MakeCompiledLibrary(Host("good.pbl"), {"w_a", "w_b"});
    const std::string good = testsupport::ReadFile(Host("good.pbl"));
    // The reader's own table covers every kind of damage; here, that its error reaches
    // the caller and nothing is written.
    std::string utf16 = good;
    utf16.replace(4, 4, std::string("P\0o\0", 4));
    const std::vector<std::string> images = {"", "HDR*", good.substr(0, good.size() / 2),
                                             std::string(4096, '\0'), utf16};
    for (size_t i = 0; i < images.size(); ++i) {
        const std::string file = "bad" + std::to_string(i) + ".pbl";
        testsupport::WriteFile(Host(file), images[i]);
        std::string text;
        Directory(orca, Lib(file), &rc);
        const int32_t exportRc = Export(orca, Lib(file), "w_a", PBORCA_WINDOW, &text);
        EXPECT_LT(rc, 0) << i;
        EXPECT_LT(exportRc, 0) << i;
        EXPECT_EQ(orca.Error().rfind("Library " + Lib(file) + ": ", 0), 0u)
            << i << ": " << orca.Error();
        EXPECT_EQ(Import(orca, Lib(file), "w_x", PBORCA_WINDOW, "", WindowSource("w_x", "window")),
                  PBORCA_LIBIOERROR);
        EXPECT_EQ(testsupport::ReadFile(Host(file)), images[i]) << i;
    }
    EXPECT_EQ(PBORCA_LibraryDirectory(reinterpret_cast<HPBORCA>(0x1234), "c:\\x.pbl", nullptr, 0,
                                      nullptr, nullptr),
              PBORCA_INVALIDPARMS);
}

TEST_F(OrcaApiTest, FailedWritesLeaveTheLibraryAsItWas) {
    std::filesystem::create_directories(prefix / "lib");
    MakeCompiledLibrary(Host("lib/a.pbl"), {"w_a", "w_b"});
    const std::string lib = Lib("lib/a.pbl");
    const std::string before = testsupport::ReadFile(Host("lib/a.pbl"));
    platform::FailNextAtomicWriteAfter(700);  // the disk fills up during the write
    EXPECT_EQ(Import(orca, lib, "w_c", PBORCA_WINDOW, "", WindowSource("w_c", "window")),
              PBORCA_LIBIOERROR);
    platform::FailNextAtomicWriteAfter(-1);
    EXPECT_NE(orca.Error().find("unchanged"), std::string::npos) << orca.Error();
    EXPECT_EQ(testsupport::ReadFile(Host("lib/a.pbl")), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(prefix / "lib"),
                            std::filesystem::directory_iterator()),
              1);

    if (geteuid() != 0) {  // permissions do not stop root
        ::chmod((prefix / "lib").c_str(), 0555);
        EXPECT_EQ(PBORCA_LibraryEntryDelete(orca, lib.c_str(), "w_a", PBORCA_WINDOW),
                  PBORCA_LIBIOERROR);
        ::chmod((prefix / "lib").c_str(), 0755);
        EXPECT_EQ(testsupport::ReadFile(Host("lib/a.pbl")), before);
    }
    EXPECT_EQ(PBORCA_LibraryCreate(orca, Lib("missing/dir/x.pbl").c_str(), ""), PBORCA_LIBIOERROR);
    EXPECT_NE(orca.Error().find("x.pbl"), std::string::npos);
}

// No C++ exception leaves a call: one thrown by a callback (memory running out, any
// other) fails the call with a text that says so, changes nothing, and the session and
// its directory pass go on as before.
TEST_F(OrcaApiTest, ExceptionsStayInsideTheCall) {
    MakeCompiledLibrary(Host("a.pbl"), {"w_a", "w_b"});
    const std::string lib = Lib("a.pbl"), broken = "global type w_a from window\r\n";
    const std::string before = testsupport::ReadFile(Host("a.pbl"));
    using Thrower = void (*)();
    const std::pair<Thrower, const char*> throwers[] = {
        {[] { throw std::bad_alloc(); }, "out of memory"},
        {[] { throw std::runtime_error("no room"); }, "no room"},
        {[] { throw 7; }, "an exception of unknown type"}};
    for (auto [thrower, reason] : throwers) {
        SCOPED_TRACE(reason);
        void* user = &thrower;
        auto throwOnEntry = [](PBORCA_DIRENTRY*, void* u) { (*static_cast<Thrower*>(u))(); };
        auto throwOnProblem = [](PBORCA_COMPERR*, void* u) { (*static_cast<Thrower*>(u))(); };
        EXPECT_EQ(PBORCA_LibraryDirectory(orca, lib.c_str(), nullptr, 0, throwOnEntry, user),
                  PBORCA_INVALIDPARMS);
        EXPECT_EQ(orca.Error(), std::string("The call failed inside the ORCA library: ") + reason);
        EXPECT_EQ(
            PBORCA_CompileEntryImport(orca, lib.c_str(), "w_a", PBORCA_WINDOW, "", broken.c_str(),
                                      static_cast<int32_t>(broken.size()), throwOnProblem, user),
            PBORCA_INVALIDPARMS);
        EXPECT_EQ(testsupport::ReadFile(Host("a.pbl")), before);
        std::string text;
        EXPECT_EQ(Export(orca, lib, "w_b", PBORCA_WINDOW, &text), PBORCA_OK) << orca.Error();
        EXPECT_EQ(Directory(orca, lib).size(), 2u);
    }
}

TEST_F(OrcaApiTest, DirectoryAndExportsParseTheLibraryOnce) {
    MakeCompiledLibrary(Host("a.pbl"), {"w_a", "w_b", "w_c"});
    const std::string lib = Lib("a.pbl");
    orca::Session* session = orca::SessionFromHandle(orca);
    ASSERT_NE(session, nullptr);
    for (const DirRecord& r : Directory(orca, lib)) {
        std::string text;
        EXPECT_EQ(Export(orca, lib, r.name, r.type, &text), PBORCA_OK);
    }
    EXPECT_EQ(session->ParseCount(), 1);
    // A change made by another session is seen; so is this session's own.
    Orca other;
    ASSERT_EQ(PBORCA_LibraryEntryDelete(other, lib.c_str(), "w_a", PBORCA_WINDOW), PBORCA_OK);
    EXPECT_EQ(Directory(orca, lib).size(), 2u);
    ASSERT_EQ(PBORCA_LibraryEntryDelete(orca, lib.c_str(), "w_b", PBORCA_WINDOW), PBORCA_OK);
    EXPECT_EQ(Directory(orca, lib).size(), 1u);

    // A change made from inside a directory pass is seen by the rest of the pass.
    MakeCompiledLibrary(Host("p.pbl"), {"w_a", "w_b"});
    struct Pass {
        HPBORCA s;
        std::string lib;
        std::vector<int32_t> results;
    } pass{orca, Lib("p.pbl"), {}};
    auto onEntry = [](PBORCA_DIRENTRY* e, void* user) {
        auto* p = static_cast<Pass*>(user);
        if (std::string(e->lpszEntryName) == "w_a")
            PBORCA_LibraryEntryDelete(p->s, p->lib.c_str(), "w_b", PBORCA_WINDOW);
        std::string text;
        p->results.push_back(Export(p->s, p->lib, e->lpszEntryName, e->otEntryType, &text));
    };
    ASSERT_EQ(PBORCA_LibraryDirectory(orca, pass.lib.c_str(), nullptr, 0, onEntry, &pass),
              PBORCA_OK);
    EXPECT_EQ(pass.results, (std::vector<int32_t>{PBORCA_OK, PBORCA_OBJNOTFOUND}));
}

TEST_F(OrcaApiTest, LibraryListCurrentApplicationAndHierarchy) {
    const std::string one = Lib("one.pbl"), two = Lib("two.pbl");
    ASSERT_EQ(PBORCA_LibraryCreate(orca, one.c_str(), ""), PBORCA_OK);
    ASSERT_EQ(PBORCA_LibraryCreate(orca, two.c_str(), ""), PBORCA_OK);
    ASSERT_EQ(Import(orca, one, "w_base", PBORCA_WINDOW, "", WindowSource("w_base", "window")),
              PBORCA_OK);
    ASSERT_EQ(Import(orca, two, "w_mid", PBORCA_WINDOW, "", WindowSource("w_mid", "W_Base")),
              PBORCA_OK);
    ASSERT_EQ(Import(orca, two, "w_leaf", PBORCA_WINDOW, "", WindowSource("w_leaf", "w_mid")),
              PBORCA_OK);
    const std::string app = "global type sales from application\r\nend type\r\n";
    ASSERT_EQ(Import(orca, one, "sales", PBORCA_APPLICATION, "", app), PBORCA_OK) << orca.Error();

    std::vector<std::string> ancestors;
    auto collect = [](PBORCA_HIERARCHY* h, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(h->lpszAncestorName);
    };
    EXPECT_EQ(PBORCA_ObjectQueryHierarchy(orca, two.c_str(), "w_leaf", PBORCA_WINDOW, collect,
                                          &ancestors),
              PBORCA_LIBLISTNOTSET);
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, one.c_str(), "sales"), PBORCA_LIBLISTNOTSET);
    char* list[] = {const_cast<char*>(two.c_str()), const_cast<char*>(one.c_str())};
    ASSERT_EQ(PBORCA_SessionSetLibraryList(orca, list, 2), PBORCA_OK);
    EXPECT_EQ(PBORCA_ObjectQueryHierarchy(orca, two.c_str(), "w_leaf", PBORCA_WINDOW, collect,
                                          &ancestors),
              PBORCA_OK);
    EXPECT_EQ(ancestors, (std::vector<std::string>{"w_mid", "w_base"}));
    ancestors.clear();
    EXPECT_EQ(PBORCA_ObjectQueryHierarchy(orca, one.c_str(), "w_base", PBORCA_WINDOW, collect,
                                          &ancestors),
              PBORCA_OBJHASNOANCS);
    EXPECT_TRUE(ancestors.empty());

    std::vector<std::string> refs;
    auto collectRef = [](PBORCA_REFERENCE* r, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(r->lpszEntryName);
    };
    EXPECT_EQ(
        PBORCA_ObjectQueryReference(orca, two.c_str(), "w_leaf", PBORCA_WINDOW, collectRef, &refs),
        PBORCA_OK);
    EXPECT_EQ(refs, std::vector<std::string>{"w_mid"});
    // A cycle ends where it comes back to the object, whatever case each side spells.
    ASSERT_EQ(Import(orca, one, "W_Loop", PBORCA_WINDOW, "", WindowSource("W_Loop", "w_ring")),
              PBORCA_OK);
    ASSERT_EQ(Import(orca, one, "w_ring", PBORCA_WINDOW, "", WindowSource("w_ring", "w_loop")),
              PBORCA_OK);
    ancestors.clear();
    EXPECT_EQ(PBORCA_ObjectQueryHierarchy(orca, one.c_str(), "W_Loop", PBORCA_WINDOW, collect,
                                          &ancestors),
              PBORCA_OK);
    EXPECT_EQ(ancestors, std::vector<std::string>{"w_ring"});

    char* bad[] = {const_cast<char*>("c:\\nowhere\\x.pbl")};
    EXPECT_EQ(PBORCA_SessionSetLibraryList(orca, bad, 1), PBORCA_BADLIBRARY);
    EXPECT_NE(orca.Error().find("c:\\nowhere\\x.pbl"), std::string::npos);
    ASSERT_EQ(PBORCA_LibraryCreate(orca, Lib("three.pbl").c_str(), ""), PBORCA_OK);
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, Lib("three.pbl").c_str(), "sales"),
              PBORCA_LIBNOTINLIST);
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, one.c_str(), "sales"), PBORCA_OK) << orca.Error();
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, one.c_str(), "sales"), PBORCA_DUPOPERATION);
}

TEST_F(OrcaApiTest, CheckOutListAndCheckIn) {
    MakeCompiledLibrary(Host("app.pbl"), {"w_a", "w_b"});
    ASSERT_EQ(PBORCA_LibraryCreate(orca, Lib("check.pbl").c_str(), "Check out library"), PBORCA_OK);
    const std::string app = Lib("app.pbl"), check = Lib("check.pbl");
    ASSERT_EQ(
        PBORCA_CheckOutEntry(orca, "w_a", app.c_str(), check.c_str(), "jdoe", PBORCA_WINDOW, 1),
        PBORCA_OK)
        << orca.Error();
    EXPECT_EQ(
        PBORCA_CheckOutEntry(orca, "w_a", app.c_str(), check.c_str(), "ann", PBORCA_WINDOW, 1),
        PBORCA_CHECKOUTERROR);
    EXPECT_NE(orca.Error().find("jdoe"), std::string::npos) << orca.Error();

    struct Rec {
        std::string entry, library, user;
        char mode;
    };
    auto collect = [](PBORCA_CHECKOUT* c, void* user) {
        static_cast<std::vector<Rec>*>(user)->push_back(
            {c->lpszEntryName, c->lpszLibraryName, c->lpszUserID, c->cMode});
    };
    std::vector<Rec> inApp, inCheck;
    ASSERT_EQ(PBORCA_ListCheckOutEntries(orca, app.c_str(), collect, &inApp), PBORCA_OK);
    ASSERT_EQ(PBORCA_ListCheckOutEntries(orca, check.c_str(), collect, &inCheck), PBORCA_OK);
    ASSERT_EQ(inApp.size(), 1u);
    EXPECT_EQ(inApp[0].entry, "w_a.srw");
    EXPECT_EQ(inApp[0].library, check);
    EXPECT_EQ(inApp[0].user, "jdoe");
    EXPECT_EQ(inApp[0].mode, 'd');
    ASSERT_EQ(inCheck.size(), 1u);
    EXPECT_EQ(inCheck[0].library, app);
    EXPECT_EQ(inCheck[0].mode, 's');

    // Work on the copy, then check it in; the working copy leaves check.pbl.
    ASSERT_EQ(Import(orca, check, "w_a", PBORCA_WINDOW, "edited",
                     WindowSource("w_a", "window", "// edited\r\n")),
              PBORCA_OK);
    const auto untouched = Load(Host("app.pbl"))->Find("w_b.win")->data;
    EXPECT_EQ(PBORCA_CheckInEntry(orca, "w_b", check.c_str(), app.c_str(), "x", PBORCA_WINDOW, 1),
              PBORCA_CHECKOUTERROR);
    ASSERT_EQ(
        PBORCA_CheckInEntry(orca, "w_a", check.c_str(), app.c_str(), "sorvanti", PBORCA_WINDOW, 1),
        PBORCA_OK)
        << orca.Error();
    const auto after = Load(Host("app.pbl"));
    EXPECT_EQ(after->Find("w_a.srw")->Comment(), "edited");
    EXPECT_EQ(after->Find("w_a.win"), nullptr);  // the compiled form went with the edit
    EXPECT_EQ(after->Find("w_b.win")->data, untouched);
    EXPECT_TRUE(after->SourceControlData().empty());
    EXPECT_TRUE(Load(Host("check.pbl"))->Entries().empty());
    inApp.clear();
    ASSERT_EQ(PBORCA_ListCheckOutEntries(orca, app.c_str(), collect, &inApp), PBORCA_OK);
    EXPECT_TRUE(inApp.empty());

    // Source-control data in an encoding of another tool is reported and kept.
    auto foreign = Load(Host("app.pbl"));
    foreign->SetSourceControlData("SCC*\x01\x02 not ours");
    std::string error;
    ASSERT_TRUE(foreign->Save(Host("app.pbl"), &error));
    const std::string before = testsupport::ReadFile(Host("app.pbl"));
    EXPECT_EQ(PBORCA_ListCheckOutEntries(orca, app.c_str(), collect, &inApp), PBORCA_CHECKOUTERROR);
    EXPECT_EQ(
        PBORCA_CheckOutEntry(orca, "w_b", app.c_str(), check.c_str(), "jdoe", PBORCA_WINDOW, 1),
        PBORCA_CHECKOUTERROR);
    EXPECT_EQ(testsupport::ReadFile(Host("app.pbl")), before);
}

TEST_F(OrcaApiTest, ExecutableAndDynamicLibrary) {
    MakeCompiledLibrary(Host("app.pbl"), {"w_a"});
    MakeCompiledLibrary(Host("common.pbl"), {"w_c"});
    auto app = Load(Host("app.pbl"));
    AddApplication(*app);
    std::string error;
    ASSERT_TRUE(app->Save(Host("app.pbl"), &error));
    std::string l0 = Lib("app.pbl"), l1 = Lib("common.pbl");
    char* list[] = {l0.data(), l1.data()};
    ASSERT_EQ(PBORCA_SessionSetLibraryList(orca, list, 2), PBORCA_OK);
    int32_t flags[] = {0, 1};
    std::vector<std::string> linkErrors;
    auto collect = [](PBORCA_LINKERR* e, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(e->lpszMessageText);
    };
    const std::string exe = Lib("sales.exe");
    EXPECT_EQ(
        PBORCA_ExecutableCreate(orca, exe.c_str(), "", nullptr, collect, &linkErrors, flags, 2, 0),
        PBORCA_CURRAPPLNOTSET);
    ASSERT_EQ(PBORCA_SessionSetCurrentAppl(orca, l0.c_str(), "sales"), PBORCA_OK);
    EXPECT_EQ(
        PBORCA_ExecutableCreate(orca, exe.c_str(), "", nullptr, collect, &linkErrors, flags, 1, 0),
        PBORCA_PBDCOUNTERROR);
    ASSERT_EQ(
        PBORCA_ExecutableCreate(orca, exe.c_str(), "", nullptr, collect, &linkErrors, flags, 2, 0),
        PBORCA_OK)
        << orca.Error();
    EXPECT_TRUE(linkErrors.empty());
    const std::string image = testsupport::ReadFile(Host("sales.exe"));
    ASSERT_GE(image.size(), 1024u);
    ASSERT_EQ(image.size() % 512, 0u);
    const std::string trailer = image.substr(image.size() - 512);
    EXPECT_EQ(trailer.substr(0, 8), std::string("TRL*\0\0\0\0", 8));
    auto linked =
        orca::PblLibrary::Parse(std::string_view(image).substr(0, image.size() - 512), &error);
    ASSERT_TRUE(linked) << error;
    std::vector<std::string> names;
    for (const auto& e : linked->Entries())
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"sales.apl", "w_a.win"}));
    auto pbd = Load(Host("common.pbd"));
    ASSERT_TRUE(pbd);
    ASSERT_EQ(pbd->Entries().size(), 1u);
    EXPECT_EQ(pbd->Entries()[0].name, "w_c.win");

    // An object without its compiled form stops the link; nothing is written.
    ASSERT_EQ(Import(orca, l1, "w_new", PBORCA_WINDOW, "", WindowSource("w_new", "window")),
              PBORCA_OK);
    std::filesystem::remove(Host("sales.exe"));
    std::filesystem::remove(Host("common.pbd"));
    flags[1] = 0;
    EXPECT_EQ(
        PBORCA_ExecutableCreate(orca, exe.c_str(), "", nullptr, collect, &linkErrors, flags, 2, 0),
        PBORCA_LINKERROR);
    ASSERT_EQ(linkErrors.size(), 1u);
    EXPECT_NE(linkErrors[0].find("w_new"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Host("sales.exe")));
    EXPECT_EQ(PBORCA_DynamicLibraryCreate(orca, l1.c_str(), "", 0), PBORCA_PBDCREATERROR);
    EXPECT_FALSE(std::filesystem::exists(Host("common.pbd")));
    EXPECT_EQ(PBORCA_DynamicLibraryCreate(orca, l0.c_str(), "", 0), PBORCA_OK) << orca.Error();
    EXPECT_TRUE(std::filesystem::exists(Host("app.pbd")));
}

// A name of 300 bytes: the reader takes it from a library another program wrote, but no
// library of ours may store it. Every call that would put such an entry into a library,
// a dynamic library or an executable fails, names the entry and writes nothing.
TEST_F(OrcaApiTest, EntriesNoLibraryCanHoldFailAndWriteNothing) {
    const std::string longName = "w_" + std::string(298, 'x');
    MakeCompiledLibrary(Host("long.pbl"), {"w_l", "w_ok"});
    auto app = Load(Host("long.pbl"));
    AddApplication(*app);
    testsupport::WriteFile(
        Host("long.pbl"),
        pbltest::RenameEntries(app->Serialize(),
                               {{"w_l.srw", longName + ".srw"}, {"w_l.win", longName + ".win"}}));
    MakeCompiledLibrary(Host("t.pbl"), {"w_t"});
    const std::string src = Lib("long.pbl"), dst = Lib("t.pbl");
    const std::string srcBefore = testsupport::ReadFile(Host("long.pbl"));
    std::string dstBefore = testsupport::ReadFile(Host("t.pbl"));
    const auto dir = Directory(orca, src);
    ASSERT_EQ(dir.size(), 3u) << orca.Error();
    EXPECT_EQ(dir[2].name, longName);
    auto expectRefused = [&](int32_t rc, int32_t expected, const char* call) {
        EXPECT_EQ(rc, expected) << call;
        EXPECT_NE(orca.Error().find("longer than 255 bytes"), std::string::npos)
            << call << ": " << orca.Error();
        EXPECT_TRUE(testsupport::ReadFile(Host("long.pbl")) == srcBefore) << call;
        EXPECT_TRUE(testsupport::ReadFile(Host("t.pbl")) == dstBefore) << call;
    };

    const char* name = longName.c_str();
    expectRefused(PBORCA_LibraryEntryCopy(orca, src.c_str(), dst.c_str(), name, PBORCA_WINDOW),
                  PBORCA_INVALIDNAME, "copy");
    EXPECT_NE(orca.Error().find("Entry " + longName + ".srw cannot be stored in library " + dst),
              std::string::npos);
    expectRefused(PBORCA_LibraryEntryMove(orca, src.c_str(), dst.c_str(), name, PBORCA_WINDOW),
                  PBORCA_INVALIDNAME, "move");
    expectRefused(
        PBORCA_CheckOutEntry(orca, name, src.c_str(), dst.c_str(), "ann", PBORCA_WINDOW, 1),
        PBORCA_INVALIDNAME, "check-out");
    // Check-in of a working copy with such a name, recorded as checked out of t.pbl.
    {
        auto t = Load(Host("t.pbl"));
        t->SetSourceControlData(orca::EncodeSccData({{src, longName + ".srw", "ann", 'd'}}));
        std::string error;
        ASSERT_TRUE(t->Save(Host("t.pbl"), &error)) << error;
    }
    dstBefore = testsupport::ReadFile(Host("t.pbl"));
    expectRefused(
        PBORCA_CheckInEntry(orca, name, src.c_str(), dst.c_str(), "ann", PBORCA_WINDOW, 1),
        PBORCA_INVALIDNAME, "check-in");

    // The compiled form cannot go into a dynamic library or an executable either.
    expectRefused(PBORCA_DynamicLibraryCreate(orca, src.c_str(), "", 0), PBORCA_PBDCREATERROR,
                  "dynamic library");
    EXPECT_FALSE(std::filesystem::exists(Host("long.pbd")));
    std::string listed = src;
    char* list[] = {listed.data()};
    ASSERT_EQ(PBORCA_SessionSetLibraryList(orca, list, 1), PBORCA_OK);
    ASSERT_EQ(PBORCA_SessionSetCurrentAppl(orca, src.c_str(), "sales"), PBORCA_OK);
    std::vector<std::string> linkErrors;
    auto collect = [](PBORCA_LINKERR* e, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(e->lpszMessageText);
    };
    const std::string exe = Lib("sales.exe");
    for (int32_t flag : {0, 1}) {
        linkErrors.clear();
        int32_t flags[] = {flag};
        expectRefused(PBORCA_ExecutableCreate(orca, exe.c_str(), "", nullptr, collect, &linkErrors,
                                              flags, 1, 0),
                      PBORCA_LINKERROR, flag ? "executable with dynamic library" : "executable");
        ASSERT_EQ(linkErrors.size(), 1u);
        EXPECT_NE(linkErrors[0].find(longName + ".win cannot be stored"), std::string::npos)
            << linkErrors[0];
        EXPECT_FALSE(std::filesystem::exists(Host("sales.exe")));
        EXPECT_FALSE(std::filesystem::exists(Host("long.pbd")));
    }
}

// Each library exports the 25 calls and SorvantiOrca_SetPrefix and nothing of its
// inside, creates libraries of its own format, and maps c: through the prefix the
// program names rather than the environment's.
TEST(OrcaSharedLibraries, ExportTheCallsAndTakeThePrefixGiven) {
    std::istringstream names(
        "SessionOpen SessionClose SessionGetError SessionSetLibraryList SessionSetCurrentAppl "
        "LibraryCommentModify LibraryCreate LibraryDelete LibraryDirectory EntryList "
        "LibraryEntryCopy LibraryEntryDelete LibraryEntryMove LibraryEntryExport "
        "LibraryEntryInformation CompileEntryImport CompileEntryImportList "
        "CompileEntryRegenerate ObjectQueryHierarchy ObjectQueryReference CheckOutEntry "
        "CheckInEntry ListCheckOutEntries ExecutableCreate DynamicLibraryCreate");
    std::vector<std::string> kNames;
    for (std::string name; names >> name;)
        kNames.push_back("PBORCA_" + name);
    ASSERT_EQ(kNames.size(), 25u);
    const std::pair<const char*, std::string> libraries[] = {
        {SORVANTI_PBORC040, "0400"}, {SORVANTI_PBORC050, "0500"}, {SORVANTI_PBORC60, "0600"}};
    testsupport::TempDir dir;
    const char* saved = std::getenv("SORVANTI_PREFIX");
    const std::string savedText = saved ? saved : "";
    ::setenv("SORVANTI_PREFIX", (dir / "environment").c_str(), 1);
    for (const auto& [path, format] : libraries) {
        void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        for (const std::string& name : kNames)
            EXPECT_NE(dlsym(module, name.c_str()), nullptr) << path << name;
        EXPECT_EQ(dlsym(module,
                        "_ZN4orca7Session4FailEiNSt7__cxx1112basic_stringIcSt11char_"
                        "traitsIcESaIcEEE"),
                  nullptr);  // nothing but the calls leaves the library
        auto open = reinterpret_cast<HPBORCA (*)()>(dlsym(module, "PBORCA_SessionOpen"));
        auto create = reinterpret_cast<int32_t (*)(HPBORCA, const char*, const char*)>(
            dlsym(module, "PBORCA_LibraryCreate"));
        auto close = reinterpret_cast<void (*)(HPBORCA)>(dlsym(module, "PBORCA_SessionClose"));
        auto setPrefix =
            reinterpret_cast<int32_t (*)(const char*)>(dlsym(module, "SorvantiOrca_SetPrefix"));
        ASSERT_NE(setPrefix, nullptr);
        ASSERT_EQ(setPrefix((dir / "given").c_str()), PBORCA_OK);
        HPBORCA session = open();
        ASSERT_NE(session, nullptr);
        const std::string lib = "c:\\" + format + ".pbl", file = "/drive_c/" + format + ".pbl";
        EXPECT_EQ(create(session, lib.c_str(), "versioned"), PBORCA_OK);
        EXPECT_EQ(Load(dir / ("given" + file))->Format(), format);
        EXPECT_FALSE(std::filesystem::exists(dir / ("environment" + file)));
        // Without a prefix named, the environment's.
        ASSERT_EQ(setPrefix(nullptr), PBORCA_OK);
        EXPECT_EQ(create(session, lib.c_str(), ""), PBORCA_OK);
        EXPECT_TRUE(std::filesystem::exists(dir / ("environment" + file)));
        close(session);
        dlclose(module);
    }
    saved ? ::setenv("SORVANTI_PREFIX", savedText.c_str(), 1) : ::unsetenv("SORVANTI_PREFIX");
}

}  // namespace
