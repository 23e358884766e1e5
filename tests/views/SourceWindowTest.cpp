// The source panel's model: the window over long sources, line ends kept byte for byte,
// and commits that write only into the source that was shown.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "views/SourceWindow.h"

namespace {

using views::TSourceWindow;

class SourceWindowTest : public ::testing::Test {
  protected:
    catalogue::TOrcaMgr mgr;
    catalogue::TPBLib lib{mgr, "c:\\nowhere\\test.pbl"};

    catalogue::TPBObj* AddEntry(const std::string& name, const std::string& source) {
        auto obj = std::make_unique<catalogue::TPBObj>(name, &lib);
        obj->EntryType = PBORCA_WINDOW;
        obj->Source = source + '\0';
        obj->SourceLen = static_cast<int32_t>(source.size());
        return lib.Entries.Add(name, std::move(obj));
    }
    static std::string Text(const catalogue::TPBObj& obj) {
        return obj.Source.substr(0, obj.Source.size() - 1);
    }
    // n characters, a line end every 50.
    static std::string Lines(size_t n) {
        std::string s;
        for (size_t i = 0; s.size() < n; ++i)
            s += (s.size() % 52 == 50) ? std::string("\r\n") : std::string(1, char('a' + i % 26));
        s.resize(n);
        return s;
    }
};

TEST_F(SourceWindowTest, WindowBoundsFollowTheOffsetAndStayInsideTheSource) {
    EXPECT_EQ(views::SourceWindowBounds(25000, 50000).W0, 15000);
    EXPECT_EQ(views::SourceWindowBounds(25000, 50000).W1, 35000);
    EXPECT_EQ(views::SourceWindowBounds(3000, 50000).W0, 0);
    EXPECT_EQ(views::SourceWindowBounds(3000, 50000).W1, 20000);
    EXPECT_EQ(views::SourceWindowBounds(45000, 50000).W0, 35000);
    EXPECT_EQ(views::SourceWindowBounds(45000, 50000).W1, 50000);

    std::string whole(30000, 'x'), longer(30001, 'x');
    TSourceWindow w;
    ASSERT_TRUE(w.Show(*AddEntry("w_whole", whole), 0, 0));
    EXPECT_FALSE(w.Windowed());
    EXPECT_EQ(w.Text().size(), 30000u);
    ASSERT_TRUE(w.Show(*AddEntry("w_long", longer), 0, 0));
    EXPECT_TRUE(w.Windowed());
    EXPECT_EQ(w.Text().size(), 20000u);
}

TEST_F(SourceWindowTest, SelectionMapsByteOffsetsPastFoldedLineEnds) {
    catalogue::TPBObj* obj = AddEntry("w_a", "ab\r\ncd\r\nef");
    TSourceWindow w;
    ASSERT_TRUE(w.Show(*obj, 8, 2));  // "ef"
    EXPECT_EQ(w.Text(), "ab\ncd\nef");
    EXPECT_EQ(
        w.Text().substr(static_cast<size_t>(w.SelStart()), static_cast<size_t>(w.SelLength())),
        "ef");

    std::string big = Lines(50000);
    catalogue::TPBObj* large = AddEntry("w_large", big);
    ASSERT_TRUE(w.Show(*large, 25000, 5));
    EXPECT_EQ(w.Bounds().W0, 15000);
    // The selection covers the same characters as the bytes asked for.
    std::string selected =
        w.Text().substr(static_cast<size_t>(w.SelStart()), static_cast<size_t>(w.SelLength()));
    std::string expected = big.substr(25000, 5);
    std::erase(expected, '\r');
    EXPECT_EQ(selected, expected);
}

TEST_F(SourceWindowTest, UnchangedAndEditedTextKeepEveryUntouchedByte) {
    // Mixed line ends: CR LF, a lone LF, a lone CR; no end after the last line.
    const std::string source = "line1\r\nline2\nline3\rline4\r\nlast";
    catalogue::TPBObj* obj = AddEntry("w_mixed", source);
    TSourceWindow w;
    ASSERT_TRUE(w.Show(*obj, 0, 0));
    ASSERT_EQ(w.Commit(w.Text()), TSourceWindow::TCommit::Written);
    EXPECT_EQ(Text(*obj), source);

    std::string edited = w.Text();
    edited.replace(edited.find("line3"), 5, "LINE3\nnew");
    ASSERT_EQ(w.Commit(edited), TSourceWindow::TCommit::Written);
    EXPECT_EQ(Text(*obj), "line1\r\nline2\nLINE3\r\nnew\rline4\r\nlast");
    EXPECT_TRUE(obj->Modified);
    EXPECT_EQ(obj->SourceLen, static_cast<int32_t>(Text(*obj).size()));
}

TEST_F(SourceWindowTest, WindowedCommitReplacesOnlyTheWindow) {
    std::string big = Lines(50000);
    catalogue::TPBObj* obj = AddEntry("w_big", big);
    TSourceWindow w;
    ASSERT_TRUE(w.Show(*obj, 45000, 0));
    std::string edited = "X" + w.Text();
    ASSERT_EQ(w.Commit(edited), TSourceWindow::TCommit::Written);
    EXPECT_EQ(Text(*obj), big.substr(0, 35000) + "X" + big.substr(35000));
    EXPECT_EQ(obj->Source.back(), '\0');
    // A second edit in the same showing splices into the source as it now is.
    ASSERT_EQ(w.Commit("Y" + edited), TSourceWindow::TCommit::Written);
    EXPECT_EQ(Text(*obj), big.substr(0, 35000) + "YX" + big.substr(35000));
}

TEST_F(SourceWindowTest, ChangedOrDeletedSourceIsNeverOverwritten) {
    catalogue::TPBObj* obj = AddEntry("w_b", "original\r\n");
    TSourceWindow w;
    ASSERT_TRUE(w.Show(*obj, 0, 0));
    // A reload or a refresh changed the source after it was shown.
    obj->Source = std::string("reloaded\r\n") + '\0';
    obj->SourceLen = 10;
    EXPECT_EQ(w.Commit("user text\n"), TSourceWindow::TCommit::SourceChanged);
    EXPECT_EQ(Text(*obj), "reloaded\r\n");
    EXPECT_FALSE(obj->Modified);

    ASSERT_TRUE(w.Show(*obj, 0, 0));
    lib.Entries.Take(lib.IndexOfEntry("w_b", PBORCA_WINDOW));
    EXPECT_EQ(w.Object(), nullptr);
    EXPECT_EQ(w.Commit("user text\n"), TSourceWindow::TCommit::ObjectGone);
}

TEST_F(SourceWindowTest, TwoPanelsCommitEachIntoItsOwnObject) {
    catalogue::TPBObj* a = AddEntry("w_one", "one\r\n");
    catalogue::TPBObj* b = AddEntry("w_two", "two\r\n");
    TSourceWindow first, second;
    ASSERT_TRUE(first.Show(*a, 0, 0));
    ASSERT_TRUE(second.Show(*b, 0, 0));
    ASSERT_EQ(first.Commit("ONE\n"), TSourceWindow::TCommit::Written);
    EXPECT_EQ(Text(*a), "ONE\r\n");
    EXPECT_EQ(Text(*b), "two\r\n");
    EXPECT_FALSE(b->Modified);
}

TEST_F(SourceWindowTest, AnObjectWithoutSourceChangesNothing) {
    catalogue::TPBObj* a = AddEntry("w_shown", "shown\r\n");
    auto empty = std::make_unique<catalogue::TPBObj>("w_empty", &lib);
    empty->EntryType = PBORCA_WINDOW;
    empty->LoadFailed = true;  // nothing to export on demand
    TSourceWindow w;
    ASSERT_TRUE(w.Show(*a, 0, 0));
    EXPECT_FALSE(w.Show(*empty, 0, 0));
    EXPECT_EQ(w.Object(), a);
}

}  // namespace
