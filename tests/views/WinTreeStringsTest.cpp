// The outline's text form: reading levels and line ends, the buffer limit, errors that
// keep what was read, Lines, files.

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "tests/support/TestSupport.h"
#include "views/CustomWinTree.h"

namespace views {
namespace {

// Loads text; the error message, or an empty text when it loaded.
std::string Load(TCustomWinTree& tree, std::string_view text) {
    try {
        tree.Lines().SetText(text);
        return {};
    } catch (const EWinTreeError& e) {
        return e.what();
    }
}

// What a text loads as (saved again), or the error it raises with what it keeps.
TEST(WinTreeText, ReadingLevelsAndLineEnds) {
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // text, error, saved
        {"A\r\n\tB\r\n\t\tG\r\nH\r\n", "", "A\r\n\tB\r\n\t\tG\r\nH\r\n"},
        // Blanks count as tabs; a shallower line closes as many levels as it drops.
        {"A\r\n B\r\n \tG\r\n\tC\r\nD", "", "A\r\n\tB\r\n\t\tG\r\n\tC\r\nD\r\n"},
        // The first line may have one tab: still top level, its level-mates siblings.
        {"\tA\r\n\tB\r\n\t\tC\r\n", "", "A\r\nB\r\n\tC\r\n"},
        // Empty lines are items with empty text.
        {"A\r\n\r\n\t\r\n", "", "A\r\n\r\n\t\r\n"},
        // A bad level keeps the lines read before it.
        {"A\r\n\tB\r\n\t\t\tX\r\nC\r\n", "File load error", "A\r\n\tB\r\n"},
        {"\tA\r\nB\r\n", "File load error", "A\r\n"},
        {"\t\tA\r\n", "File load error", ""},
        // CR alone ends a line; LF line ends; LF then an empty CRLF line.
        {"A\rB\r\n\r\nC", "", "A\r\nB\r\n\r\nC\r\n"},
        {"A\n\tB\nC\n", "", "A\r\n\tB\r\nC\r\n"},
        {"A\n\r\nB", "", "A\r\n\r\nB\r\n"},
        // Ctrl-Z ends the input, in a line or after one.
        {"A\r\nB\x1a\r\nC\r\n", "", "A\r\nB\r\n"},
        {"A\r\n\x1a\t\t\tX", "", "A\r\n"},
        // Other bytes, NUL included, are text.
        {std::string("a\0b\xff\r\n", 6), "", std::string("a\0b\xff\r\n", 6)},
    };
    for (const auto& [text, error, saved] : cases) {
        TCustomWinTree tree;
        EXPECT_EQ(Load(tree, text), error) << text;
        EXPECT_EQ(tree.Lines().Text(), saved) << text;
        EXPECT_TRUE(!error.empty() || tree.RowCount() == tree.Root()->ChildCount());  // collapsed
    }
}

// A line must end within the buffer, leading tabs included; what was read before the
// long line stays. (The depth limit is the model's test.)
TEST(WinTreeText, LineMustEndWithinTheBuffer) {
    TCustomWinTree tree;
    const std::string longest(OutlineBufferSize - 1, 'x');
    ASSERT_EQ(Load(tree, "A\r\n" + longest + "\r\nB\r\n"), "");
    EXPECT_EQ(tree.Items(2)->Text().size(), OutlineBufferSize - 1);
    ASSERT_EQ(Load(tree, "A\r\n" + longest), "");  // last line without a line end
    EXPECT_EQ(tree.ItemCount(), 2);
    const std::string tooLong(OutlineBufferSize, 'x');
    EXPECT_EQ(Load(tree, "A\r\n\tB\r\n" + tooLong + "\r\nC\r\n"), "Line too long");
    EXPECT_EQ(tree.Lines().Text(), "A\r\n\tB\r\n");
    EXPECT_EQ(Load(tree, "A\r\n" + tooLong), "Line too long");
    EXPECT_EQ(tree.Lines().Text(), "A\r\n");
    EXPECT_EQ(Load(tree, "A\r\n\t" + longest + "\r\n"), "Line too long");
}

// Lines adds each line as a file's next line would be read.
TEST(WinTreeText, LinesView) {
    TCustomWinTree tree;
    int data = 0;
    TWinTreeStrings& lines = tree.Lines();
    EXPECT_EQ(lines.Add("A"), 0);
    EXPECT_EQ(lines.AddObject("\tB", &data), 1);
    EXPECT_EQ(lines.Add("\t\tG"), 2);
    EXPECT_EQ(lines.Add("\tC"), 3);  // sibling of B, after G
    EXPECT_EQ(lines.Add("H"), 4);
    EXPECT_THROW(lines.Add("\t\t\tX"), EWinTreeError);
    EXPECT_EQ(lines.Count(), 5);
    EXPECT_EQ(lines[2], "\t\tG");
    EXPECT_EQ(lines.Objects(1), &data);
    EXPECT_EQ(tree.Items(4)->Parent()->Text(), "A");
}

TEST(WinTreeText, Files) {
    testsupport::TempPrefix prefix;
    TCustomWinTree tree;
    std::string text;  // many buffers' worth, each line at most one level deeper than the last
    for (int i = 0; i < 2000; ++i)
        text += std::string(i % 4u, '\t') + "item " + std::to_string(i) + "\r\n";
    tree.Lines().SetText(text);
    tree.SaveToFile("c:\\trees\\..\\tree.txt");
    EXPECT_EQ(testsupport::ReadFile(prefix.DriveC() + "/tree.txt"), text);

    TCustomWinTree loaded;
    loaded.Add(0, "old");
    loaded.LoadFromFile("C:\\TREE.TXT");
    EXPECT_EQ(loaded.Lines().Text(), text);

    // A file that cannot be read leaves the tree alone; a failed write says why.
    EXPECT_THROW(loaded.LoadFromFile("c:\\missing.txt"), EWinTreeError);
    EXPECT_EQ(loaded.ItemCount(), 2000);
    EXPECT_THROW(tree.SaveToFile("c:\\no such dir\\tree.txt"), EWinTreeError);
}

}  // namespace
}  // namespace views
