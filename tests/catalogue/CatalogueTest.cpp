// The catalogue model and pb.ini: applications, entry order, library lists, the two
// pb.ini deletions, and bad input of every kind.

#include <filesystem>
#include <tuple>

#include "platform/AtomicFile.h"
#include "tests/catalogue/CatalogueTestSupport.h"

namespace cattest {
namespace {

class CatalogueModelTest : public CatalogueTest {};

// Applications sort by key (one name in two application libraries is two applications);
// junk is skipped with one log line per problem. A change of pb.ini the timer sees only
// marks the catalogue out of date; the refresh keeps an application whose key stays.
TEST_F(CatalogueModelTest, ApplicationsOfPBIniSortByKeyJunkIsSkippedAndTheRefreshKeepsThem) {
    WritePBIni(
        "garbage line without equals\r\n[PB]\r\nAppName=x\r\n[Application]\r\n\x01\x02junk\r\n"
        "$c:\\b\\zeta.pbl(zeta)=c:\\b\\zeta.pbl\r\n"
        "default=c:\\b\\zeta.pbl\r\n"
        "$c:\\nokey.pbl=c:\\a.pbl\r\n"      // no "(" or ")"
        "$c:\\open.pbl(open=c:\\a.pbl\r\n"  // no ")"
        "$(noname)=x\r\n"                   // no library
        "$c:\\a\\x.pbl(app1)=" +
        std::string(100000, 'x') +
        "\r\n"
        "$C:\\A\\X.PBL(APP1)=c:\\other.pbl\r\n"  // the same application again
        "$c:\\b\\y.pbl(app1)=c:\\b\\y.pbl\r\n"
        "=novalue\r\n[Other]\r\n$c:\\q.pbl(q)=\r\n");
    Mgr().LoadApplications();
    EXPECT_THAT(Names(Mgr().Apps), ElementsAre("app1;(c:\\a\\x.pbl)", "app1;(c:\\b\\y.pbl)",
                                               "zeta;(c:\\b\\zeta.pbl)"));
    EXPECT_EQ(LogWith("skipped").size(), 3u);
    EXPECT_EQ(LogWith("more than once").size(), 1u);
    // The endless value is one library path that does not exist.
    TPBApp* app1 = Mgr().Apps[0];
    app1->LoadLibraryList();
    ASSERT_EQ(app1->LibRefs.Count(), 1);
    EXPECT_FALSE(app1->LibRef(0)->Lib->Exists);

    WritePBIni("[Application]\r\n$c:\\a\\x.pbl(app1)=c:\\a\\x.pbl\r\n");
    platform::SetFileAge("c:\\pb\\pb.ini", Mgr().PBIniDate + 1);
    Mgr().DeferRefresh = true;
    Mgr().LoadApplications();
    EXPECT_TRUE(Mgr().OutOfDate);
    EXPECT_EQ(Mgr().Apps.Count(), 3);  // not rebuilt yet
    Mgr().RefreshAll();
    EXPECT_THAT(Names(Mgr().Apps), ElementsAre("app1;(c:\\a\\x.pbl)"));
    EXPECT_EQ(Mgr().Apps[0], app1);
}

// Entries come in type order, then by name in byte order, each export said in the status
// line; long paths, long names and hundreds of libraries pass whole.
TEST_F(CatalogueModelTest, EntriesInTypeThenByteOrderAndLongPathsAndManyLibrariesPassWhole) {
    const std::string dir = "c:\\" + std::string(200, 'd') + "\\" + std::string(200, 'e') + "\\" +
                            std::string(200, 'f');
    std::string list;
    for (int i = 0; i < 302; ++i)
        list += dir + "\\lib" + std::to_string(i) + ".pbl;";
    const std::string longName = "w_" + std::string(38, 'n');
    MakeLibrary(dir + "\\lib0.pbl",
                {Win(longName), Win("w_a"), Win("W_b"), Uo("u_x"),
                 Obj("d_x", PBORCA_DATAWINDOW, ""), Obj("f_x", PBORCA_FUNCTION, "function_object"),
                 Obj("m_x", PBORCA_MENU, "menu"), Obj("s_x", PBORCA_STRUCTURE, "structure"),
                 Obj("q_x", PBORCA_QUERY, ""), Obj("p_x", PBORCA_PIPELINE, ""),
                 Obj("j_x", PBORCA_PROJECT, ""), Obj("app", PBORCA_APPLICATION, "application")});
    MakeLibrary(dir + "\\lib1.pbl", {});
    for (int i = 2; i < 302; ++i)
        std::filesystem::copy_file(platform::HostPath(dir + "\\lib1.pbl"),
                                   platform::HostPath(dir + "\\lib" + std::to_string(i) + ".pbl"));
    TPBApp* app = LoadApp(list);
    ASSERT_EQ(app->LibRefs.Count(), 302);
    EXPECT_THAT(Names(app->LibRef(0)->ObjRefs),
                ElementsAre("app", "d_x", "f_x", "j_x", "m_x", "p_x", "q_x", "s_x", "u_x", "W_b",
                            "w_a", longName));
    EXPECT_FALSE(Ref(app, longName)->Obj->Source.empty());
    EXPECT_THAT(screen.statusTexts, testing::Contains("Loading Object: " + dir + "\\lib0.pbl;W_b"));
    EXPECT_THAT(LogWith("Orca Error"), IsEmpty());
}

// A missing, directory or corrupt library is logged once and the rest loads; what is
// missing is left out of the session's list (a list with it would be refused) and leaves
// the current application unset; once every library exists it is set. A path named in
// other case keeps its references.
TEST_F(CatalogueModelTest, LibraryListLogsWhatCannotBeReadOnceAndKeepsItsReferences) {
    MakeLibrary("c:\\w\\a.pbl", {Win("w_a"), Obj("app", PBORCA_APPLICATION, "application")});
    MakeLibrary("c:\\w\\c.pbl", {Win("w_c")});
    platform::ForceDirectories("c:\\w\\dir.pbl");
    testsupport::WriteFile(prefix.DriveC() + "/w/bad.pbl",
                           "HDR*this is not a library at all" + std::string(600, 'z'));
    WritePBIni(
        "[Application]\r\n$c:\\w\\a.pbl(app)=c:\\w\\a.pbl;c:\\w\\gone.pbl;c:\\w\\dir.pbl;c:"
        "\\w\\bad."
        "pbl;c:\\w\\c.pbl;\r\n");
    Mgr().LoadApplications();
    TPBApp* app = Mgr().Apps[0];
    app->LoadLibraryList();
    ASSERT_EQ(app->LibRefs.Count(), 5);  // no empty library after the last ";"
    catalogue::TPBLibRef* c = app->LibRef(4);
    EXPECT_THAT(Names(c->ObjRefs), ElementsAre("w_c"));
    EXPECT_THAT(LogWith("Library not found: c:\\w\\gone.pbl"), testing::SizeIs(1));
    EXPECT_THAT(LogWith("Library is a directory: c:\\w\\dir.pbl"), testing::SizeIs(1));
    EXPECT_THAT(LogWith("Orca Error"),
                ElementsAre(testing::StartsWith("Orca Error: LibraryDirectory: c:\\w\\bad.pbl  ")));
    EXPECT_EQ(app->GetSession().SetCurrentAppl("c:\\w\\a.pbl", "app"), 0);

    ClearLog();
    WritePBIni("[Application]\r\n$c:\\w\\a.pbl(app)=C:\\W\\C.PBL;c:\\w\\a.pbl\r\n");
    app->LoadLibraryList();
    ASSERT_EQ(app->LibRefs.Count(), 2);
    EXPECT_EQ(app->LibRef(0), c);
    EXPECT_EQ(app->GetSession().SetCurrentAppl("c:\\w\\a.pbl", "app"), PBORCA_DUPOPERATION);
    EXPECT_THAT(LogWith("Orca Error"), IsEmpty());
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

    // A pb.ini that cannot be written: false, a log line, pb.ini and the catalogue as
    // they were.
    const std::string before = ReadPBIni();
    for (bool lib : {true, false}) {
        platform::FailNextAtomicWriteAfter(0);
        EXPECT_FALSE(lib ? catalogue::DeleteLibFromPBIni(app->LibRef(0))
                         : catalogue::DeleteAppFromPBIni(app2));
        EXPECT_EQ(ReadPBIni(), before);
    }
    EXPECT_EQ(app->LibRefs.Count() + Mgr().Apps.Count(), 4);
    EXPECT_EQ(LogWith("Could not").size(), 2u);

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

// A key is split at its last "(": a library path may hold one, an application name
// does not. An application whose key is no longer in pb.ini cannot be deleted from it,
// nor can a library of it: false, a log line, pb.ini and the catalogue unchanged.
TEST_F(CatalogueModelTest, PBIniKeysWithParenthesesInThePathAndDeletionsOfWhatIsGone) {
    const std::tuple<const char*, const char*, const char*> keys[] = {
        {"$c:\\a\\x.pbl(app1)", "app1", "c:\\a\\x.pbl"},
        {"$c:\\apps (old)\\x.pbl(sales)", "sales", "c:\\apps (old)\\x.pbl"},
        {"$c:\\(1)\\(2)x.pbl(a_b)", "a_b", "c:\\(1)\\(2)x.pbl"},
        {"$c:\\x.pbl", nullptr, nullptr},
        {"$(app)", nullptr, nullptr},
        {"$c:\\x.pbl()", nullptr, nullptr},
        {"c:\\x.pbl(app)", nullptr, nullptr},
        {"$c:\\x.pbl(app", nullptr, nullptr}};
    for (auto [key, name, lib] : keys) {
        std::string gotName, gotLib;
        EXPECT_EQ(catalogue::ParseApplicationKey(key, gotName, gotLib), name != nullptr) << key;
        if (name) {
            EXPECT_EQ(gotName, name) << key;
            EXPECT_EQ(gotLib, lib) << key;
        }
    }

    MakeLibrary("c:\\apps (old)\\x.pbl", {Win("w_a")});
    const std::string text =
        "[Application]\r\n$c:\\apps (old)\\x.pbl(sales)=c:\\apps "
        "(old)\\x.pbl\r\n$c:\\w\\k.pbl(keep)=c:\\w\\k.pbl\r\n";
    WritePBIni(text);
    Mgr().LoadApplications();
    TPBApp* sales = Mgr().Apps.Find("sales;(c:\\apps (old)\\x.pbl)");
    ASSERT_TRUE(sales);
    EXPECT_EQ(sales->PBIniKey(), "$c:\\apps (old)\\x.pbl(sales)");
    sales->LoadLibraryList();
    ASSERT_EQ(sales->LibRefs.Count(), 1);
    EXPECT_THAT(Names(sales->LibRef(0)->ObjRefs), ElementsAre("w_a"));

    // Its key gone from pb.ini (another program edited it): nothing is deleted.
    const std::string edited = "[Application]\r\n$c:\\w\\k.pbl(keep)=c:\\w\\k.pbl\r\n";
    WritePBIni(edited);
    ClearLog();
    EXPECT_FALSE(catalogue::DeleteLibFromPBIni(sales->LibRef(0)));
    EXPECT_FALSE(catalogue::DeleteAppFromPBIni(sales));
    EXPECT_EQ(ReadPBIni(), edited);
    EXPECT_EQ(sales->LibRefs.Count(), 1);
    EXPECT_EQ(Mgr().Apps.Find("sales;(c:\\apps (old)\\x.pbl)"), sales);
    EXPECT_THAT(LogWith("is not in section [Application]"), testing::SizeIs(2));

    WritePBIni(text);
    ASSERT_TRUE(catalogue::DeleteAppFromPBIni(sales));
    EXPECT_EQ(ReadPBIni(), "[Application]\r\n$c:\\w\\k.pbl(keep)=c:\\w\\k.pbl\r\n");
    EXPECT_EQ(Mgr().Apps.Find("sales;(c:\\apps (old)\\x.pbl)"), nullptr);
}

}  // namespace
}  // namespace cattest
