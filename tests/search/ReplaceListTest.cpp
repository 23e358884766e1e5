// The replace list: entry lines, the check boxes and options that follow the current
// entry, the list operations, and replace-list files good and bad.

#include "search/ReplaceList.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/AtomicFile.h"
#include "tests/support/TestSupport.h"

namespace search {
namespace {

using namespace std::string_literals;
using testing::AllOf;
using testing::HasSubstr;
using Lines = std::vector<std::string>;

const std::string S = "\x05";                 // the separator of an entry's fields
const std::string AllTypes = "111111111111";  // ALL and the eleven types
const std::string Bom = "\xEF\xBB\xBF";       // a UTF-8 byte-order mark

// An entry line from its texts and the option fields written as "1...0".
std::string Line(std::string_view find, std::string_view replace, std::string_view options) {
    std::string line = std::string(find) + S + std::string(replace);
    for (char c : options)
        line += S + c;
    return line;
}

TEST(ReplaceList, TheBoxesFollowAndEncodeTheCurrentEntryThroughTheListOperations) {
    TReplaceList list;
    EXPECT_EQ(list.EntryLines(), Lines{Line("", "", AllTypes + "00")});
    const TSearchOptions allTypes = list.Options;
    // Unchecking a type unchecks ALL and nothing else; ALL sets every type.
    list.SetChecked(cbMenu, false);
    EXPECT_EQ(list.EntryLines()[0], Line("", "", "01110111111100"));
    EXPECT_TRUE(!list.Options.Contains(srMenu) && list.Options.Contains(srWindow));
    list.SetChecked(cbAllOptions, true);
    EXPECT_EQ(list.Options, allTypes);
    list.SetChecked(cbAllOptions, false);
    EXPECT_EQ(list.Options, TSearchOptions{srDown});
    list.SetChecked(cbAllOptions, true);

    list.SetFindText("dw_1;dw_2");  // a semicolon is an ordinary character here
    list.SetReplaceText("dw_main");
    list.SetChecked(cbWholeWord, true);
    list.SetChecked(cbReplaceOnFind, true);  // not part of any entry
    list.Add();
    EXPECT_EQ(list.EntryLines()[1], S);  // no option fields until something changes
    list.SetFindText("of_x");
    list.SetChecked(cbWholeWord, false);
    list.SetChecked(cbMatchCase, true);
    EXPECT_EQ(list.EntryLines(), (Lines{Line("dw_1;dw_2", "dw_main", AllTypes + "10"),
                                        Line("of_x", "", AllTypes + "01")}));
    list.SelectEntry(0);
    EXPECT_TRUE(list.Options.Contains(srWholeWord) && !list.Options.Contains(srMatchCase));
    EXPECT_TRUE(list.Checked(cbReplaceOnFind));
    EXPECT_EQ(list.IndexOfFindText("OF_X"), 1);
    // Bytes a line cannot hold are dropped from typed texts.
    list.SetFindText("a" + S + "b\r\nc\td\x01");
    EXPECT_EQ(list.CurrentFindText(), "abc\td");

    // Applying an entry clicks the boxes in order: ALL, then a type that is off, so ALL
    // ends unchecked and the entry says so.
    ASSERT_EQ(list.LoadFromText(Line("a", "b", "10111111111111"), "x.gsr"), "");
    EXPECT_FALSE(list.Checked(cbAllOptions));
    EXPECT_EQ(list.EntryLines()[0], Line("a", "b", "00111111111111"));

    // The list operations, from that one entry "a".
    list.Add();
    list.SetFindText("c");
    list.Insert();  // before "c"
    list.SetFindText("b");
    EXPECT_EQ(list.FindText(0) + list.FindText(1) + list.FindText(2), "abc");
    list.SelectEntry(2);
    list.Delete();  // the last entry: the new last one becomes current
    EXPECT_EQ(list.CurrentFindText(), "b");
    list.Delete();
    list.Delete();  // the only entry stays
    EXPECT_TRUE(list.Count() == 1 && list.CurrentFindText() == "a");
    list.SetChecked(cbMatchCase, true);
    list.Clear();
    EXPECT_TRUE(list.EntryLines() == Lines{S} && list.Checked(cbMatchCase));  // boxes kept
}

// What editors put around the lines (any line end, blank lines, a byte-order mark, a
// closing Ctrl-Z) is skipped; missing option fields take their defaults. Signs and extra
// fields are accepted; the extra fields are kept but never applied.
TEST(ReplaceListFile, EditedFilesLoad) {
    const std::string a = Line("a", "b", AllTypes + "00"), c = Line("c", "", AllTypes + "00");
    const std::string signs = Line("a", "b" + S + "-1" + S + "+1" + S + "007", "111111111") + S +
                              "0" + S + "-0" + S + "1" + S + "x";
    const std::pair<std::string, Lines> cases[] = {
        {"a" + S + "b\nc" + S + "\rx" + S + "y" + S + "0",
         {a, c, Line("x", "y", "01111111111100")}},
        {"\r\n\r\na" + S + "b\r\n \t\r\n\r\nc" + S + "\r\n\r\n", {a, c}},
        {Bom + "a" + S + "b\r\n", {a}},
        {"a" + S + "b\r\nc" + S + "\x1A", {a, c}},
        {Bom + "a" + S + "b\r\n\r\n\x1A", {a}},
        {signs, {signs}},
    };
    for (const auto& [bytes, lines] : cases) {
        TReplaceList list;
        EXPECT_EQ(list.LoadFromText(bytes, "x"), "");
        EXPECT_EQ(list.EntryLines(), lines);
        // Entry 0 applied: ALL and the types checked, nothing else.
        EXPECT_TRUE(list.Checked(cbAllOptions) && list.Checked(cbDatawindow) &&
                    !list.Checked(cbMatchCase) && !list.Checked(cbReplaceOnFind));
    }
}

TEST(ReplaceListFile, BadFilesChangeNothingAndSayWhy) {
    const std::string good = Line("a", "b", "11111111111100") + "\r\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "holds no entries"},
        {Bom + "\r\n \r\n\x1A", "holds no entries"},
        {good + "\r\nonly find text\r\n", "line 3: no separator"},
        {Line("a", "b", "1x") + "\r\n", "line 1: option field 2 is not a number: \"x\""},
        {Line("a", "b", "1") + S + "\r\n", "line 1: option field 2 is not a number"},
        {Line("a", "b", "1") + S + " 1\r\n", "option field 2 is not a number"},
        {good + "a" + S + "b\0c"s, "line 2 holds binary data"},
        {good + "\x1A\r\n", "line 2 holds binary data"},  // a Ctrl-Z that does not end it
        {"\177ELF\x02\x01\x01" + S, "holds binary data"},
        {std::string(TReplaceList::MaxLineBytes + 1, 'x') + S, "longer than 65536 bytes"},
        {std::string(TReplaceList::MaxFileBytes + 1, '\n'), "too large"},
    };
    for (const auto& [bytes, message] : cases) {
        TReplaceList list;
        list.SetFindText("kept");
        list.SetChecked(cbMatchCase, true);
        const auto before = list.EntryLines();
        EXPECT_THAT(list.LoadFromText(bytes, "c:\\bad.gsr"),
                    AllOf(HasSubstr(message), HasSubstr("c:\\bad.gsr")));
        EXPECT_EQ(list.EntryLines(), before);
        EXPECT_TRUE(list.CurrentFindText() == "kept" && list.Options.Contains(srMatchCase));
    }
}

// A saved list loads back; a list that cannot be read or written changes nothing, and a
// failed write leaves the old file as it was.
TEST(ReplaceListFile, SavedListsLoadBackAndFailuresChangeNothing) {
    testsupport::TempPrefix prefix;
    TReplaceList list;
    list.SetFindText(Bom + "~n*;x");  // begins as a byte-order mark would
    list.SetReplaceText("a;b");
    list.SetChecked(cbWholeWord, true);
    list.Add();
    list.SetFindText("\xE9t\xE9");
    list.SetChecked(cbQuery, false);
    ASSERT_EQ(list.SaveToFile("c:\\lists.gsr"), "");
    EXPECT_EQ(testsupport::ReadFile(prefix.DriveC() + "/lists.gsr"),
              Bom + list.EntryLines()[0] + "\r\n" + list.EntryLines()[1] + "\r\n");
    TReplaceList loaded;
    ASSERT_EQ(loaded.LoadFromFile("C:\\LISTS.GSR"), "");
    EXPECT_EQ(loaded.EntryLines(), list.EntryLines());
    EXPECT_TRUE(loaded.Checked(cbWholeWord));  // entry 0 applied

    EXPECT_THAT(loaded.LoadFromFile("c:\\missing.gsr"),
                HasSubstr("Cannot read the replace list \"c:\\missing.gsr\""));
    EXPECT_EQ(loaded.EntryLines(), list.EntryLines());
    EXPECT_THAT(list.SaveToFile("c:\\no such folder\\x.gsr"),
                HasSubstr("Cannot write the replace list"));
    testsupport::WriteFile(prefix.DriveC() + "/old.gsr", "old" + S + "list\r\n");
    platform::FailNextAtomicWriteAfter(3);
    EXPECT_NE(list.SaveToFile("c:\\old.gsr"), "");
    platform::FailNextAtomicWriteAfter(-1);
    EXPECT_EQ(testsupport::ReadFile(prefix.DriveC() + "/old.gsr"), "old" + S + "list\r\n");
}

}  // namespace
}  // namespace search
