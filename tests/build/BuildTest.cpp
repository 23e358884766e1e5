// Writing back through the real ORCA library: the entries a compile run takes and their
// order, regenerate and rebuild with their backup and restore, Save All Changes (also of
// entries no hierarchy reaches), executables and dynamic libraries, check-out and check-in,
// and a round trip of a replace over a PFC application.

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <map>
#include <numeric>

#include "build/CheckOut.h"
#include "build/Executable.h"
#include "build/Rebuild.h"
#include "build/Replicate.h"
#include "orca/PblLibrary.h"
#include "orca/TextBridge.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "tests/catalogue/CatalogueTestSupport.h"
#include "tests/support/PfcWorkspace.h"

namespace {

using cattest::Entry;
using cattest::Obj;
using cattest::SourceOf;
using cattest::Win;
using testing::ElementsAre;

class BuildTest : public cattest::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        MakeLibrary("c:\\tmp\\temp.pbl", {});
        shell::OptionsForm().TempLibrary = "c:\\tmp\\temp.pbl";
    }
    // "L->N" of every status line of a compile, in order.
    std::vector<std::string> Compiled() const {
        std::vector<std::string> out;
        for (const std::string& s : screen.statusTexts)
            for (std::string_view verb : {"Regenerating ", "Rebuilding "})
                if (s.rfind(verb, 0) == 0)
                    out.push_back(s.substr(s.rfind('\\') + 1));
        return out;
    }
    static std::vector<std::string> Names(const std::vector<catalogue::TPBObjRef*>& refs) {
        std::vector<std::string> out;
        for (const catalogue::TPBObjRef* r : refs)
            out.push_back(r->Obj->Name);
        return out;
    }
    std::string Exported(const std::string& lib, const std::string& name,
                         int type = PBORCA_WINDOW) {
        std::vector<char> buffer(1 << 20);
        if (Mgr().GetSession().EntryExport(lib, name, type, buffer.data(),
                                           static_cast<int32_t>(buffer.size())) != PBORCA_OK)
            return "(missing)";
        return buffer.data();
    }
    void RoundTrip(const testsupport::PfcWorkspace& ws);
};

TEST_F(BuildTest, CompileRunsTakeLibrariesEntriesAndHierarchiesInOrder) {
    MakeLibrary("c:\\b\\one.pbl", {Win("w_b", "w_a"), Win("w_a")});
    MakeLibrary("c:\\b\\two.pbl",
                {Win("w_c", "w_b"), Obj("n_x", PBORCA_USEROBJECT, "nonvisualobject")});
    catalogue::TPBApp* app = LoadApp("c:\\b\\one.pbl;c:\\b\\two.pbl");
    EXPECT_THAT(Names(build::EntriesOfApp(*app)), ElementsAre("w_a", "w_b", "n_x", "w_c"));
    // The hierarchy from "System": ancestors first, "System" and the system classes not.
    EXPECT_THAT(Names(build::EntriesOfBranch(*app->SystemRoot)),
                ElementsAre("w_a", "w_b", "w_c", "n_x"));

    const build::TCompileCount done = build::CompileEntries(build::EntriesOfApp(*app), true);
    EXPECT_EQ(done.Compiled, 4);
    EXPECT_THAT(Compiled(),
                ElementsAre("one.pbl->w_a", "one.pbl->w_b", "two.pbl->n_x", "two.pbl->w_c"));
    EXPECT_FALSE(build::CompileInProgress());

    // A second click clears the run flag: the run stops before its next entry.
    screen.statusTexts.clear();
    screen.onProcessMessages = [] { catalogue::SetRunFlag(false); };
    EXPECT_TRUE(build::CompileEntries(build::EntriesOfApp(*app), false).Stopped);
    EXPECT_TRUE(Compiled().empty());
}

TEST_F(BuildTest, SearchHitsCompileEachObjectOnceAndStopWithoutAMasterApplication) {
    MakeLibrary("c:\\s\\s.pbl", {Win("w_one"), Win("w_two")});
    catalogue::TPBApp* app = LoadApp("c:\\s\\s.pbl");
    std::vector<search::TSearchResult> hits;
    for (const char* name : {"w_one", "w_one", "w_one", "w_two"}) {
        search::TSearchResult r;
        r.Lib = Mgr().FindLibrary("c:\\s\\s.pbl");
        r.EntryName = name;
        r.EntryType = PBORCA_WINDOW;
        r.AppKey = std::make_shared<const std::string>(app->AppKey());
        hits.push_back(r);
    }
    bool noMaster = true;
    std::vector<int> rows(4);
    std::iota(rows.begin(), rows.end(), 0);
    EXPECT_THAT(Names(build::EntriesOfHits(hits, rows, &noMaster)), ElementsAre("w_one", "w_two"));
    EXPECT_FALSE(noMaster);
    // A line found through no application ends the walk, chosen or not.
    hits.insert(hits.begin() + 3, hits[0]);
    hits[3].AppKey.reset();
    EXPECT_THAT(Names(build::EntriesOfHits(hits, std::vector<int>{0, 4}, &noMaster)),
                ElementsAre("w_one"));
    EXPECT_TRUE(noMaster);
}

TEST_F(BuildTest, AFailedRebuildRestoresTheEntryAndKeepsTheEdit) {
    MakeLibrary("c:\\r\\r.pbl", {Win("w_r")});
    catalogue::TPBApp* app = LoadApp("c:\\r\\r.pbl");
    catalogue::TPBObjRef* ref = Ref(app, "w_r");
    const std::string before = Exported("c:\\r\\r.pbl", "w_r");
    ref->Obj->GetSource();
    ref->Obj->Source = "global type w_r from window\r\nend forward\r\n" + std::string(1, '\0');
    ref->Obj->Modified = true;
    EXPECT_FALSE(build::RebuildEntry(*ref));
    EXPECT_TRUE(ref->Obj->Modified);
    EXPECT_EQ(Exported("c:\\r\\r.pbl", "w_r"), before);
    EXPECT_EQ(LogWith("Error importing c:\\r\\r.pbl:w_r").size(), 1u);
    EXPECT_FALSE(LogWith("Compile error level:1;  Message #:").empty());

    // A good edit goes in and clears the mark.
    ref->Obj->Source = SourceOf("w_r", PBORCA_WINDOW, "window", "// edited\r\n") + '\0';
    EXPECT_TRUE(build::RebuildEntry(*ref));
    EXPECT_FALSE(ref->Obj->Modified);
    EXPECT_NE(Exported("c:\\r\\r.pbl", "w_r").find("// edited"), std::string::npos);

    // No compile without a backup of its own: no temporary library, or the library itself.
    ref->Obj->Modified = true;
    for (const char* temp : {"c:\\tmp\\missing.pbl", "C:\\R\\R.PBL"}) {
        shell::OptionsForm().TempLibrary = temp;
        ClearLog();
        EXPECT_FALSE(build::RebuildEntry(*ref));
        EXPECT_EQ(LogWith("Not compiled: c:\\r\\r.pbl->w_r").size(), 1u) << temp;
        EXPECT_TRUE(ref->Obj->Modified);
    }
}

TEST_F(BuildTest, CompileErrorLinesReadWordForWord) {
    char number[] = "0110", text[] = "end type expected";
    const PBORCA_COMPERR error{1, number, text, 3, 17};
    EXPECT_EQ(build::CompileErrorLine(error),
              "Compile error level:1;  Message #:0110;  Message:end type expected;  Column:3;  "
              "Line:17");
}

TEST_F(BuildTest, SaveAllChangesWritesEveryEditIncludingThoseNoHierarchyReaches) {
    MakeLibrary("c:\\a\\a.pbl", {Win("w_h"), Win("w_k")});
    MakeLibrary("c:\\loose\\loose.pbl", {Win("w_loose")});
    catalogue::TPBApp* app = LoadApp("c:\\a\\a.pbl");
    const auto edit = [](catalogue::TPBObj* obj, const std::string& mark) {
        obj->GetSource();
        obj->Source = SourceOf(obj->Name, PBORCA_WINDOW, "window", "// " + mark + "\r\n") + '\0';
        obj->Modified = true;
    };
    edit(Ref(app, "w_h")->Obj, "one");
    catalogue::TPBLib* loose = Mgr().FindLibrary("c:\\loose\\loose.pbl");
    loose->EnsureLoaded();
    edit(loose->Entries[0], "two");  // an entry of the Directory page, in no application
    const build::TSaveCount saved = build::SaveAllChanges(Mgr());
    EXPECT_EQ(saved.Saved, 2);
    EXPECT_EQ(saved.Failed, 0);
    EXPECT_NE(Exported("c:\\a\\a.pbl", "w_h").find("// one"), std::string::npos);
    EXPECT_NE(Exported("c:\\loose\\loose.pbl", "w_loose").find("// two"), std::string::npos);
    EXPECT_EQ(Exported("c:\\a\\a.pbl", "w_k").find("//"), std::string::npos);
    EXPECT_EQ(LogWith("Save All Changes: 2 saved, 0 failed.").size(), 1u);
}

TEST_F(BuildTest, ExecutablesAndDynamicLibrariesAreNamedAfterTheirLibraries) {
    MakeLibrary("c:\\apps\\sales\\sales.pbl", {Obj("app", PBORCA_APPLICATION, "application")});
    MakeLibrary("c:\\apps\\sales\\common.pbl", {Win("w_common")});
    catalogue::TPBApp* app = LoadApp("c:\\apps\\sales\\sales.pbl;c:\\apps\\sales\\common.pbl");
    ASSERT_EQ(app->Name, "app");
    EXPECT_EQ(build::DefaultExecutableName(*app), "c:\\apps\\sales\\app.exe");
    // Our libraries hold no compiled forms (only PowerBuilder compiles): the older
    // executable is gone all the same, and each link error is a log line.
    testsupport::WriteFile(prefix.DriveC() + "/apps/sales/app.exe", "old");
    EXPECT_FALSE(build::CreateExecutable(*app));
    EXPECT_FALSE(platform::FileExists("c:\\apps\\sales\\app.exe"));
    EXPECT_EQ(LogWith("has no compiled form").size(), 3u);  // two link errors, ORCA's failure
    EXPECT_THAT(screen.statusTexts,
                testing::Contains("Creating Executable c:\\apps\\sales\\app.exe"));
    EXPECT_EQ(screen.LastStatus(), "Ready.");

    EXPECT_FALSE(build::CreateDynamicLibrary(*app->LibRef(1)));
    EXPECT_THAT(screen.statusTexts,
                testing::Contains("Creating Dynamic Library c:\\apps\\sales\\common.pbd"));
    EXPECT_EQ(LogWith("Orca Error: Create Dynamic Library c:\\apps\\sales\\common.pbl: ").size(),
              1u);
}

TEST_F(BuildTest, CheckInKeepsTheWorkWhenItFailsAndTheListIsLogged) {
    MakeLibrary("c:\\c\\lib.pbl", {Win("w_c")});
    MakeLibrary(std::string(build::CheckInLibrary), {});
    catalogue::TPBApp* app = LoadApp("c:\\c\\lib.pbl");
    catalogue::TPBObjRef* ref = Ref(app, "w_c");
    // Not checked out yet: the check-in fails, and nothing is deleted.
    MakeLibrary(std::string(build::CheckInLibrary), {Win("w_c")});
    EXPECT_FALSE(build::CheckInEntry(*ref));
    EXPECT_NE(Exported(std::string(build::CheckInLibrary), "w_c"), "(missing)");

    Remove(std::string(build::CheckInLibrary), "w_c", PBORCA_WINDOW);
    ASSERT_TRUE(build::CheckOutEntry(*ref, build::CheckInLibrary, "alice"));
    std::vector<build::TCheckedOut> out;
    ClearLog();
    ASSERT_TRUE(build::ListCheckOutEntries(*app->LibRef(0), &out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].User, "alice");
    EXPECT_EQ(LogWith("Checked out: w_c").size(), 1u);
    EXPECT_TRUE(build::CheckInEntry(*ref));
    EXPECT_EQ(Exported(std::string(build::CheckInLibrary), "w_c"), "(missing)");
}

// Entries go only between libraries of one kind: an entry of a Unicode library is backed
// up in the ANSI Temporary Library's Unicode companion, created once (by the Unicode ORCA
// library, the loaded one being ANSI), and checked out into and in from the companion of
// the ANSI check-out library.
TEST_F(BuildTest, EntriesOfUnicodeLibrariesUseCompanionLibrariesOfTheirKind) {
    // Preferences now name PB10+, but the ORCA library loaded at the start stays ANSI.
    shell::OptionsForm().PBVersion.ItemIndex = 3;
    std::string error;
    platform::ForceDirectories("c:\\u");
    ASSERT_TRUE(catalogue::CreateLibraryOfKind("c:\\u\\u.pbl", "wide", true, &error)) << error;
    Put("c:\\u\\u.pbl", {Win("w_u")});
    catalogue::TPBObjRef* ref = Ref(LoadApp("c:\\u\\u.pbl"), "w_u");
    const std::string before = Exported("c:\\u\\u.pbl", "w_u");
    ref->Obj->GetSource();
    ref->Obj->Source = "global type w_u from window\r\nend forward\r\n" + std::string(1, '\0');
    EXPECT_FALSE(build::RebuildEntry(*ref));  // restored from the companion
    EXPECT_EQ(Exported("c:\\u\\u.pbl", "w_u"), before);
    ref->Obj->Source = SourceOf("w_u", PBORCA_WINDOW, "window", "// edited\r\n") + '\0';
    EXPECT_TRUE(build::RebuildEntry(*ref));
    EXPECT_EQ(catalogue::LibraryIsUnicode("c:\\tmp\\temp_unicode.pbl"), true);
    EXPECT_EQ(LogWith("Created the companion library c:\\tmp\\temp_unicode.pbl").size(), 1u);

    MakeLibrary(std::string(build::CheckInLibrary), {});
    ASSERT_TRUE(build::CheckOutEntry(*ref, build::CheckInLibrary, "alice"));
    EXPECT_NE(Exported("c:\\check_unicode.pbl", "w_u"), "(missing)");
    EXPECT_TRUE(build::CheckInEntry(*ref));
    EXPECT_EQ(Exported("c:\\check_unicode.pbl", "w_u"), "(missing)");
}

TEST_F(BuildTest, ReplicationPathsLoseTheFirstThreeCharacters) {
    EXPECT_EQ(build::ReplicaPath("D:\\repl", "C:\\apps\\sales\\common.pbl"),
              "D:\\repl\\apps\\sales\\common.pbl");
    EXPECT_EQ(build::ReplicaPath("D:\\repl\\", "C:\\apps\\sales\\common.pbl"),
              "D:\\repl\\apps\\sales\\common.pbl");
    EXPECT_EQ(build::ReplicaPath("D:\\repl", "\\\\srv\\share\\x.pbl"),
              "D:\\repl\\rv\\share\\x.pbl");
    EXPECT_EQ(build::MirrorDirectory("D:\\repl\\", "C:\\apps\\sales\\common.pbl"),
              "D:\\repl\\apps\\sales");
}

TEST_F(BuildTest, ReplicationMirrorsTheLibrariesAndDefinesTheReplica) {
    MakeLibrary("c:\\apps\\sales\\sales.pbl", {Obj("app", PBORCA_APPLICATION, "application")});
    MakeLibrary("c:\\apps\\common\\common.pbl", {Win("w_common")});
    MakeLibrary("c:\\out\\check.pbl", {});
    platform::ForceDirectories("c:\\repl");
    const std::string pbIni = WritePBIni(
        "[Application]\r\n$c:\\apps\\sales\\sales.pbl(app)=c:\\apps\\sales\\sales.pbl;"
        "c:\\apps\\gone.pbl;c:\\apps\\common\\common.pbl\r\n");
    Mgr().LoadApplications();
    catalogue::TPBApp* app = Mgr().Apps[0];
    shell::OptionsForm().ReplicationPath = "c:\\repl\\";
    shell::OptionsForm().CheckOutLibrary = "C:\\APPS\\SALES\\SALES.PBL";
    EXPECT_EQ(build::ReplicateApplication(Mgr(), *app), nullptr);
    EXPECT_EQ(screen.BoxTexts().back(), "You cannot replicate a replication application.");

    shell::OptionsForm().CheckOutLibrary = "c:\\out\\check.pbl";
    struct stat before {};
    ASSERT_EQ(::stat((prefix.DriveC() + "/apps/common/common.pbl").c_str(), &before), 0);
    catalogue::TPBApp* replica = build::ReplicateApplication(Mgr(), *app);
    ASSERT_NE(replica, nullptr);
    struct stat copy {};
    ASSERT_EQ(::stat((prefix.DriveC() + "/repl/apps/common/common.pbl").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_mtime, before.st_mtime);  // the source's date
    // The missing library is left out; the list starts with the check-out library.
    EXPECT_EQ(
        platform::GetPrivateProfileString("Application", "$c:\\out\\check.pbl(app)", "", pbIni),
        "c:\\out\\check.pbl;c:\\repl\\apps\\sales\\sales.pbl;"
        "c:\\repl\\apps\\common\\common.pbl;");
    EXPECT_EQ(platform::GetPrivateProfileString("Application", "AppLib", "", pbIni),
              "c:\\out\\check.pbl");
    EXPECT_EQ(replica->LinkedApp, app);
    EXPECT_EQ(app->LinkedApp, replica);
    EXPECT_EQ(Exported("c:\\out\\check.pbl", "app", PBORCA_APPLICATION).empty(), false);
    catalogue::TPBLib* copyLib = Mgr().FindLibrary("c:\\repl\\apps\\common\\common.pbl");
    EXPECT_EQ(copyLib->SourceLib, Mgr().FindLibrary("c:\\apps\\common\\common.pbl"));

    // Again: only the copy that is missing is made.
    ASSERT_TRUE(platform::DeleteFile("c:\\repl\\apps\\sales\\sales.pbl"));
    ClearLog();
    ASSERT_EQ(build::ReplicateApplication(Mgr(), *app), replica);
    EXPECT_EQ(LogWith("Replicated ").size(), 1u);
    EXPECT_EQ(LogWith("Replicated c:\\apps\\sales\\sales.pbl").size(), 1u);

    build::SaveReplicationLinks(Mgr());
    EXPECT_EQ(shell::RegIniFile().ReadString("Quentis", "c:\\apps\\sales\\sales.pbl(app)", ""),
              "c:\\out\\check.pbl(app)");
}

// Replace over every hit of a literal across a PFC application, Save All Changes, then the
// libraries read afresh: changed entries hold exactly the edit, every other entry its bytes.
// Over the ANSI libraries built from PFC's sources, and over PowerBuilder 2019's Unicode
// libraries, whose sources the program sees in the code page.
TEST_F(BuildTest, ReplaceAndSaveAllRoundTripOverAPfcApplication) {
    SKIP_WITHOUT_CORPUS();
    RoundTrip(testsupport::BuildPfcWorkspace(prefix));
}

TEST_F(BuildTest, ReplaceAndSaveAllRoundTripOverAUnicodePfcApplication) {
    SKIP_WITHOUT_CORPUS();
    RoundTrip(testsupport::BuildPfc2019Workspace(prefix));
}

void BuildTest::RoundTrip(const testsupport::PfcWorkspace& ws) {
    ASSERT_TRUE(ws.error.empty()) << ws.error;
    shell::OptionsForm().PBIniFileName = ws.pbIni;
    Mgr().LoadApplications();
    catalogue::TPBApp* app = Mgr().Apps[0];
    catalogue::LoadNode(app);
    std::map<std::string, std::map<std::string, std::string>> before;  // host path -> entries
    for (int i = 0; i < app->LibRefs.Count(); ++i) {
        const std::string path = platform::HostPath(app->LibRef(i)->Lib->Name);
        std::string error;
        const auto lib = orca::PblLibrary::Load(path, &error);
        ASSERT_TRUE(lib) << path << ": " << error;
        for (const orca::PblEntry& e : lib->Entries())
            before[path][e.name] = e.data.Str();
    }
    search::TListSearchHost host;
    host.list.SetFindText("of_setrequestor");
    host.list.SetReplaceText("of_setrequester");
    search::TSearchScope scope;
    scope.Kind = search::TSearchScope::Application;
    scope.App = app;
    search::TObjectSearch(host).Run(scope);
    ASSERT_GT(host.results.size(), 20u);
    std::vector<int> rows(host.results.size());
    std::iota(rows.begin(), rows.end(), 0);
    search::ReplaceUndo(host.results, rows, host.list);
    std::map<std::string, std::string> edited;  // "host|name.ext" -> source
    for (const search::TSearchResult& r : host.results) {
        catalogue::TPBObj* obj = r.Object();
        edited[platform::HostPath(obj->Lib->Name) + "|" + obj->Name] =
            std::string(obj->SourceText());
    }
    catalogue::SetRunFlag(true);
    const build::TSaveCount saved = build::SaveAllChanges(Mgr());
    EXPECT_EQ(saved.Failed, 0) << testing::PrintToString(LogWith("Error"));
    EXPECT_EQ(saved.Saved, static_cast<int>(edited.size()));

    // The libraries read afresh by another process, which reports every entry that is not
    // as expected, and how many it checked.
    const std::string report = prefix.DriveC() + "/readback.txt";
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::string out;
        size_t checked = 0;
        for (const auto& [path, entries] : before) {
            const auto lib = orca::PblLibrary::Load(path, nullptr);
            if (!lib)
                out += path + ": cannot be read\n";
            for (const auto& [name, data] : entries) {
                const orca::PblEntry* now = lib ? lib->Find(name) : nullptr;
                const auto change = edited.find(path + "|" + name.substr(0, name.rfind('.')));
                ++checked;
                // An edited object keeps its properties (.prp) as they were.
                if (change == edited.end() || name.ends_with(".prp")) {
                    if (!now || now->data.Str() != data)
                        out += name + ": changed\n";
                } else if (name.size() > 4 && name.compare(name.size() - 4, 3, ".sr") == 0) {
                    if (!now ||
                        (lib->Kind() == orca::PblKind::Unicode ? orca::Utf16ToAnsi(now->BodyText())
                                                               : now->BodyText()) != change->second)
                        out += name + ": not the edited source\n";
                } else if (now) {
                    out += name + ": a stale compiled form\n";
                }
            }
        }
        out += "checked " + std::to_string(checked) + "\n";
        FILE* f = std::fopen(report.c_str(), "wb");
        ::_exit(f && std::fwrite(out.data(), 1, out.size(), f) == out.size() && std::fclose(f) == 0
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    size_t entries = 0;
    for (const auto& [path, names] : before)
        entries += names.size();
    EXPECT_EQ(testsupport::ReadFile(report), "checked " + std::to_string(entries) + "\n");
}

}  // namespace
