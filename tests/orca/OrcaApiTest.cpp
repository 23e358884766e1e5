// The ORCA calls on libraries made in the test: reading, writing, compile errors,
// source control, hierarchy, executables, and what bad input, failing writes and
// exceptions do; the shared libraries and what they export.

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "orca/LibraryLock.h"
#include "orca/OrcaObjects.h"
#include "orca/OrcaSession.h"
#include "orca/PblLibrary.h"
#include "platform/AtomicFile.h"
#include "tests/orca/OrcaTestSupport.h"
#include "tests/orca/PblTestImage.h"
#include "tests/support/TestSupport.h"

using namespace orcatest;
using pbltest::Load;
namespace fs = std::filesystem;

namespace {

class OrcaApiTest : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    Orca orca;
    std::string Host(const std::string& name) { return prefix / name; }
    std::string Lib(const std::string& name) { return Win(prefix / name); }
    std::string Bytes(const std::string& name) { return testsupport::ReadFile(prefix / name); }

    // A library of windows with sources and fake compiled forms (PowerBuilder's compiled
    // bytes are opaque: any bytes stand for them here); with the application object
    // "sales" when asked. Gives the library's Windows path.
    std::string MakeLibrary(const std::string& name, const std::vector<std::string>& windows,
                            bool application = false) {
        auto lib = orca::PblLibrary::Create("0600", "compiled", 1133466869);
        for (const std::string& w : windows) {
            EXPECT_TRUE(
                lib->Put({w + ".srw", "0600", 1133466869, 4, "note" + WindowSource(w, "window")}));
            EXPECT_TRUE(lib->Put({w + ".win", "0600", 1135199470, 0, std::string(1500, 'c') + w}));
        }
        if (application) {
            EXPECT_TRUE(
                lib->Put({"sales.sra", "", 0, 0, "global type sales from application\r\n"}));
            EXPECT_TRUE(lib->Put({"sales.apl", "", 0, 0, "compiled application"}));
        }
        Save(*lib, name);
        return Lib(name);
    }
    void Save(const orca::PblLibrary& lib, const std::string& name) {
        std::string error;
        ASSERT_TRUE(lib.Save(Host(name), &error)) << error;
    }
    // Imports a window source that passes the check.
    int32_t ImportWindow(const std::string& lib, const std::string& name,
                         const std::string& ancestor = "window", const std::string& comment = "") {
        return Import(orca, lib, name, PBORCA_WINDOW, comment, WindowSource(name, ancestor));
    }
    int32_t Delete(const std::string& lib, const char* name) {
        return PBORCA_LibraryEntryDelete(orca, lib.c_str(), name, PBORCA_WINDOW);
    }
    int32_t Create(const std::string& name, const char* comment = "") {
        return PBORCA_LibraryCreate(orca, Lib(name).c_str(), comment);
    }
    int32_t SetList(std::vector<std::string> libraries) {
        std::vector<char*> list;
        for (std::string& l : libraries)
            list.push_back(l.data());
        return PBORCA_SessionSetLibraryList(orca, list.data(), static_cast<int32_t>(list.size()));
    }
    int32_t Executable(std::vector<int32_t> flags, std::vector<std::string>* linkErrors,
                       size_t count = 0) {
        auto collect = [](PBORCA_LINKERR* e, void* user) {
            static_cast<std::vector<std::string>*>(user)->push_back(e->lpszMessageText);
        };
        return PBORCA_ExecutableCreate(orca, Lib("sales.exe").c_str(), "", nullptr, collect,
                                       linkErrors, flags.data(),
                                       static_cast<int32_t>(count ? count : flags.size()), 0);
    }
};

// A library made through the calls, an object imported and described; an export never
// writes past the buffer, and a failing one leaves an empty text.
TEST_F(OrcaApiTest, CreateImportDescribeAndExport) {
    const std::string lib = Lib("app.pbl");
    ASSERT_EQ(Create("app.pbl", "Sales objects"), PBORCA_OK) << orca.Error();
    EXPECT_EQ(Create("app.pbl", "again"), PBORCA_OBJEXISTS);
    EXPECT_EQ(orca.Error(), "Library " + lib + " cannot be created: the file exists");
    EXPECT_EQ(Load(Host("app.pbl"))->Format(), "0600");

    const std::string source = WindowSource("w_main", "window");
    ASSERT_EQ(ImportWindow(lib, "w_main", "window", "Main window"), PBORCA_OK) << orca.Error();
    EXPECT_EQ(orca.Error(), "");
    std::string comment;
    int32_t rc = 0;
    const auto dir = Directory(orca, lib, &rc, &comment);
    ASSERT_EQ(rc, PBORCA_OK);
    EXPECT_EQ(comment, "Sales objects");
    ASSERT_EQ(dir.size(), 1u);
    EXPECT_EQ(dir[0].name + " " + std::to_string(dir[0].type) + " " + dir[0].comment,
              "w_main 7 Main window");
    EXPECT_EQ(dir[0].size, static_cast<int32_t>(source.size() + 11));  // no compiled form
    EXPECT_NEAR(dir[0].time, time(nullptr), 60);

    PBORCA_ENTRYINFO info{};
    ASSERT_EQ(PBORCA_LibraryEntryInformation(orca, lib.c_str(), "w_main", PBORCA_WINDOW, &info),
              PBORCA_OK);
    EXPECT_EQ(std::make_tuple(std::string(info.szComment), info.lSourceSize, info.lObjectSize),
              std::make_tuple(std::string("Main window"), static_cast<int32_t>(source.size()), 0));
    EXPECT_EQ(PBORCA_LibraryCommentModify(orca, lib.c_str(), "Renamed"), PBORCA_OK);
    Directory(orca, lib, &rc, &comment);
    EXPECT_EQ(comment, "Renamed");

    std::vector<char> buffer(source.size() + 16, '#');
    auto exportInto = [&](const char* name, size_t size) {
        return PBORCA_LibraryEntryExport(orca, lib.c_str(), name, PBORCA_WINDOW, buffer.data(),
                                         static_cast<int32_t>(size));
    };
    // Exactly the text without room for its zero byte: too small, only byte 0 changes.
    EXPECT_EQ(exportInto("w_main", source.size()), PBORCA_BUFFERTOOSMALL);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()),
              '\0' + std::string(buffer.size() - 1, '#'));
    EXPECT_NE(orca.Error().find("w_main.srw"), std::string::npos);
    EXPECT_EQ(exportInto("w_main", source.size() + 1), PBORCA_OK);
    EXPECT_EQ(std::string(buffer.data(), buffer.size()), source + '\0' + std::string(15, '#'));
    // A failing export leaves an empty text, not the previous entry's.
    EXPECT_EQ(exportInto("w_none", buffer.size()), PBORCA_OBJNOTFOUND);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(orca.Error(), "Entry w_none.srw not found in library " + lib);
}

// A source that fails the check is reported through the callback and the error text and
// changes nothing; regenerate checks the stored source and never writes; a good import
// replaces the source and drops the compiled form made from the old one.
TEST_F(OrcaApiTest, CompileErrorsChangeNothingAndImportDropsTheCompiledForm) {
    const std::string lib = MakeLibrary("a.pbl", {"w_a", "w_b"}), before = Bytes("a.pbl");
    const auto original = Load(Host("a.pbl"));
    std::vector<Problem> problems;
    const std::string open = WindowSource("w_a", "window", "public function integer of_x ()\r\n");
    EXPECT_EQ(Import(orca, lib, "w_a", PBORCA_WINDOW, "", open, &problems), PBORCA_COMPERROR);
    ASSERT_EQ(problems.size(), 1u);
    const Problem& p = problems[0];
    const std::string why =
        "'function of_x' opened at line 17 is not closed: 'end function' "
        "expected before the end of the source";
    EXPECT_EQ(std::to_string(p.level) + " " + p.number + " " + std::to_string(p.line) + ":" +
                  std::to_string(p.column) + " " + p.text,
              "1 0110 17:1 " + why);
    EXPECT_EQ(orca.Error(),
              "Entry w_a.srw: 1 problem in the source; the first at line 17, column 1: " + why);
    // A source for another object's name is an error too.
    EXPECT_EQ(Import(orca, lib, "w_b", PBORCA_WINDOW, "", WindowSource("w_a", "window")),
              PBORCA_COMPERROR);
    EXPECT_EQ(Bytes("a.pbl"), before);

    auto regenerate = [&] {
        return PBORCA_CompileEntryRegenerate(orca, lib.c_str(), "w_a", PBORCA_WINDOW,
                                             &CollectProblem, &problems);
    };
    EXPECT_EQ(regenerate(), PBORCA_OK);
    auto bad = Load(Host("a.pbl"));
    orca::PblEntry e = *bad->Find("w_a.srw");
    const std::string data = e.data.Str();
    e.data = data.substr(0, data.find("end forward"));
    ASSERT_TRUE(bad->Put(e));
    Save(*bad, "a.pbl");
    const std::string badBytes = Bytes("a.pbl");
    problems.clear();
    EXPECT_EQ(regenerate(), PBORCA_COMPERROR);
    EXPECT_FALSE(problems.empty());
    EXPECT_EQ(Bytes("a.pbl"), badBytes);

    ASSERT_EQ(ImportWindow(lib, "w_a", "window", "new"), PBORCA_OK) << orca.Error();
    const auto after = Load(Host("a.pbl"));
    EXPECT_EQ(after->Find("w_a.win"), nullptr);
    EXPECT_EQ(after->Find("w_a.srw")->Comment(), "new");
    for (const char* kept : {"w_b.srw", "w_b.win"})
        EXPECT_TRUE(pbltest::Fields(*after->Find(kept)) == pbltest::Fields(*original->Find(kept)));
}

// An import list is all or nothing: a source that fails the check, or an object name of
// 252 bytes that passes the name check but is too long to store with its extension, fails
// the list and leaves the library as it was.
TEST_F(OrcaApiTest, ImportListIsAllOrNothing) {
    const std::string lib = MakeLibrary("a.pbl", {"w_a"}), before = Bytes("a.pbl");
    const std::string longest = "w_" + std::string(249, 'n');  // 251 + ".srw" = 255
    const std::string tooLong = longest + "x";
    const Source good{lib, longest, PBORCA_WINDOW, "", WindowSource(longest, "window")};
    const std::tuple<Source, int32_t, std::string> seconds[] = {
        {{lib, "w_m", PBORCA_WINDOW, "", "global type w_m from window\r\n"},
         PBORCA_COMPERROR,
         "Entry w_m.srw: "},
        {{lib, tooLong, PBORCA_WINDOW, "", WindowSource(tooLong, "window")},
         PBORCA_INVALIDNAME,
         "Entry " + tooLong + ".srw cannot be stored in library " + lib + ": "}};
    for (const auto& [second, result, says] : seconds) {
        std::vector<Problem> problems;
        EXPECT_EQ(ImportList(orca, {good, second}, &problems), result);
        EXPECT_EQ(orca.Error().rfind(says, 0), 0u) << orca.Error();
        EXPECT_TRUE(orca.Error().ends_with(" (nothing was imported)")) << orca.Error();
        EXPECT_EQ(Bytes("a.pbl"), before);
    }
    std::vector<Problem> problems;
    ASSERT_EQ(ImportList(orca, {good}, &problems), PBORCA_OK) << orca.Error();
    EXPECT_NE(Load(Host("a.pbl"))->Find(longest + ".srw"), nullptr);
}

TEST_F(OrcaApiTest, CopyMoveAndDeleteTakeBothForms) {
    const std::string a = MakeLibrary("a.pbl", {"w_a", "w_b"}), b = Lib("b.pbl");
    ASSERT_EQ(Create("b.pbl"), PBORCA_OK);
    // One directory record per object: the source's comment and time, the compiled size.
    for (const DirRecord& r : Directory(orca, a))
        EXPECT_EQ(std::tie(r.comment, r.time, r.size),
                  std::make_tuple(std::string("note"), 1133466869, 1503));
    const auto before = Load(Host("a.pbl"));
    ASSERT_EQ(PBORCA_LibraryEntryCopy(orca, a.c_str(), b.c_str(), "w_a", PBORCA_WINDOW), PBORCA_OK)
        << orca.Error();
    const auto copied = Load(Host("b.pbl"));
    for (const char* name : {"w_a.srw", "w_a.win"}) {
        ASSERT_NE(copied->Find(name), nullptr) << name;
        EXPECT_TRUE(pbltest::Fields(*copied->Find(name)) == pbltest::Fields(*before->Find(name)));
    }
    ASSERT_EQ(PBORCA_LibraryEntryMove(orca, a.c_str(), b.c_str(), "w_b", PBORCA_WINDOW), PBORCA_OK);
    EXPECT_EQ(Load(Host("a.pbl"))->Entries().size(), 2u);
    EXPECT_EQ(Load(Host("b.pbl"))->Entries().size(), 4u);
    ASSERT_EQ(Delete(b, "w_a"), PBORCA_OK);
    EXPECT_EQ(Load(Host("b.pbl"))->Find("w_a.win"), nullptr);
    EXPECT_EQ(Delete(b, "w_a"), PBORCA_OBJNOTFOUND);
    const auto unknown = static_cast<PBORCA_TYPE>(11);
    EXPECT_EQ(PBORCA_LibraryEntryCopy(orca, a.c_str(), b.c_str(), "w_a", unknown),
              PBORCA_INVALIDPARMS);
    EXPECT_EQ(orca.Error(), "Entry w_a: unknown entry type 11");
}

TEST_F(OrcaApiTest, MissingAndCorruptLibrariesGiveErrorsNotCrashes) {
    int32_t rc = 0;
    Directory(orca, "c:\\a\\b.pbl", &rc);
    EXPECT_EQ(rc, PBORCA_BADLIBRARY);
    EXPECT_EQ(orca.Error(), "Library c:\\a\\b.pbl does not exist");
    MakeLibrary("good.pbl", {"w_a", "w_b"});
    const std::string good = Bytes("good.pbl");
    // The reader's own table covers every kind of damage; here, that its error reaches
    // the caller and nothing is written.
    std::string utf16 = good;
    utf16.replace(4, 4, std::string("P\0o\0", 4));
    const std::string images[] = {"", "HDR*", good.substr(0, good.size() / 2),
                                  std::string(4096, '\0'), utf16};
    for (const std::string& image : images) {
        const std::string file = "bad.pbl", lib = Lib(file);
        testsupport::WriteFile(Host(file), image);
        SCOPED_TRACE(image.size());
        std::string text;
        Directory(orca, lib, &rc);
        EXPECT_LT(rc, 0);
        EXPECT_LT(Export(orca, lib, "w_a", PBORCA_WINDOW, &text), 0);
        EXPECT_EQ(orca.Error().rfind("Library " + lib + ": ", 0), 0u) << orca.Error();
        EXPECT_EQ(ImportWindow(lib, "w_x"), PBORCA_LIBIOERROR);
        EXPECT_EQ(Bytes(file), image);
    }
    EXPECT_EQ(PBORCA_LibraryDirectory(reinterpret_cast<HPBORCA>(0x1234), "c:\\x.pbl", nullptr, 0,
                                      nullptr, nullptr),
              PBORCA_INVALIDPARMS);
}

TEST_F(OrcaApiTest, FailedWritesLeaveTheLibraryAsItWas) {
    fs::create_directories(prefix / "lib");
    const std::string lib = MakeLibrary("lib/a.pbl", {"w_a", "w_b"}), before = Bytes("lib/a.pbl");
    orca::LibraryLock::FailNextCommitAfter(700);  // the disk fills up during the write
    EXPECT_EQ(ImportWindow(lib, "w_c"), PBORCA_LIBIOERROR);
    orca::LibraryLock::FailNextCommitAfter(-1);
    EXPECT_EQ(orca.Error().rfind("Library " + lib + ": cannot be written (", 0), 0u)
        << orca.Error();
    EXPECT_NE(orca.Error().find(Host("lib/a.pbl")), std::string::npos) << orca.Error();
    EXPECT_TRUE(orca.Error().ends_with("); it is unchanged")) << orca.Error();
    EXPECT_EQ(Bytes("lib/a.pbl"), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(prefix / "lib"), fs::directory_iterator()), 1);
    if (geteuid() != 0) {  // permissions do not stop root
        ::chmod((prefix / "lib").c_str(), 0555);
        EXPECT_EQ(Delete(lib, "w_a"), PBORCA_LIBIOERROR);
        ::chmod((prefix / "lib").c_str(), 0755);
        EXPECT_EQ(Bytes("lib/a.pbl"), before);
    }
    EXPECT_EQ(Create("missing/dir/x.pbl"), PBORCA_LIBIOERROR);
    EXPECT_NE(orca.Error().find("x.pbl"), std::string::npos);
}

// No C++ exception leaves a call: one thrown by a callback (memory running out, any
// other) fails the call with a text that says so, changes nothing, and the session and
// its directory pass go on as before.
TEST_F(OrcaApiTest, ExceptionsStayInsideTheCall) {
    const std::string lib = MakeLibrary("a.pbl", {"w_a", "w_b"}), before = Bytes("a.pbl");
    const std::string broken = "global type w_a from window\r\n";
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
        EXPECT_EQ(Bytes("a.pbl"), before);
        std::string text;
        EXPECT_EQ(Export(orca, lib, "w_b", PBORCA_WINDOW, &text), PBORCA_OK) << orca.Error();
        EXPECT_EQ(Directory(orca, lib).size(), 2u);
    }
}

TEST_F(OrcaApiTest, DirectoryAndExportsParseTheLibraryOnce) {
    const std::string lib = MakeLibrary("a.pbl", {"w_a", "w_b", "w_c"});
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
    ASSERT_EQ(Delete(lib, "w_b"), PBORCA_OK);
    EXPECT_EQ(Directory(orca, lib).size(), 1u);

    // A change made from inside a directory pass is seen by the rest of the pass.
    struct Pass {
        HPBORCA s;
        std::string lib;
        std::vector<int32_t> results;
    } pass{orca, MakeLibrary("p.pbl", {"w_a", "w_b"}), {}};
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

// Calls made from inside a directory pass give what the same calls give outside it,
// on the object being reported (its name in any case) and on any other object.
TEST_F(OrcaApiTest, CallsFromInsideAPassGiveWhatTheyGiveOutside) {
    const std::string lib = MakeLibrary("a.pbl", {"w_a", "w_b", "w_c"});
    auto describe = [](HPBORCA s, const std::string& library, const std::string& name) {
        std::string text;
        const int32_t rc = Export(s, library, name, PBORCA_WINDOW, &text);
        PBORCA_ENTRYINFO info{};
        const int32_t infoRc =
            PBORCA_LibraryEntryInformation(s, library.c_str(), name.c_str(), PBORCA_WINDOW, &info);
        return std::to_string(rc) + "|" + text + "|" + std::to_string(infoRc) + "|" +
               info.szComment + "|" + std::to_string(info.lSourceSize) + "|" +
               std::to_string(info.lObjectSize) + "|" + std::to_string(info.lCreateTime);
    };
    std::map<std::string, std::string> outside;
    for (const char* name : {"w_a", "w_b", "w_c", "W_B", "w_none"})
        outside[name] = describe(orca, lib, name);
    EXPECT_NE(outside["w_b"], outside["w_a"]);
    EXPECT_EQ(outside["W_B"], outside["w_b"]);

    struct Pass {
        HPBORCA s;
        std::string lib;
        decltype(describe)& ask;
        std::vector<std::pair<std::string, std::string>> seen;  // name asked, what it gave
    };
    Orca fresh;  // its pass parses the library itself
    Pass pass{fresh, lib, describe, {}};
    auto onEntry = [](PBORCA_DIRENTRY* e, void* user) {
        auto* p = static_cast<Pass*>(user);
        std::string upper = e->lpszEntryName;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (const std::string& name :
             {std::string(e->lpszEntryName), upper, std::string("w_a"), std::string("w_none")})
            p->seen.emplace_back(name, p->ask(p->s, p->lib, name));
    };
    ASSERT_EQ(PBORCA_LibraryDirectory(fresh, lib.c_str(), nullptr, 0, onEntry, &pass), PBORCA_OK);
    ASSERT_EQ(pass.seen.size(), 12u);
    for (const auto& [name, got] : pass.seen) {
        std::string lower = name;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(got, outside[lower]) << name;
    }
}

// Whatever stands where a library should be and is not a file is refused at once: a
// folder, and a named pipe (which a plain open would wait on for ever).
TEST_F(OrcaApiTest, WhatIsNotAFileIsRefusedWithoutWaiting) {
    fs::create_directory(Host("folder.pbl"));
    ASSERT_EQ(::mkfifo(Host("pipe.pbl").c_str(), 0600), 0);
    for (const char* name : {"folder.pbl", "pipe.pbl"}) {
        Orca s;
        int32_t rc = PBORCA_OK;
        EXPECT_TRUE(Directory(s, Lib(name), &rc).empty());
        EXPECT_EQ(rc, PBORCA_BADLIBRARY) << name;
        EXPECT_NE(s.Error().find("is not a file"), std::string::npos) << s.Error();
    }
}

// Library images are read into buffers that earlier libraries used: a library shorter
// than its directory says is corrupt however long the buffer it is read into.
TEST_F(OrcaApiTest, AShortLibraryIsCorruptWhateverBufferItIsReadInto) {
    std::vector<std::string> windows;
    for (int i = 0; i < 40; ++i)
        windows.push_back("w_" + std::to_string(i));
    const std::string whole = MakeLibrary("whole.pbl", windows);
    const std::string bytes = Bytes("whole.pbl");
    testsupport::WriteFile(Host("short.pbl"), bytes.substr(0, bytes.size() - 2 * 512));
    for (int round = 0; round < 3; ++round) {
        Orca s;
        int32_t rc = PBORCA_OK;
        EXPECT_EQ(Directory(s, whole, &rc).size(), windows.size());
        EXPECT_EQ(rc, PBORCA_OK);
    }  // each session's buffer goes back for the next read
    Orca s;
    int32_t rc = PBORCA_OK;
    EXPECT_TRUE(Directory(s, Lib("short.pbl"), &rc).empty());
    EXPECT_EQ(rc, PBORCA_LIBIOERROR);
    EXPECT_NE(s.Error().find("corrupt library"), std::string::npos) << s.Error();
    EXPECT_EQ(Directory(s, whole, &rc).size(), windows.size());
}

TEST_F(OrcaApiTest, LibraryListCurrentApplicationAndHierarchy) {
    const std::string one = Lib("one.pbl"), two = Lib("two.pbl");
    ASSERT_EQ(Create("one.pbl"), PBORCA_OK);
    ASSERT_EQ(Create("two.pbl"), PBORCA_OK);
    const std::tuple<std::string, std::string, std::string> windows[] = {{one, "w_base", "window"},
                                                                         {two, "w_mid", "W_Base"},
                                                                         {two, "w_leaf", "w_mid"},
                                                                         {one, "W_Loop", "w_ring"},
                                                                         {one, "w_ring", "w_loop"}};
    for (const auto& [lib, name, ancestor] : windows)
        ASSERT_EQ(ImportWindow(lib, name, ancestor), PBORCA_OK);
    const std::string app = "global type sales from application\r\nend type\r\n";
    ASSERT_EQ(Import(orca, one, "sales", PBORCA_APPLICATION, "", app), PBORCA_OK) << orca.Error();

    // The result of the hierarchy query and the ancestors it reports, nearest first.
    auto ancestors = [&](const std::string& lib, const char* name) {
        std::string out;
        auto collect = [](PBORCA_HIERARCHY* h, void* user) {
            *static_cast<std::string*>(user) += std::string(" ") + h->lpszAncestorName;
        };
        const int32_t rc =
            PBORCA_ObjectQueryHierarchy(orca, lib.c_str(), name, PBORCA_WINDOW, collect, &out);
        return std::to_string(rc) + ":" + out;
    };
    EXPECT_EQ(ancestors(two, "w_leaf"), std::to_string(PBORCA_LIBLISTNOTSET) + ":");
    EXPECT_EQ(orca.Error(), "Hierarchy of w_leaf.srw: the library list is not set");
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, one.c_str(), "sales"), PBORCA_LIBLISTNOTSET);
    ASSERT_EQ(SetList({two, one}), PBORCA_OK);
    EXPECT_EQ(ancestors(two, "w_leaf"), "0: w_mid w_base");
    EXPECT_EQ(ancestors(one, "w_base"), std::to_string(PBORCA_OBJHASNOANCS) + ":");
    // A cycle ends where it comes back to the object, whatever case each side spells.
    EXPECT_EQ(ancestors(one, "W_Loop"), "0: w_ring");

    std::vector<std::string> refs;
    auto collectRef = [](PBORCA_REFERENCE* r, void* user) {
        static_cast<std::vector<std::string>*>(user)->push_back(r->lpszEntryName);
    };
    EXPECT_EQ(
        PBORCA_ObjectQueryReference(orca, two.c_str(), "w_leaf", PBORCA_WINDOW, collectRef, &refs),
        PBORCA_OK);
    EXPECT_EQ(refs, std::vector<std::string>{"w_mid"});

    EXPECT_EQ(SetList({"c:\\nowhere\\x.pbl"}), PBORCA_BADLIBRARY);
    EXPECT_EQ(orca.Error(), "Library c:\\nowhere\\x.pbl does not exist");
    ASSERT_EQ(Create("three.pbl"), PBORCA_OK);
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, Lib("three.pbl").c_str(), "sales"),
              PBORCA_LIBNOTINLIST);
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, one.c_str(), "sales"), PBORCA_OK) << orca.Error();
    EXPECT_EQ(PBORCA_SessionSetCurrentAppl(orca, one.c_str(), "sales"), PBORCA_DUPOPERATION);
}

TEST_F(OrcaApiTest, CheckOutListAndCheckIn) {
    const std::string app = MakeLibrary("app.pbl", {"w_a", "w_b"}), check = Lib("check.pbl");
    ASSERT_EQ(Create("check.pbl", "Check out library"), PBORCA_OK);
    auto checkOut = [&](const char* name, const char* user) {
        return PBORCA_CheckOutEntry(orca, name, app.c_str(), check.c_str(), user, PBORCA_WINDOW, 1);
    };
    auto checkIn = [&](const char* name) {
        return PBORCA_CheckInEntry(orca, name, check.c_str(), app.c_str(), "x", PBORCA_WINDOW, 1);
    };
    // Each record as "entry library user mode"; the result when it is not PBORCA_OK.
    auto list = [&](const std::string& lib) {
        std::vector<std::string> records;
        auto collect = [](PBORCA_CHECKOUT* c, void* user) {
            static_cast<std::vector<std::string>*>(user)->push_back(std::string(c->lpszEntryName) +
                                                                    " " + c->lpszLibraryName + " " +
                                                                    c->lpszUserID + " " + c->cMode);
        };
        if (const int32_t rc = PBORCA_ListCheckOutEntries(orca, lib.c_str(), collect, &records))
            records.push_back(std::to_string(rc));
        return records;
    };
    ASSERT_EQ(checkOut("w_a", "jdoe"), PBORCA_OK) << orca.Error();
    EXPECT_EQ(checkOut("w_a", "ann"), PBORCA_CHECKOUTERROR);
    EXPECT_EQ(orca.Error(),
              "Entry w_a.srw in library " + app + " is checked out already by jdoe to " + check);
    EXPECT_EQ(list(app), std::vector<std::string>{"w_a.srw " + check + " jdoe d"});
    EXPECT_EQ(list(check), std::vector<std::string>{"w_a.srw " + app + " jdoe s"});

    // Work on the copy, then check it in; the working copy leaves check.pbl.
    ASSERT_EQ(ImportWindow(check, "w_a", "window", "edited"), PBORCA_OK);
    const auto untouched = Load(Host("app.pbl"))->Find("w_b.win")->data;
    EXPECT_EQ(checkIn("w_b"), PBORCA_CHECKOUTERROR);
    ASSERT_EQ(checkIn("w_a"), PBORCA_OK) << orca.Error();
    const auto after = Load(Host("app.pbl"));
    EXPECT_EQ(after->Find("w_a.srw")->Comment(), "edited");
    EXPECT_EQ(after->Find("w_a.win"), nullptr);  // the compiled form went with the edit
    EXPECT_EQ(after->Find("w_b.win")->data, untouched);
    EXPECT_TRUE(after->SourceControlData().empty());
    EXPECT_TRUE(Load(Host("check.pbl"))->Entries().empty());
    EXPECT_TRUE(list(app).empty());

    // Source-control data in an encoding of another tool is reported and kept.
    auto foreign = Load(Host("app.pbl"));
    foreign->SetSourceControlData("SCC*\x01\x02 not ours");
    Save(*foreign, "app.pbl");
    const std::string before = Bytes("app.pbl");
    EXPECT_EQ(list(app), std::vector<std::string>{std::to_string(PBORCA_CHECKOUTERROR)});
    EXPECT_EQ(checkOut("w_b", "jdoe"), PBORCA_CHECKOUTERROR);
    EXPECT_EQ(Bytes("app.pbl"), before);
}

TEST_F(OrcaApiTest, ExecutableAndDynamicLibrary) {
    const std::string l0 = MakeLibrary("app.pbl", {"w_a"}, true);
    const std::string l1 = MakeLibrary("common.pbl", {"w_c"});
    ASSERT_EQ(SetList({l0, l1}), PBORCA_OK);
    std::vector<std::string> linkErrors;
    EXPECT_EQ(Executable({0, 1}, &linkErrors), PBORCA_CURRAPPLNOTSET);
    ASSERT_EQ(PBORCA_SessionSetCurrentAppl(orca, l0.c_str(), "sales"), PBORCA_OK);
    EXPECT_EQ(Executable({0, 1}, &linkErrors, 1), PBORCA_PBDCOUNTERROR);
    ASSERT_EQ(Executable({0, 1}, &linkErrors), PBORCA_OK) << orca.Error();
    EXPECT_TRUE(linkErrors.empty());
    const std::string image = Bytes("sales.exe");
    ASSERT_TRUE(image.size() >= 1024u && image.size() % 512 == 0) << image.size();
    EXPECT_EQ(image.substr(image.size() - 512, 8), std::string("TRL*\0\0\0\0", 8));
    std::string error;
    auto linked =
        orca::PblLibrary::Parse(std::string_view(image).substr(0, image.size() - 512), &error);
    ASSERT_TRUE(linked) << error;
    ASSERT_EQ(linked->Entries().size(), 2u);
    EXPECT_EQ(linked->Entries()[0].name + " " + linked->Entries()[1].name, "sales.apl w_a.win");
    auto pbd = Load(Host("common.pbd"));
    ASSERT_TRUE(pbd && pbd->Entries().size() == 1u);
    EXPECT_EQ(pbd->Entries()[0].name, "w_c.win");

    // An object without its compiled form stops the link; nothing is written.
    ASSERT_EQ(ImportWindow(l1, "w_new"), PBORCA_OK);
    fs::remove(Host("sales.exe"));
    EXPECT_EQ(Executable({0, 0}, &linkErrors), PBORCA_LINKERROR);
    ASSERT_EQ(linkErrors.size(), 1u);
    EXPECT_NE(linkErrors[0].find("w_new"), std::string::npos);
    EXPECT_FALSE(fs::exists(Host("sales.exe")));
    EXPECT_EQ(PBORCA_DynamicLibraryCreate(orca, l0.c_str(), "", 0), PBORCA_OK) << orca.Error();
    EXPECT_TRUE(fs::exists(Host("app.pbd")));
}

// A name of 300 bytes: the reader takes it from a library another program wrote, but no
// library of ours may store it. Every call that would put such an entry into a library,
// a dynamic library or an executable fails, names the entry and writes nothing.
TEST_F(OrcaApiTest, EntriesNoLibraryCanHoldFailAndWriteNothing) {
    const std::string longName = "w_" + std::string(298, 'x');
    const char* name = longName.c_str();
    MakeLibrary("long.pbl", {"w_l", "w_ok"}, true);
    testsupport::WriteFile(
        Host("long.pbl"),
        pbltest::RenameEntries(Bytes("long.pbl"),
                               {{"w_l.srw", longName + ".srw"}, {"w_l.win", longName + ".win"}}));
    const std::string src = Lib("long.pbl"), dst = MakeLibrary("t.pbl", {"w_t"});
    const std::string srcBefore = Bytes("long.pbl");
    std::string dstBefore = Bytes("t.pbl");
    const auto dir = Directory(orca, src);
    ASSERT_EQ(dir.size(), 3u) << orca.Error();
    EXPECT_EQ(dir[2].name, longName);
    auto expectRefused = [&](int32_t rc, int32_t expected, const char* call) {
        EXPECT_EQ(rc, expected) << call;
        EXPECT_NE(orca.Error().find("longer than 255 bytes"), std::string::npos)
            << call << ": " << orca.Error();
        EXPECT_TRUE(Bytes("long.pbl") == srcBefore) << call;
        EXPECT_TRUE(Bytes("t.pbl") == dstBefore) << call;
        EXPECT_FALSE(fs::exists(Host("sales.exe")) || fs::exists(Host("long.pbd"))) << call;
    };
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
    auto t = Load(Host("t.pbl"));
    t->SetSourceControlData(orca::EncodeSccData({{src, longName + ".srw", "ann", 'd'}}));
    Save(*t, "t.pbl");
    dstBefore = Bytes("t.pbl");
    expectRefused(
        PBORCA_CheckInEntry(orca, name, src.c_str(), dst.c_str(), "ann", PBORCA_WINDOW, 1),
        PBORCA_INVALIDNAME, "check-in");

    // The compiled form cannot go into a dynamic library or an executable either.
    expectRefused(PBORCA_DynamicLibraryCreate(orca, src.c_str(), "", 0), PBORCA_PBDCREATERROR,
                  "dynamic library");
    ASSERT_EQ(SetList({src}), PBORCA_OK);
    ASSERT_EQ(PBORCA_SessionSetCurrentAppl(orca, src.c_str(), "sales"), PBORCA_OK);
    for (int32_t flag : {0, 1}) {
        std::vector<std::string> linkErrors;
        expectRefused(Executable({flag}, &linkErrors), PBORCA_LINKERROR,
                      flag ? "executable with dynamic library" : "executable");
        ASSERT_EQ(linkErrors.size(), 1u);
        EXPECT_NE(linkErrors[0].find(longName + ".win cannot be stored"), std::string::npos)
            << linkErrors[0];
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
    std::vector<std::string> calls;
    for (std::string name; names >> name;)
        calls.push_back("PBORCA_" + name);
    ASSERT_EQ(calls.size(), 25u);
    const std::pair<const char*, std::string> libraries[] = {
        {SORVANTI_PBORC040, "0400"}, {SORVANTI_PBORC050, "0500"}, {SORVANTI_PBORC60, "0600"}};
    testsupport::TempDir dir;
    const char* saved = std::getenv("SORVANTI_PREFIX");
    const std::string savedText = saved ? saved : "";
    ::setenv("SORVANTI_PREFIX", (dir / "environment").c_str(), 1);
    for (const auto& [path, format] : libraries) {
        void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        for (const std::string& name : calls)
            EXPECT_NE(dlsym(module, name.c_str()), nullptr) << path << name;
        EXPECT_EQ(dlsym(module,
                        "_ZN4orca7Session4FailEiNSt7__cxx1112basic_stringIcSt11char_"
                        "traitsIcESaIcEEE"),
                  nullptr);  // nothing but the calls leaves the library
#define BIND(call) reinterpret_cast<decltype(&call)>(dlsym(module, #call))
        const auto open = BIND(PBORCA_SessionOpen);
        const auto close = BIND(PBORCA_SessionClose);
        const auto create = BIND(PBORCA_LibraryCreate);
        const auto setPrefix = BIND(SorvantiOrca_SetPrefix);
#undef BIND
        ASSERT_NE(setPrefix, nullptr);
        ASSERT_EQ(setPrefix((dir / "given").c_str()), PBORCA_OK);
        HPBORCA session = open();
        ASSERT_NE(session, nullptr);
        const std::string lib = "c:\\" + format + ".pbl", file = "/drive_c/" + format + ".pbl";
        EXPECT_EQ(create(session, lib.c_str(), "versioned"), PBORCA_OK);
        EXPECT_EQ(Load(dir / ("given" + file))->Format(), format);
        EXPECT_FALSE(fs::exists(dir / ("environment" + file)));
        // Without a prefix named, the environment's.
        ASSERT_EQ(setPrefix(nullptr), PBORCA_OK);
        EXPECT_EQ(create(session, lib.c_str(), ""), PBORCA_OK);
        EXPECT_TRUE(fs::exists(dir / ("environment" + file)));
        close(session);
        dlclose(module);
    }
    saved ? ::setenv("SORVANTI_PREFIX", savedText.c_str(), 1) : ::unsetenv("SORVANTI_PREFIX");
}

}  // namespace
