// The search across objects against the real ORCA library: scopes and their order, the
// hits listed, Find Next's questions, replace upon find, Replace/Undo with its shifts and
// refusals, the event loop's turns, and bad patterns and sources.

#include "search/ObjectSearch.h"

#include <gmock/gmock.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "tests/catalogue/CatalogueTestSupport.h"
#include "tests/support/PfcWorkspace.h"

namespace {

using cattest::Entry;
using cattest::SourceOf;
using search::TSearchResult;
using search::TSearchScope;
using testing::ElementsAre;

// A host with a list and no window: answers Find Next from a script.
struct PlainHost : search::TListSearchHost {
    std::vector<int> asked;                    // rows asked about
    std::vector<shell::TModalResult> answers;  // to the questions in turn, then No

    shell::TModalResult AskAfterHit(int row, bool) override {
        asked.push_back(row);
        return asked.size() <= answers.size() ? answers[asked.size() - 1] : shell::mrNo;
    }
};

std::vector<std::string> EntryNames(const std::vector<TSearchResult>& results) {
    std::vector<std::string> out;
    for (const TSearchResult& r : results)
        out.push_back(r.EntryName);
    return out;
}

std::vector<int> AllRows(const std::vector<TSearchResult>& results) {
    std::vector<int> rows(results.size());
    std::iota(rows.begin(), rows.end(), 0);
    return rows;
}

class ObjectSearchTest : public cattest::CatalogueTest {
  protected:
    // An entry whose source holds extra after the declaration.
    static Entry With(const std::string& name, int type, const std::string& extra,
                      std::string ancestor = {}) {
        if (ancestor.empty())
            ancestor = type == PBORCA_WINDOW ? "window" : "nonvisualobject";
        return {name, type, SourceOf(name, type, ancestor, extra), ""};
    }
    // One library of these entries, the one library of an application; the application.
    catalogue::TPBApp* OneLib(const std::string& lib, const std::vector<Entry>& entries) {
        MakeLibrary(lib, entries);
        return LoadApp(lib);
    }
    void Find(const std::string& text, const TSearchScope& scope) {  // Find All
        host.list.SetFindText(text);
        host.list.Options.Exclude(search::srFindNext);
        search.Run(scope);
    }
    static TSearchScope AppScope(catalogue::TPBApp* app) {
        TSearchScope s;
        s.Kind = TSearchScope::Application;
        s.App = app;
        return s;
    }

    PlainHost host;
    search::TObjectSearch search{host};
};

TEST_F(ObjectSearchTest, FindAllListsEveryHitInLibraryObjectAndSourceOrder) {
    MakeLibrary("c:\\w\\one.pbl", {With("w_b", PBORCA_WINDOW, "// aaa\r\n"),
                                   With("w_a", PBORCA_WINDOW, "// aa aa\r\n")});
    MakeLibrary("c:\\w\\two.pbl", {With("n_x", PBORCA_USEROBJECT, "// AA\r\n")});
    MakeLibrary("c:\\w\\three.pbl", {With("w_c", PBORCA_WINDOW, "// nothing\r\n"),
                                     With("n_y", PBORCA_USEROBJECT, "// xaax\r\n")});
    catalogue::TPBApp* app = LoadApp("c:\\w\\one.pbl;c:\\w\\two.pbl;c:\\w\\three.pbl");
    Find("aa", AppScope(app));

    // Overlapping hits ("aaa") are all listed; case does not count by default.
    EXPECT_THAT(EntryNames(host.results), ElementsAre("w_a", "w_a", "w_b", "w_b", "n_x", "n_y"));
    const auto b0 = static_cast<int32_t>(Ref(app, "w_b")->Obj->SourceText().find("aaa"));
    EXPECT_TRUE(host.results[2].SelStart == b0 && host.results[3].SelStart == b0 + 1);
    EXPECT_EQ(host.results[0].Line,
              "w_a" + std::string(30, ' ') + "aa" + std::string(31, ' ') + "c:\\w\\one.pbl");
    EXPECT_EQ(host.results[0].ObjRef(), Ref(app, "w_a"));

    // The type filter: without user objects only the windows' hits are listed.
    host.list.SetChecked(search::cbUserObject, false);
    Find("aa", AppScope(app));
    EXPECT_EQ(host.results.size(), 4u);
}

TEST_F(ObjectSearchTest, HierarchyAndDirectoryScopesKeepTheirOrder) {
    MakeLibrary("c:\\d\\h.pbl", {With("w_base", PBORCA_WINDOW, "//hit\r\n")});
    Put("c:\\d\\h.pbl", {With("w_mid", PBORCA_WINDOW, "//hit\r\n", "w_base"),
                         With("w_leaf", PBORCA_WINDOW, "//hit\r\n", "w_mid"),
                         With("w_aside", PBORCA_WINDOW, "//hit\r\n", "w_base")});
    TSearchScope scope;
    scope.Kind = TSearchScope::Hierarchy;
    scope.ObjRef = Ref(LoadApp("c:\\d\\h.pbl"), "w_base");
    host.list.SetChecked(search::cbWholeWord, true);
    Find("hit", scope);
    // Depth first, children in the order they were attached.
    EXPECT_THAT(EntryNames(host.results), ElementsAre("w_base", "w_aside", "w_mid", "w_leaf"));

    // A directory: its libraries, then its subfolders' trees; no folder whose name holds
    // a dot, and a file that is no library is passed over.
    MakeLibrary("c:\\d\\sub\\deep\\low.pbl", {With("w_low", PBORCA_WINDOW, "//hit\r\n")});
    MakeLibrary("c:\\d\\.hidden\\h.pbl", {With("w_hid", PBORCA_WINDOW, "//hit\r\n")});
    MakeLibrary("c:\\d\\v1.2\\v.pbl", {With("w_ver", PBORCA_WINDOW, "//hit\r\n")});
    testsupport::WriteFile(prefix.DriveC() + "/d/broken.pbl", std::string(600, 'x'));
    scope.Kind = TSearchScope::DirectoryTree;
    scope.Directory = "c:\\d\\";
    Find("hit", scope);
    EXPECT_THAT(EntryNames(host.results),
                ElementsAre("w_aside", "w_base", "w_leaf", "w_mid", "w_low"));
    EXPECT_EQ(host.results[0].ObjRef(), nullptr);  // reached through no application
    EXPECT_EQ(LogWith("Not searched: c:\\d\\broken.pbl cannot be read.").size(), 1u);
}

TEST_F(ObjectSearchTest, ReplaceUndoReplacesWholeHitsAtTheirPlacesOrRefusesAndLogs) {
    catalogue::TPBApp* app =
        OneLib("c:\\r\\r.pbl",
               {With("w_long", PBORCA_WINDOW, "// BEGIN" + std::string(300, 'q') + "END tail\r\n"),
                With("w_one", PBORCA_WINDOW, "// ab ab ab\r\n"),
                With("w_c", PBORCA_WINDOW, "// aaa zz\r\n")});
    catalogue::TPBObj* obj = Ref(app, "w_long")->Obj;
    const std::string original = obj->Source;
    host.list.SetReplaceText("x*y~t");
    Find("BEGIN*END", AppScope(app));
    ASSERT_EQ(host.results.size(), 1u);
    EXPECT_EQ(host.results[0].SelLength, 308);  // the whole hit, though the line shows 255 bytes
    EXPECT_NE(host.results[0].Line.str().find(std::string(250, 'q') + "->x*y\t "),
              std::string::npos);
    EXPECT_EQ(search::ReplaceUndo(host.results, std::vector<int>{0}, host.list).Replaced, 1);
    // The star of a replacement is a star, ~t a tab; the whole hit went.
    EXPECT_TRUE(obj->Modified && obj->SourceText().find("// x*y\t tail") != std::string::npos);
    EXPECT_EQ(search::ReplaceUndo(host.results, std::vector<int>{0}, host.list).Undone, 1);
    EXPECT_EQ(obj->Source, original);

    obj = Ref(app, "w_one")->Obj;
    const std::string plain = obj->Source;
    host.list.SetReplaceText("abXYZ");
    Find("ab", AppScope(app));
    ASSERT_EQ(host.results.size(), 3u);
    const int32_t second = host.results[1].SelStart, third = host.results[2].SelStart;
    // The second and the first, chosen out of order; the third, not chosen, moves too.
    EXPECT_EQ(search::ReplaceUndo(host.results, std::vector<int>{1, 0}, host.list).Replaced, 2);
    EXPECT_TRUE(host.results[1].SelStart == second + 3 && host.results[2].SelStart == third + 6);
    EXPECT_NE(obj->SourceText().find("// abXYZ abXYZ ab\r\n"), std::string::npos);
    // Undone out of order too: the source and every offset are back.
    search::ReplaceUndo(host.results, std::vector<int>{0, 1}, host.list);
    EXPECT_TRUE(obj->Source == plain && host.results[2].SelStart == third);

    // Overlapping hits: the second is refused. An edit (as the panel commits one) moves the
    // text: the hit is refused, not written.
    obj = Ref(app, "w_c")->Obj;
    host.list.SetReplaceText("b");
    Find("aa", AppScope(app));
    ASSERT_EQ(host.results.size(), 2u);  // overlapping
    const auto done = search::ReplaceUndo(host.results, AllRows(host.results), host.list);
    EXPECT_TRUE(done.Replaced == 1 && done.Refused == 1);
    EXPECT_NE(obj->SourceText().find("// ba zz"), std::string::npos);
    EXPECT_EQ(LogWith("overlaps").size(), 1u);
    Find("zz", AppScope(app));
    ASSERT_EQ(host.results.size(), 1u);
    obj->Source.insert(3, "!!");
    const std::string edited = obj->Source;
    EXPECT_EQ(search::ReplaceUndo(host.results, std::vector<int>{0}, host.list).Refused, 1);
    EXPECT_EQ(obj->Source, edited);
    EXPECT_EQ(LogWith("no longer the text").size(), 1u);
}

// Runs of Replace/Undo over chosen rows (only unreplaced hits, only replaced ones, or both
// at once, so the text after each edit moves one way or both ways) leave the source the
// original with exactly the replaced hits changed, and each hit's offset where it now is.
TEST_F(ObjectSearchTest, ReplaceUndoOverAnyRowsKeepsTheSourceAndEveryOffsetExact) {
    std::mt19937 random(12);
    std::string text = "// ";
    for (int i = 0; i < 4000; ++i)
        text += "abc"[random() % 3];
    catalogue::TPBApp* app = OneLib("c:\\m\\m.pbl", {With("w_m", PBORCA_WINDOW, text + "\r\n")});
    catalogue::TPBObj* obj = Ref(app, "w_m")->Obj;
    const std::string original = obj->Source;
    host.list.SetReplaceText("XYZ");
    Find("ab", AppScope(app));
    std::vector<TSearchResult>& hits = host.results;
    ASSERT_GT(hits.size(), 300u);
    std::vector<int32_t> at;
    for (const TSearchResult& r : hits)
        at.push_back(r.SelStart);
    for (int round = 0; round < 120; ++round) {
        std::vector<int> rows;
        for (size_t i = 0; i < hits.size(); ++i)
            if (random() % 3 == 0 && (round % 3 == 2 || hits[i].Replaced == (round % 3 == 1)))
                rows.push_back(static_cast<int>(i));
        std::shuffle(rows.begin(), rows.end(), random);
        const auto done = search::ReplaceUndo(hits, rows, host.list);
        ASSERT_EQ(done.Replaced + done.Undone, static_cast<int>(rows.size()));
        std::string expected;
        size_t from = 0;
        for (size_t i = 0; i < hits.size(); ++i) {
            expected += original.substr(from, static_cast<size_t>(at[i]) - from);
            ASSERT_EQ(hits[i].SelStart, static_cast<int32_t>(expected.size())) << round;
            expected += hits[i].Replaced ? "XYZ" : "ab";
            from = static_cast<size_t>(at[i]) + 2;
        }
        ASSERT_EQ(obj->Source, expected + original.substr(from)) << round;
    }
}

TEST_F(ObjectSearchTest, FindNextQuestionsAndReplaceUponFind) {
    catalogue::TPBApp* app =
        OneLib("c:\\n\\n.pbl", {With("w_n", PBORCA_WINDOW, "// p p p q q\r\n")});
    host.list.SetFindText("p");
    host.list.Add();
    host.list.SetFindText("q");
    host.list.SetChecked(search::cbWholeWord, true);
    host.list.SelectEntry(0);
    host.list.SetChecked(search::cbWholeWord, true);
    host.list.Options.Include(search::srFindNext);
    host.answers = {shell::mrYes, shell::mrAll, shell::mrNo, shell::mrCancel};
    search.Run(AppScope(app));
    // p: asked at 0, All at 1, none at 2; q: asked again at 3 and 4, then cancelled.
    EXPECT_THAT(host.asked, ElementsAre(0, 1, 3, 4));
    EXPECT_EQ(host.results.size(), 5u);

    // Yes in replace mode replaces the hit asked about, and the search goes on after it.
    host.list.Delete();
    host.list.SetReplaceText("pp");
    host.list.Options.Include(search::srReplaceDlg);
    host.answers.insert(host.answers.end(), {shell::mrYes, shell::mrNo, shell::mrYes});
    search.Run(AppScope(app));
    EXPECT_THAT(host.asked, ElementsAre(0, 1, 3, 4, 0, 1, 2));
    EXPECT_NE(Ref(app, "w_n")->Obj->SourceText().find("// pp p pp q q"), std::string::npos);

    // Replace upon find with a replacement that holds the find text: resuming inside it
    // would never end.
    host.list.SetChecked(search::cbWholeWord, false);
    host.list.SetReplaceText("xqy");
    host.list.SetChecked(search::cbReplaceOnFind, true);
    Find("q", AppScope(app));
    EXPECT_TRUE(host.results.size() == 2 && host.results[0].Replaced);
    EXPECT_NE(Ref(app, "w_n")->Obj->SourceText().find("pp xqy xqy\r\n"), std::string::npos);
}

TEST_F(ObjectSearchTest, BadPatternsAndOddSourcesModifyNothing) {
    catalogue::TPBApp* app =
        OneLib("c:\\b\\b.pbl", {With("w_b", PBORCA_WINDOW, "// a\rb\rcd ~ \xDE\r\n")});
    catalogue::TPBObj* obj = Ref(app, "w_b")->Obj;
    obj->GetSource();
    // A NUL byte inside the text, as a broken export could leave one.
    obj->Source.insert(obj->SourceText().find("cd") + 1, 1, '\0');
    obj->SourceLen = static_cast<int32_t>(obj->Source.size() - 1);
    const std::string original = obj->Source;
    for (const char* pattern : {"", "*", "**", "~", "~~", "\xDE", "*x", "~*~*"}) {
        Find(pattern, AppScope(app));
        EXPECT_TRUE(obj->Source == original && !obj->Modified) << pattern;
    }
    EXPECT_EQ(LogWith("Nothing to search for").size(), 5u);  // "", "*", "**", gap, "*x"
    Find("a", TSearchScope{});
    EXPECT_EQ(LogWith("Nothing to search:").size(), 1u);
}

TEST_F(ObjectSearchTest, AnEntryFreedWhileTheSearchPumpsIsSkipped) {
    catalogue::TPBApp* app = OneLib("c:\\f\\f.pbl", {With("w_f1", PBORCA_WINDOW, "// hit\r\n"),
                                                     With("w_f2", PBORCA_WINDOW, "// hit\r\n")});
    // The user deletes the application from pb.ini at the first pump.
    screen.onProcessMessages = [&, deleted = false]() mutable {
        EXPECT_TRUE(std::exchange(deleted, true) || catalogue::DeleteAppFromPBIni(app));
    };
    screen.defaultAnswer = shell::mrYes;
    Find("hit", AppScope(app));
    EXPECT_TRUE(host.results.empty() && Mgr().RetiredCount() == 0);  // freed when it ended
}

// Replace over every hit of a PFC application against a plain replacement of the same text.
TEST_F(ObjectSearchTest, ReplaceOverAPfcApplicationMatchesAPlainReplacement) {
    SKIP_WITHOUT_CORPUS();
    const testsupport::PfcWorkspace ws = testsupport::BuildPfcWorkspace(prefix);
    shell::OptionsForm().PBIniFileName = ws.pbIni;
    Mgr().LoadApplications();
    ASSERT_GT(Mgr().Apps.Count(), 0);
    catalogue::TPBApp* app = Mgr().Apps[0];
    catalogue::LoadNode(app);
    std::map<catalogue::TPBObj*, std::string> before;  // every entry of the application
    for (int i = 0; i < app->LibRefs.Count(); ++i)
        for (int j = 0; j < app->LibRef(i)->ObjRefs.Count(); ++j)
            if (catalogue::TPBObj* o = app->LibRef(i)->ObjRef(j)->Obj; o->Lib)
                before[o] = std::string(o->GetSource());

    // The event loop runs between objects and hits, but not at every hit (a turn per hit
    // froze the window for seconds); Cancel in a turn ends the run there.
    int turns = 0;
    screen.onProcessMessages = [&] { search.Stop(); };
    Find("return", AppScope(app));
    const size_t cancelled = host.results.size();
    screen.onProcessMessages = [&] { ++turns; };
    Find("return", AppScope(app));
    ASSERT_GT(host.results.size(), std::max<size_t>(1000, cancelled));
    EXPECT_LT(turns, static_cast<int>(host.results.size()) / 5);

    // sorvanti-cli prints the same hits, each at its line and column.
    std::string expected;
    for (const TSearchResult& hit : host.results) {
        const std::string_view text = hit.Object()->SourceText();
        const auto at = static_cast<size_t>(hit.SelStart);
        const size_t start = text.rfind('\n', at - 1) + 1;  // 0 on the first line
        expected += hit.Lib->Name + "(" + hit.EntryName.str() +
                    "):" + std::to_string(std::count(text.begin(), text.begin() + at, '\n') + 1) +
                    ":" + std::to_string(at - start + 1) + ": " +
                    std::string(text.substr(start, text.find_first_of("\r\n", at) - start)) + "\n";
    }
    FILE* cli =
        ::popen(("SORVANTI_PREFIX='" + prefix.PrefixPath() + "' '" SORVANTI_CLI "' --pbini '" +
                 ws.pbIni + "' search '" + app->Name + "' return")
                    .c_str(),
                "r");
    std::string printed;
    for (int c; (c = std::fgetc(cli)) != EOF;)
        printed += static_cast<char>(c);
    EXPECT_EQ(::pclose(cli), 0);
    EXPECT_EQ(printed, expected);

    host.list.SetReplaceText("Return_X");  // chosen when the hits are replaced
    EXPECT_EQ(search::ReplaceUndo(host.results, AllRows(host.results), host.list).Refused, 0);

    // The reference: every "return" in any case, left to right, without overlaps.
    const auto plain = [](std::string text) {
        std::string upper = platform::AnsiUpperCase(text), out;
        size_t at = 0;
        for (size_t hit; (hit = upper.find("RETURN", at)) != std::string::npos; at = hit + 6)
            out += text.substr(at, hit - at) + "Return_X";
        return out + text.substr(at);
    };
    for (const auto& [obj, source] : before) {
        const bool hit = platform::AnsiUpperCase(source).find("RETURN") != std::string::npos;
        EXPECT_TRUE(obj->Source == (hit ? plain(source) : source) && obj->Modified == hit)
            << obj->Name;
    }
}

}  // namespace
