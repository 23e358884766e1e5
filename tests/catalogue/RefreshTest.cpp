// Library refresh and change detection: the merge of changed, added and deleted
// entries with its log lines, references and the hierarchy kept in line, detection
// scopes, the two timers and the Refresh command.

#include "tests/catalogue/CatalogueTestSupport.h"

namespace cattest {
namespace {

class RefreshTest : public CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        MakeLibrary(LibPath, {Win("w_base"), Win("w_main", "w_base"), Win("w_kid", "w_main"),
                              Win("w_gone", "w_base"), Uo("u_keep")});
        MakeLibrary(OtherPath, {Win("w_far", "w_main")});
        WritePBIni(
            "[Application]\r\n$c:\\r\\a.pbl(one)=c:\\r\\a.pbl;c:\\r\\b.pbl\r\n"
            "$c:\\r\\a.pbl(two)=c:\\r\\b.pbl;c:\\r\\a.pbl\r\n");
        Mgr().LoadApplications();
        for (int i = 0; i < 2; ++i)
            catalogue::LoadNode(Mgr().Apps[i]);
        lib = Mgr().Libs.Find(LibPath);
    }
    // Makes the next detection see the library as changed.
    void Touch() { lib->FileDate -= 1; }
    static constexpr const char* LibPath = "c:\\r\\a.pbl";
    static constexpr const char* OtherPath = "c:\\r\\b.pbl";
    catalogue::TPBLib* lib = nullptr;
};

TEST_F(RefreshTest, ChangedAddedAndDeletedEntriesAreMergedAndEveryReferenceFollows) {
    catalogue::TPBObj* main = lib->Entries.Find("w_main");
    catalogue::TPBObj* keep = lib->Entries.Find("u_keep");
    main->Modified = true;

    // w_main's source and comment change, u_keep's comment only (which counts too).
    Put(LibPath, {{"w_main", PBORCA_WINDOW,
                   SourceOf("w_main", PBORCA_WINDOW, "w_base", "// v2\r\n"), "new comment"},
                  Win("w_added", "w_gone"),
                  {"u_keep", PBORCA_USEROBJECT,
                   SourceOf("u_keep", PBORCA_USEROBJECT, "nonvisualobject"), "commented"}});
    Remove(LibPath, "w_gone", PBORCA_WINDOW);
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    ClearLog();
    Touch();
    Mgr().RefreshAll();

    EXPECT_THAT(LogWith(LibPath),
                ElementsAre("Refreshing library: c:\\r\\a.pbl", "c:\\r\\a.pbl->u_keep changed.",
                            "c:\\r\\a.pbl->w_gone deleted.", "c:\\r\\a.pbl->w_main changed.",
                            "c:\\r\\a.pbl->w_added added."));
    EXPECT_THAT(Names(lib->Entries), ElementsAre("u_keep", "w_added", "w_base", "w_kid", "w_main"));
    EXPECT_EQ(lib->Entries.Find("w_main"), main);  // the same object, with the new source
    EXPECT_EQ(lib->Entries.Find("u_keep"), keep);
    EXPECT_TRUE(main->Modified);
    EXPECT_TRUE(main->Redisplay);
    EXPECT_TRUE(keep->Redisplay);
    EXPECT_FALSE(lib->Entries.Find("w_base")->Redisplay);
    EXPECT_EQ(main->Comment, "new comment");
    EXPECT_NE(main->SourceText().find("// v2"), std::string::npos);
    EXPECT_TRUE(lib->Flags.Contains(catalogue::TLibFlag::Changed));
    EXPECT_EQ(Mgr().Libs.Count(), 2);  // the fresh read is never listed

    // Both applications' references (a.pbl is first in one's path, second in two's) follow
    // the library at once, in entry order.
    for (int a = 0; a < 2; ++a) {
        TPBApp* app = Mgr().Apps[a];
        EXPECT_EQ(Names(app->LibRef(a)->ObjRefs), Names(lib->Entries));
        // The hierarchy holds no reference of the deleted entry (w_base's child); the new
        // entry's ancestor
        // w_gone no longer exists on the path, so it hangs under a class of that name.
        TPBObjRef* added = Ref(app, "w_added");
        EXPECT_EQ(catalogue::ResolveParent(*added)->Obj->Name, "w_gone");
        EXPECT_EQ(added->Parent->LibRef, nullptr);
        EXPECT_THAT(Names(Ref(app, "w_base")->Children), ElementsAre("w_main"));
        EXPECT_EQ(Ref(app, "w_far")->Parent, Ref(app, "w_main"));
    }
}

TEST_F(RefreshTest, DetectionScopes) {
    shell::TOptionsForm& options = shell::OptionsForm();
    ASSERT_TRUE(options.QuentisRefresh.Checked());  // "Replication Only" by default
    Touch();
    const platform::TDateTime stale = lib->FileDate;
    Mgr().DetectChanges();
    EXPECT_THAT(LogWith("Refreshing"), IsEmpty());  // neither replicated nor a copy
    EXPECT_FALSE(screen.refreshNeeded);
    EXPECT_EQ(lib->FileDate, stale);  // seen again next time

    lib->Flags |= catalogue::TLibFlag::Replicated;
    Mgr().DetectChanges();
    EXPECT_THAT(LogWith("Refreshing"), testing::SizeIs(1));
    EXPECT_NE(lib->FileDate, stale);

    lib->Flags = {};
    lib->IsCopy = 1;
    Touch();
    Mgr().DetectChanges();
    EXPECT_THAT(LogWith("Refreshing"), testing::SizeIs(2));
}

// Timer detection only signals and arms the automatic refresh, which merges, but not
// while a walk runs (the timer fires inside its message pump): the walk ends over every
// entry first. With user refresh chosen detection only signals, and the Refresh command
// merges before the views follow, under the hourglass.
TEST_F(RefreshTest, TimersSignalAndMergeAfterAnyWalkAndTheCommandRefreshesBeforeTheViews) {
    shell::TOptionsForm& options = shell::OptionsForm();
    options.AllLibRefresh.SetChecked(true);
    Remove(LibPath, "w_kid", PBORCA_WINDOW);
    Touch();
    catalogue::DetectTimerTimer();
    EXPECT_TRUE(screen.refreshNeeded);
    EXPECT_TRUE(Mgr().OutOfDate);
    EXPECT_TRUE(options.AutoRefreshTimer.Enabled());

    int visited = 0;
    catalogue::WalkDescendants(*Mgr().Apps[0]->SystemRoot, [&](TPBObjRef&) {
        if (visited++ == 0)
            catalogue::AutoRefreshTimerTimer();
    });
    EXPECT_EQ(visited, 8);
    EXPECT_TRUE(options.AutoRefreshTimer.Enabled());
    EXPECT_NE(lib->Entries.Find("w_kid"), nullptr);

    catalogue::AutoRefreshTimerTimer();
    EXPECT_FALSE(options.AutoRefreshTimer.Enabled());
    EXPECT_TRUE(options.DetectTimer.Enabled());
    EXPECT_FALSE(screen.refreshNeeded);
    EXPECT_FALSE(Mgr().DeferRefresh);
    EXPECT_EQ(lib->Entries.Find("w_kid"), nullptr);

    options.UserRefreshRadioButton.SetChecked(true);
    Put(LibPath, {Win("w_newer")});
    Touch();
    catalogue::DetectTimerTimer();
    EXPECT_TRUE(screen.refreshNeeded);
    EXPECT_FALSE(options.AutoRefreshTimer.Enabled());
    screen.cursors.clear();
    bool viewsAfterMerge = false;
    catalogue::RefreshOrca([&] { viewsAfterMerge = lib->Entries.Find("w_newer") != nullptr; });
    EXPECT_TRUE(viewsAfterMerge);
    EXPECT_THAT(screen.cursors, ElementsAre(shell::crHourGlass, testing::_));
    EXPECT_EQ(screen.LastStatus(), "Ready.");
}

TEST_F(RefreshTest, TheTimersNeverOpenAMessageBoxTheCommandDoes) {
    shell::OptionsForm().PBIniFileName = "c:\\nowhere\\pb.ini";
    Mgr().Location.Clear();
    catalogue::DetectTimerTimer();
    catalogue::AutoRefreshTimerTimer();
    catalogue::DetectTimerTimer();
    const std::string notFound =
        shell::PBIniNotFoundMessage(shell::OptionsForm().SelectedPBVersion().Number);
    EXPECT_THAT(screen.boxes, IsEmpty());
    EXPECT_THAT(LogWith(notFound), testing::SizeIs(1));  // once, not at every tick
    catalogue::RefreshOrca({});
    EXPECT_THAT(screen.BoxTexts(), ElementsAre(notFound));
}

TEST_F(RefreshTest, AVanishedOrUnreadableLibraryIsKept) {
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    const size_t before = lib->Entries.Count();
    ASSERT_TRUE(platform::DeleteFile(LibPath));
    Mgr().DetectChanges();
    EXPECT_EQ(static_cast<size_t>(lib->Entries.Count()), before);
    EXPECT_TRUE(lib->Exists);

    testsupport::WriteFile(platform::HostPath(LibPath), "junk");
    ClearLog();
    Touch();
    Mgr().DetectChanges();
    // The directory could not be read: every entry is reported deleted, nothing crashes.
    EXPECT_THAT(LogWith("Orca Error: LibraryDirectory: c:\\r\\a.pbl  "), testing::SizeIs(1));
    EXPECT_EQ(LogWith(" deleted.").size(), before);
    EXPECT_EQ(lib->Entries.Count(), 0);
    // In both applications w_far, whose ancestor went, hangs under a class "w_main".
    for (int a = 0; a < 2; ++a) {
        TPBApp* app = Mgr().Apps[a];
        EXPECT_THAT(Names(app->LibRef(a)->ObjRefs), IsEmpty());
        TPBObjRef* far = Ref(app, "w_far");
        EXPECT_EQ(far->Parent->Obj->Name, "w_main");
        EXPECT_EQ(far->Parent->Parent, app->SystemRoot);
    }
}

}  // namespace
}  // namespace cattest
