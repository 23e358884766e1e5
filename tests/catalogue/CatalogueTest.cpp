// The catalogue model and pb.ini: applications, shared libraries, entry order, sources,
// library lists, the two pb.ini deletions, and bad input of every kind.

#include <gmock/gmock.h>

#include <filesystem>

#include "tests/catalogue/CatalogueTestSupport.h"

namespace cattest {
namespace {

using catalogue::TPBApp;
using catalogue::TPBLib;
using catalogue::TPBLibRef;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class CatalogueModelTest : public CatalogueTest {};

TEST_F(CatalogueModelTest, ApplicationsOfPBIniSortedByKeyKeptWhileTheirKeyStaysAndRefreshed) {
    WritePBIni(
        "[PB]\r\nAppName=x\r\n[Application]\r\n"
        "$c:\\b\\zeta.pbl(zeta)=c:\\b\\zeta.pbl\r\n"
        "default=c:\\b\\zeta.pbl\r\n"
        "$c:\\a\\x.pbl(app1)=c:\\a\\x.pbl;\r\n"
        "$c:\\b\\y.pbl(app1)=c:\\b\\y.pbl\r\n");
    Mgr().LoadApplications();
    // Two entries with one name but different application libraries are two applications.
    EXPECT_THAT(Names(Mgr().Apps), ElementsAre("app1;(c:\\a\\x.pbl)", "app1;(c:\\b\\y.pbl)",
                                               "zeta;(c:\\b\\zeta.pbl)"));
    TPBApp* app1 = Mgr().Apps[0];
    EXPECT_EQ(app1->Name, "app1");
    EXPECT_EQ(app1->AppLib, "c:\\a\\x.pbl");
    EXPECT_EQ(screen.LastStatus(), "Ready.");

    // zeta leaves pb.ini, new comes; app1 stays the same object. The timer's detection of
    // the change only marks the catalogue out of date; the refresh rebuilds it.
    WritePBIni(
        "[Application]\r\n$c:\\a\\x.pbl(app1)=c:\\a\\x.pbl\r\n$c:\\b\\y.pbl(app1)=\r\n$c:\\n\\new."
        "pbl(new)=\r\n");
    platform::SetFileAge("c:\\pb\\pb.ini", Mgr().PBIniDate + 1);
    Mgr().DeferRefresh = true;
    Mgr().LoadApplications();
    EXPECT_TRUE(Mgr().OutOfDate);
    EXPECT_TRUE(screen.refreshNeeded);
    EXPECT_NE(Mgr().Apps.Find("zeta;(c:\\b\\zeta.pbl)"), nullptr);  // not rebuilt yet
    Mgr().RefreshAll();
    EXPECT_FALSE(Mgr().OutOfDate);
    EXPECT_FALSE(screen.refreshNeeded);
    ASSERT_EQ(Mgr().Apps.Count(), 3);
    EXPECT_EQ(Mgr().Apps[0], app1);
    EXPECT_EQ(Mgr().Apps.Find("zeta;(c:\\b\\zeta.pbl)"), nullptr);
    EXPECT_NE(Mgr().Apps.Find("new;(c:\\n\\new.pbl)"), nullptr);
}

TEST_F(CatalogueModelTest, JunkInPBIniIsSkippedWithOneLinePerProblem) {
    WritePBIni(
        "garbage line without equals\r\n[Application]\r\n\x01\x02junk\r\n"
        "$c:\\nokey.pbl=c:\\a.pbl\r\n"      // no "(" or ")"
        "$c:\\open.pbl(open=c:\\a.pbl\r\n"  // no ")"
        "$(noname)=x\r\n"                   // no library
        "$c:\\a\\x.pbl(good)=" +
        std::string(100000, 'x') +
        "\r\n"
        "$C:\\A\\X.PBL(GOOD)=c:\\other.pbl\r\n"  // the same application again
        "=novalue\r\n[Other]\r\n$c:\\q.pbl(q)=\r\n");
    Mgr().LoadApplications();
    ASSERT_EQ(Mgr().Apps.Count(), 1);
    EXPECT_EQ(Mgr().Apps[0]->Name, "good");
    EXPECT_EQ(LogWith("skipped").size(), 3u);
    EXPECT_EQ(LogWith("more than once").size(), 1u);
    // The endless value is one library path that does not exist.
    Mgr().Apps[0]->LoadLibraryList();
    EXPECT_EQ(Mgr().Apps[0]->LibRefs.Count(), 1);
    EXPECT_FALSE(Mgr().Apps[0]->LibRef(0)->Lib->Exists);
}

TEST_F(CatalogueModelTest, LibrariesAreSharedAcrossApplicationsAndListedInEntryOrder) {
    MakeLibrary("c:\\w\\shared.pbl",
                {Win("w_a"), Win("W_b"), Uo("u_x"), Obj("d_x", PBORCA_DATAWINDOW, ""),
                 Obj("f_x", PBORCA_FUNCTION, "function_object"), Obj("m_x", PBORCA_MENU, "menu"),
                 Obj("s_x", PBORCA_STRUCTURE, "structure"), Obj("q_x", PBORCA_QUERY, ""),
                 Obj("p_x", PBORCA_PIPELINE, ""), Obj("j_x", PBORCA_PROJECT, ""),
                 Obj("app", PBORCA_APPLICATION, "application")});
    MakeLibrary("c:\\w\\one.pbl", {Win("w_one")});
    WritePBIni(
        "[Application]\r\n$c:\\w\\shared.pbl(app)=c:\\w\\one.pbl;c:\\w\\shared.pbl\r\n"
        "$c:\\w\\shared.pbl(other)=C:\\W\\SHARED.PBL\r\n");
    Mgr().LoadApplications();
    ASSERT_EQ(Mgr().Apps.Count(), 2);
    TPBApp* app = Mgr().Apps[0];
    TPBApp* other = Mgr().Apps[1];
    app->LoadLibraryList();
    other->LoadLibraryList();

    ASSERT_EQ(app->LibRefs.Count(), 2);
    EXPECT_EQ(app->LibRef(0)->Lib->Name, "c:\\w\\one.pbl");
    TPBLib* shared = app->LibRef(1)->Lib;
    EXPECT_EQ(other->LibRef(0)->Lib, shared);
    EXPECT_EQ(Mgr().Libs.Count(), 2);
    EXPECT_THAT(Names(shared->Entries), ElementsAre("app", "d_x", "f_x", "j_x", "m_x", "p_x", "q_x",
                                                    "s_x", "u_x", "W_b", "w_a"));
    // Each application has its own references to the one set of entries.
    EXPECT_EQ(Names(app->LibRef(1)->ObjRefs), Names(shared->Entries));
    EXPECT_EQ(app->LibRef(1)->ObjRef(0)->Obj, other->LibRef(0)->ObjRef(0)->Obj);
    EXPECT_NE(app->LibRef(1)->ObjRef(0), other->LibRef(0)->ObjRef(0));
    // Every entry came with its source, each export said in the status line.
    for (const auto& item : shared->Entries)
        EXPECT_FALSE(item.Obj->Source.empty()) << item.Name;
    EXPECT_THAT(screen.statusTexts, testing::Contains("Loading Object: c:\\w\\shared.pbl;W_b"));
    EXPECT_THAT(LogWith("Orca Error: Library"), IsEmpty());
    EXPECT_THAT(LogWith("Orca Error: Entry"), IsEmpty());
    EXPECT_FALSE(screen.gaugeVisible);
}

// The library list follows pb.ini's order and keeps its references. A missing library
// is left out of the session's list (a list with it would be refused and logged) and
// leaves the current application unset; once every library exists it is set.
TEST_F(CatalogueModelTest, LibraryListFollowsPBIniOrderAndKeepsItsReferences) {
    MakeLibrary("c:\\w\\a.pbl", {Win("w_a"), Obj("app", PBORCA_APPLICATION, "application")});
    MakeLibrary("c:\\w\\b.pbl", {Win("w_b")});
    MakeLibrary("c:\\w\\c.pbl", {Win("w_c")});
    WritePBIni(
        "[Application]\r\n$c:\\w\\a.pbl(app)=c:\\w\\a.pbl;c:\\w\\b.pbl;c:\\w\\c.pbl;c:\\w\\gone."
        "pbl;\r\n");
    Mgr().LoadApplications();
    TPBApp* app = Mgr().Apps[0];
    app->LoadLibraryList();
    ASSERT_EQ(app->LibRefs.Count(), 4);  // no empty library after the last ";"
    TPBLibRef* a = app->LibRef(0);
    TPBLibRef* c = app->LibRef(2);
    EXPECT_THAT(LogWith("Orca Error"), IsEmpty());
    EXPECT_EQ(app->GetSession().SetCurrentAppl("c:\\w\\a.pbl", "app"), 0);

    WritePBIni("[Application]\r\n$c:\\w\\a.pbl(app)=C:\\W\\C.PBL;c:\\w\\a.pbl\r\n");
    app->LoadLibraryList();
    ASSERT_EQ(app->LibRefs.Count(), 2);
    EXPECT_EQ(app->LibRef(0), c);
    EXPECT_EQ(app->LibRef(1), a);
    EXPECT_EQ(app->GetSession().SetCurrentAppl("c:\\w\\a.pbl", "app"), PBORCA_DUPOPERATION);
    EXPECT_THAT(LogWith("Orca Error"), IsEmpty());

    WritePBIni("[Application]\r\n$c:\\w\\a.pbl(app)=\r\n");
    app->LoadLibraryList();
    EXPECT_EQ(app->LibRefs.Count(), 0);
    EXPECT_EQ(Mgr().Libs.Count(), 4);  // libraries stay in the catalogue
}

TEST_F(CatalogueModelTest, MissingDirectoryAndCorruptLibrariesAreLoggedOnceAndTheRestLoads) {
    MakeLibrary("c:\\w\\good.pbl", {Win("w_good")});
    platform::ForceDirectories("c:\\w\\dir.pbl");
    testsupport::WriteFile(prefix.DriveC() + "/w/bad.pbl",
                           "HDR*this is not a library at all" + std::string(600, 'z'));
    WritePBIni(
        "[Application]\r\n$c:\\w\\good.pbl(app)=c:\\w\\gone.pbl;c:\\w\\dir.pbl;c:\\w\\bad.pbl;c:"
        "\\w\\good.pbl\r\n");
    Mgr().LoadApplications();
    TPBApp* app = Mgr().Apps[0];
    app->LoadLibraryList();
    ASSERT_EQ(app->LibRefs.Count(), 4);
    EXPECT_FALSE(app->LibRef(0)->Lib->Exists);
    EXPECT_FALSE(app->LibRef(1)->Lib->Exists);
    EXPECT_THAT(Names(app->LibRef(3)->ObjRefs), ElementsAre("w_good"));
    EXPECT_THAT(LogWith("Library not found: c:\\w\\gone.pbl"), testing::SizeIs(1));
    EXPECT_THAT(LogWith("Library is a directory: c:\\w\\dir.pbl"), testing::SizeIs(1));
    EXPECT_THAT(LogWith("Orca Error: LibraryDirectory: c:\\w\\bad.pbl  "), testing::SizeIs(1));
}

// The two pb.ini commands: a library leaves its application's value, which is written
// again as the last line of the section (also when the library is not in it); an
// application's line goes, ending its replication pair. Every other byte stays.
TEST_F(CatalogueModelTest, ThePBIniDeletionsRewriteOnlyTheirEntry) {
    MakeLibrary("c:\\w\\a.pbl", {Win("w_a")});
    MakeLibrary("c:\\w\\b.pbl", {Win("w_b", "w_a")});
    const std::string head = "; my settings\r\n[PB]\nx = 1\r\n\r\n[Application]\r\n";
    const std::string app2Line = "  $c:\\b\\y.pbl(app2) = c:\\b\\y.pbl  \r\n";
    const std::string tail = "\r\n[Tail]\nz\n";
    WritePBIni(head + app2Line + "$c:\\w\\a.pbl(app)=c:\\w\\a.pbl;c:\\w\\b.pbl\r\nCurrent=app\r\n" +
               tail);
    Mgr().LoadApplications();
    TPBApp* app = Mgr().Apps.Find("app;(c:\\w\\a.pbl)");
    TPBApp* app2 = Mgr().Apps.Find("app2;(c:\\b\\y.pbl)");
    ASSERT_TRUE(app && app2);
    catalogue::LoadNode(app);
    catalogue::TPBObjRef* wb = app->LibRef(1)->ObjRef(0);
    ASSERT_EQ(wb->Parent->Obj->Name, "w_a");

    ASSERT_TRUE(catalogue::DeleteLibFromPBIni(app->LibRef(0)));
    const std::string rest = "Current=app\r\n$c:\\w\\a.pbl(app)=c:\\w\\b.pbl\r\n" + tail;
    EXPECT_EQ(ReadPBIni(), head + app2Line + rest);
    ASSERT_EQ(app->LibRefs.Count(), 1);
    // w_b's ancestor left the path: it now hangs under a class "w_a" under System.
    EXPECT_EQ(wb->Parent->LibRef, nullptr);
    EXPECT_EQ(wb->Parent->Obj->Name, "w_a");
    EXPECT_EQ(wb->Parent->Parent, app->SystemRoot);

    app->ReplicationRole = 1;
    app->LinkedApp = app2;
    app2->ReplicationRole = 2;
    app2->LinkedApp = app;
    ASSERT_TRUE(catalogue::DeleteAppFromPBIni(app2));
    EXPECT_EQ(ReadPBIni(), head + rest);
    ASSERT_EQ(Mgr().Apps.Count(), 1);
    EXPECT_EQ(app->ReplicationRole, 0);
    EXPECT_EQ(app->LinkedApp, nullptr);

    WritePBIni("[Application]\r\n$c:\\w\\a.pbl(app)=c:\\w\\b.pbl\r\nLast=1\r\n");
    ASSERT_TRUE(catalogue::DeleteLibFromPBIni(app->AddLibRef("c:\\w\\zz.pbl")));
    EXPECT_EQ(ReadPBIni(), "[Application]\r\nLast=1\r\n$c:\\w\\a.pbl(app)=c:\\w\\b.pbl\r\n");
}

TEST_F(CatalogueModelTest, LongPathsAndManyLibrariesPassWhole) {
    const std::string dir = "c:\\" + std::string(200, 'd') + "\\" + std::string(200, 'e') + "\\" +
                            std::string(200, 'f');
    std::string list;
    for (int i = 0; i < 302; ++i)
        list += dir + "\\lib" + std::to_string(i) + ".pbl;";
    MakeLibrary(dir + "\\lib0.pbl", {Win("w_" + std::string(38, 'n'))});
    MakeLibrary(dir + "\\lib1.pbl", {});
    for (int i = 2; i < 302; ++i)
        std::filesystem::copy_file(platform::HostPath(dir + "\\lib1.pbl"),
                                   platform::HostPath(dir + "\\lib" + std::to_string(i) + ".pbl"));
    TPBApp* app = LoadApp(list);
    ASSERT_EQ(app->LibRefs.Count(), 302);
    ASSERT_EQ(app->LibRef(0)->ObjRefs.Count(), 1);
    EXPECT_EQ(app->LibRef(0)->ObjRef(0)->Obj->Name.size(), 40u);
    EXPECT_FALSE(app->LibRef(0)->ObjRef(0)->Obj->Source.empty());
    EXPECT_THAT(LogWith("Orca Error: Library"), IsEmpty());
    EXPECT_THAT(LogWith("Orca Error: Entry"), IsEmpty());
}

}  // namespace
}  // namespace cattest
