// Library refresh and change detection: the merge of changed, added and deleted
// entries with its log lines, references and the hierarchy kept in line, detection
// scopes, the two timers and the Refresh command.

#include <filesystem>

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
    // Moves the library's file date on disk a minute past the one the catalogue knows,
    // so that the next detection sees the file changed (rewrites within one second keep
    // the date, which is kept to the second).
    void Touch() { ASSERT_TRUE(platform::SetFileAge(LibPath, lib->FileDate + 1.0 / (24 * 60))); }
    static constexpr const char* LibPath = "c:\\r\\a.pbl";
    static constexpr const char* OtherPath = "c:\\r\\b.pbl";
    catalogue::TPBLib* lib = nullptr;
};

// The real export, watched: every call is recorded as "name.type", and the entry named
// failing fails as a library that cannot be read would.
struct ExportSpy {
    void* real = nullptr;
    std::vector<std::string> calls;
    std::string failing;
};
ExportSpy spy;

int32_t SpyExport(HPBORCA session, const char* library, const char* name, PBORCA_TYPE type,
                  char* buffer, int32_t size) {
    spy.calls.push_back(std::string(name) + "." + std::to_string(type));
    if (spy.failing == name)
        return PBORCA_LIBIOERROR;
    return reinterpret_cast<decltype(&PBORCA_LibraryEntryExport)>(spy.real)(session, library, name,
                                                                            type, buffer, size);
}

void WatchExports() {
    void*& slot = catalogue::OrcaFunctions()
                      .Slots[static_cast<size_t>(catalogue::TOrcaSlot::LibraryEntryExport)];
    spy = ExportSpy{};
    spy.real = slot;
    slot = reinterpret_cast<void*>(&SpyExport);
}

// A refresh exports what changed or came, each once, and nothing else; an export that
// fails leaves no length behind that the empty source does not have.
TEST_F(RefreshTest, OnlyChangedAndAddedEntriesAreExportedEachOnce) {
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    Put(LibPath, {{"w_main", PBORCA_WINDOW, SourceOf("w_main", PBORCA_WINDOW, "w_base"), "v2"},
                  {"w_kid", PBORCA_WINDOW, SourceOf("w_kid", PBORCA_WINDOW, "w_main"), "v2"},
                  Win("w_new")});
    Touch();
    WatchExports();
    spy.failing = "w_kid";
    Mgr().RefreshAll();
    const std::string window = "." + std::to_string(PBORCA_WINDOW);
    EXPECT_THAT(spy.calls, testing::UnorderedElementsAre("w_kid" + window, "w_main" + window,
                                                         "w_new" + window));
    catalogue::TPBObj* kid = lib->Entries.Find("w_kid");
    EXPECT_TRUE(kid->Source.empty());
    EXPECT_EQ(kid->SourceLen, 0);
    EXPECT_TRUE(kid->LoadFailed);
    catalogue::TPBObj* main = lib->Entries.Find("w_main");
    EXPECT_EQ(main->SourceLen, static_cast<int32_t>(main->SourceText().size()));
    EXPECT_GT(main->SourceLen, 0);
}

// Entries are the same when name and type match: a DataWindow and a window of one
// name keep their own dates and comments. A renamed entry is the old name deleted and
// the new one added.
TEST_F(RefreshTest, EntriesPairByNameAndTypeAndARenameIsADeletionAndAnAddition) {
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    Put(LibPath, {Obj("d_twin", PBORCA_DATAWINDOW, "", "grid"),
                  Obj("d_twin", PBORCA_WINDOW, "window", "frame")});
    Touch();
    Mgr().RefreshAll();

    Put(LibPath, {Win("w_child", "w_main")});
    Remove(LibPath, "w_kid", PBORCA_WINDOW);
    Touch();
    ClearLog();
    Mgr().RefreshAll();
    EXPECT_THAT(LogWith(LibPath),
                ElementsAre("Refreshing library: c:\\r\\a.pbl", "c:\\r\\a.pbl->w_kid deleted.",
                            "c:\\r\\a.pbl->w_child added."));
    const catalogue::TPBObj* grid = lib->Entries[lib->IndexOfEntry("d_twin", PBORCA_DATAWINDOW)];
    const catalogue::TPBObj* frame = lib->Entries[lib->IndexOfEntry("d_twin", PBORCA_WINDOW)];
    EXPECT_EQ(grid->Comment, "grid");
    EXPECT_EQ(frame->Comment, "frame");
    EXPECT_FALSE(grid->Redisplay);
    EXPECT_FALSE(frame->Redisplay);
}

// pb.ini that cannot be read, or a setting that names a folder, is no pb.ini without
// applications: the catalogue stays and the log says why (once per problem on the
// timer).
TEST_F(RefreshTest, AnUnreadablePbIniOrAFolderKeepsTheApplications) {
    const std::string host = prefix.DriveC() + "/pb/pb.ini";
    const std::string good = ReadPBIni();
    const auto keptAfter = [&](const std::string& why) {
        ClearLog();
        Mgr().RefreshAll();
        catalogue::LoadNode(Mgr().Apps[0]);
        catalogue::DetectTimerTimer();
        catalogue::DetectTimerTimer();
        EXPECT_THAT(Names(Mgr().Apps), ElementsAre("one;(c:\\r\\a.pbl)", "two;(c:\\r\\a.pbl)"))
            << why;
        EXPECT_EQ(Mgr().Apps[0]->LibRefs.Count(), 2) << why;
        EXPECT_THAT(LogWith(why), testing::Not(IsEmpty()));
        EXPECT_THAT(LogWith("not read: "), testing::Each(testing::HasSubstr(why)));
    };

    std::filesystem::remove(host);
    std::filesystem::create_symlink("pb.ini", host);  // a loop: open fails
    keptAfter("c:\\pb\\pb.ini not read: ");

    std::filesystem::remove(host);
    testsupport::WriteFile(host, std::string("\xff\xfe[\0A\0]\0", 8));
    keptAfter("it is UTF-16 text");

    testsupport::WriteFile(host, good);
    shell::OptionsForm().PBIniFileName = "c:\\pb";
    Mgr().Location.Clear();
    keptAfter("c:\\pb not read: it is a folder, not a file");
    // At each of the two attempts by hand; the timer does not repeat what the log says.
    EXPECT_THAT(LogWith("is a folder"), testing::SizeIs(2));
}

TEST_F(RefreshTest, ChangedAddedAndDeletedEntriesAreMergedAndEveryReferenceFollows) {
    catalogue::TPBObj* main = lib->Entries.Find("w_main");
    catalogue::TPBObj* keep = lib->Entries.Find("u_keep");

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
    EXPECT_TRUE(main->Redisplay);
    EXPECT_TRUE(keep->Redisplay);
    EXPECT_FALSE(lib->Entries.Find("w_base")->Redisplay);
    EXPECT_EQ(main->Comment, "new comment");
    EXPECT_NE(main->SourceText().find("// v2"), std::string::npos);
    EXPECT_EQ(main->SourceLen, static_cast<int32_t>(main->SourceText().size()));
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

// A pass lists a folder of several libraries once; what it finds is what a search for
// each library would: a name in another letter case, not a folder, not a file that is
// missing, and a file that came since the last pass.
TEST_F(RefreshTest, DetectionFindsEachLibraryAsItsOwnSearchWould) {
    catalogue::TPBLib* later = Mgr().FindLibrary("c:\\r\\later.pbl");
    catalogue::TPBLib* upper = Mgr().FindLibrary("C:\\R\\UPPER.PBL");
    catalogue::TPBLib* folder = Mgr().FindLibrary("c:\\r\\folder.pbl");
    catalogue::TPBLib* missing = Mgr().FindLibrary("c:\\r\\missing.pbl");
    ASSERT_FALSE(later->Exists || upper->Exists || folder->Exists || missing->Exists);
    MakeLibrary("c:\\r\\later.pbl", {Win("w_one")});
    MakeLibrary("c:\\r\\upper.pbl", {Win("w_one")});
    ASSERT_TRUE(platform::ForceDirectories("c:\\r\\folder.pbl"));
    Mgr().DetectChanges();
    EXPECT_TRUE(later->Exists);
    EXPECT_TRUE(upper->Exists);
    EXPECT_FALSE(folder->Exists);
    EXPECT_FALSE(missing->Exists);
    EXPECT_TRUE(lib->Exists);

    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    ClearLog();
    Mgr().DetectChanges();  // the two found since: read now, nothing else
    EXPECT_THAT(LogWith("Refreshing"), ElementsAre("Refreshing library: c:\\r\\later.pbl",
                                                   "Refreshing library: C:\\R\\UPPER.PBL"));
    EXPECT_EQ(later->FileDate, platform::FileAge("c:\\r\\later.pbl"));
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

// A library cut short while it is written is no library whose entries all went: the
// catalogue keeps them and the old date, the hierarchy of every application stays, and
// the next pass reads the library again once it is whole.
TEST_F(RefreshTest, AVanishedOrUnreadableLibraryIsKeptAndReadAgainNextPass) {
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    const std::vector<std::string> before = Names(lib->Entries);
    const std::string whole = testsupport::ReadFile(platform::HostPath(LibPath));
    ASSERT_TRUE(platform::DeleteFile(LibPath));
    Mgr().DetectChanges();
    EXPECT_EQ(Names(lib->Entries), before);
    EXPECT_TRUE(lib->Exists);

    testsupport::WriteFile(platform::HostPath(LibPath), whole.substr(0, whole.size() / 3));
    Touch();
    const platform::TDateTime known = lib->FileDate;
    ClearLog();
    Mgr().RefreshAll();
    EXPECT_THAT(LogWith("Orca Error: LibraryDirectory: c:\\r\\a.pbl  "), testing::SizeIs(1));
    EXPECT_THAT(LogWith("Library not refreshed: the directory of c:\\r\\a.pbl could not be read"),
                testing::SizeIs(1));
    EXPECT_THAT(LogWith(" deleted."), IsEmpty());
    EXPECT_EQ(Names(lib->Entries), before);
    EXPECT_EQ(lib->FileDate, known);
    EXPECT_TRUE(screen.refreshNeeded);  // still to be refreshed
    for (int a = 0; a < 2; ++a) {
        TPBApp* app = Mgr().Apps[a];
        EXPECT_EQ(Names(app->LibRef(a)->ObjRefs), before);
        EXPECT_EQ(Ref(app, "w_far")->Parent, Ref(app, "w_main"));
    }

    // Whole again, with one entry fewer: the next pass merges that.
    testsupport::WriteFile(platform::HostPath(LibPath), whole);
    Remove(LibPath, "w_gone", PBORCA_WINDOW);
    Touch();
    ClearLog();
    Mgr().RefreshAll();
    EXPECT_THAT(LogWith(LibPath),
                ElementsAre("Refreshing library: c:\\r\\a.pbl", "c:\\r\\a.pbl->w_gone deleted."));
    EXPECT_NE(lib->FileDate, known);
    EXPECT_FALSE(screen.refreshNeeded);
}

// An entry the user edited and has not saved keeps its edit whatever the library did
// to it; the log names library and entry, and the user reloads or saves. Once the edit
// is dropped the entry follows the library again.
TEST_F(RefreshTest, AnUnsavedEditSurvivesAChangeOrADeletionOnDisk) {
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    catalogue::TPBObj* main = lib->Entries.Find("w_main");
    catalogue::TPBObj* gone = lib->Entries.Find("w_gone");
    const std::string edited = SourceOf("w_main", PBORCA_WINDOW, "w_base", "// mine\r\n");
    for (catalogue::TPBObj* obj : {main, gone}) {
        obj->Source = edited + '\0';
        obj->SourceLen = static_cast<int32_t>(edited.size());
        obj->Modified = true;
    }
    Put(LibPath, {{"w_main", PBORCA_WINDOW,
                   SourceOf("w_main", PBORCA_WINDOW, "w_base", "// theirs\r\n"), "theirs"}});
    Remove(LibPath, "w_gone", PBORCA_WINDOW);
    Touch();
    ClearLog();
    Mgr().RefreshAll();

    EXPECT_THAT(
        LogWith(LibPath),
        ElementsAre("Refreshing library: c:\\r\\a.pbl",
                    "c:\\r\\a.pbl->w_gone deleted from the library under an unsaved "
                    "edit; the edit is kept (save it to put the object back, or reload it).",
                    "c:\\r\\a.pbl->w_main changed in the library under an unsaved edit; "
                    "the edit is kept (reload the object to drop it, or save it)."));
    ASSERT_EQ(lib->Entries.Find("w_gone"), gone);
    ASSERT_EQ(lib->Entries.Find("w_main"), main);
    for (catalogue::TPBObj* obj : {main, gone}) {
        EXPECT_FALSE(obj->Retired());
        EXPECT_TRUE(obj->Modified);
        EXPECT_EQ(obj->SourceText(), edited);
        EXPECT_EQ(obj->SourceLen, static_cast<int32_t>(edited.size()));
    }
    EXPECT_EQ(main->Comment, "theirs");  // the directory data are the library's
    EXPECT_TRUE(main->Redisplay);
    EXPECT_EQ(Ref(Mgr().Apps[0], "w_gone")->Obj, gone);

    // The user drops the edits (Reload Object): the next refresh treats them as any other.
    main->Modified = gone->Modified = false;
    main->LoadSource();
    EXPECT_NE(main->SourceText().find("// theirs"), std::string::npos);
    Put(LibPath, {Win("w_later")});
    Touch();
    ClearLog();
    Mgr().RefreshAll();
    EXPECT_THAT(LogWith(LibPath),
                ElementsAre("Refreshing library: c:\\r\\a.pbl", "c:\\r\\a.pbl->w_gone deleted.",
                            "c:\\r\\a.pbl->w_later added."));
    EXPECT_EQ(Ref(Mgr().Apps[0], "w_gone"), nullptr);
}

}  // namespace
}  // namespace cattest
