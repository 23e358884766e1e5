// String, file-name and list helpers that need no files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "shell/utilities.h"

namespace shell {
namespace {

std::vector<std::string> Split(std::string_view text, std::string_view separator = ";") {
    std::vector<std::string> pieces;
    SplitString(text, pieces, separator);
    return pieces;
}

using Pieces = std::vector<std::string>;

TEST(SplitString, PiecesBetweenSeparators) {
    EXPECT_EQ(Split("a;b;"), (Pieces{"a", "b"}));
    EXPECT_EQ(Split(""), Pieces{});
    EXPECT_EQ(Split(";a"), (Pieces{"", "a"}));
    EXPECT_EQ(Split("a;;b"), (Pieces{"a", "", "b"}));
    EXPECT_EQ(Split(";"), (Pieces{""}));
    EXPECT_EQ(Split("c:\\a.pbl,c:\\b.pbl", ","), (Pieces{"c:\\a.pbl", "c:\\b.pbl"}));
    EXPECT_EQ(Split("a<>b<>", "<>"), (Pieces{"a", "b"}));
}

TEST(SplitString, LongPiecesComeBackWhole) {
    // A library search path easily has a last piece of more than a thousand characters.
    std::string longPiece(5000, 'x');
    longPiece[999] = 'A';
    longPiece[1000] = 'B';
    EXPECT_EQ(Split(longPiece), Pieces{longPiece});
    EXPECT_EQ(Split("first;" + longPiece), (Pieces{"first", longPiece}));
    EXPECT_EQ(Split(longPiece + ";last"), (Pieces{longPiece, "last"}));
}

TEST(SplitString, AppendsToTheListAndJoinsBack) {
    TStringList list{"kept"};
    SplitString("c:\\a.pbl;c:\\b.pbl", list);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[0], "kept");
    EXPECT_EQ(JoinStrings(list), "kept;c:\\a.pbl;c:\\b.pbl");
    EXPECT_EQ(JoinStrings(list, ", "), "kept, c:\\a.pbl, c:\\b.pbl");
    EXPECT_EQ(JoinStrings(TStringList{}), "");
    Pieces v{"a", "", "b"};
    EXPECT_EQ(JoinStrings(v), "a;;b");
}

TEST(PosFrom, OneBasedFromAStart) {
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 1), 3);
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 4), 7);
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 8), 0);
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 0), 3);
    EXPECT_EQ(PosFrom("", "xx", 1), 0);
}

TEST(IndexOfString, ExactAndCaseSensitive) {
    EXPECT_EQ(IndexOfString("menu", {"window", "menu", "menu"}), 1);
    EXPECT_EQ(IndexOfString("Menu", {"window", "menu"}), -1);
    std::vector<std::string> table{"a", "b"};
    EXPECT_EQ(IndexOfString("b", table), 1);
    EXPECT_EQ(IndexOfString("", table), -1);
}

TEST(ExtractWildcardPart, TextTheStarStandsFor) {
    EXPECT_EQ(ExtractWildcardPart("CheckBoxMenuOption", "CheckBox*Option"), "Menu");
    EXPECT_EQ(ExtractWildcardPart("CheckBoxAllOptions", "CheckBox*Option"), "All");
    EXPECT_EQ(ExtractWildcardPart("RadioAllOptions", "CheckBox*Option"), "");
    EXPECT_EQ(ExtractWildcardPart("CheckBoxAll", "CheckBox*Option"), "");
    EXPECT_EQ(ExtractWildcardPart("CheckBoxOption", "CheckBox*Option"), "");
    EXPECT_EQ(ExtractWildcardPart("xCheckBoxAll", "CheckBox*"), "All");
    EXPECT_EQ(ExtractWildcardPart("AllOption", "*Option"), "All");
    EXPECT_EQ(ExtractWildcardPart("CheckBoxAllOption", "CheckBox"), "");
}

TEST(FindBytes, StaysWithinStartAndLastStart) {
    std::string buffer = "abcXYZabcXYZ";
    EXPECT_EQ(FindBytes("XYZ", buffer, 0, buffer.size()), 3);
    EXPECT_EQ(FindBytes("XYZ", buffer, 4, buffer.size()), 9);
    EXPECT_EQ(FindBytes("XYZ", buffer, 4, 8), -1);
    EXPECT_EQ(FindBytes("XYZ", buffer, 4, 9), 9);
    EXPECT_EQ(FindBytes("XYZ", buffer, 10, 100), -1);
    EXPECT_EQ(FindBytes("XYZ", buffer, 100, 200), -1);
    EXPECT_EQ(FindBytes("", buffer, 0, 5), -1);
    EXPECT_EQ(FindBytes("abcXYZabcXYZ!", buffer, 0, 0), -1);
    // A match may not run past the end of the buffer even when lastStart allows it.
    EXPECT_EQ(FindBytes("ZZ", std::string_view(buffer).substr(0, 12), 0, 12), -1);
    std::string withNul("a\0b\0c", 5);
    EXPECT_EQ(FindBytes(std::string_view("\0c", 2), withNul, 0, 10), 3);
}

TEST(SecondsToDateTime, WholeDaysAndFraction) {
    EXPECT_DOUBLE_EQ(SecondsToDateTime(0, 25569.0), 25569.0);
    EXPECT_DOUBLE_EQ(SecondsToDateTime(86400 + 43200, 25569.0), 25570.5);
    EXPECT_DOUBLE_EQ(SecondsToDateTime(946684800, 25569.0), 36526.0);  // 2000-01-01
}

TEST(ExtractDirAndFileNameNoExt, WindowsPaths) {
    EXPECT_EQ(ExtractDir("c:\\apps\\sales.pbl"), "c:\\apps");
    EXPECT_EQ(ExtractDir("c:\\pb050.exe"), "c:");
    EXPECT_EQ(ExtractDir("c:sales.pbl"), "c:");
    EXPECT_EQ(ExtractDir("sales.pbl"), "");
    EXPECT_EQ(ExtractDir("\\\\server\\share\\x.pbl"), "\\\\server\\share");
    EXPECT_EQ(FileNameNoExt("c:\\apps\\sales.v2.pbl"), "sales");
    EXPECT_EQ(FileNameNoExt("c:sales"), "sales");
    EXPECT_EQ(FileNameNoExt("c:\\apps.d\\noext"), "noext");
}

struct Named {
    int id;
};

TEST(SortStrings, ObjectsTravelWithTheirStrings) {
    Named a{1}, b{2}, c{3};
    TStringList list;
    list.Add("w_main", &b);
    list.Add("d_list", &a);
    list.Add("m_frame", &c);
    SortStrings(list, [](const TStringItem& x, const TStringItem& y) {
        return x.String.compare(y.String);
    });
    EXPECT_EQ(list.Strings(), (Pieces{"d_list", "m_frame", "w_main"}));
    EXPECT_EQ(list.Object(0), &a);
    EXPECT_EQ(list.Object(1), &c);
    EXPECT_EQ(list.Object(2), &b);
}

TEST(SortStrings, SortsManyItemsAndSurvivesAnInconsistentCompare) {
    std::mt19937 random(7);
    TStringList list;
    std::vector<std::string> expected;
    for (int i = 0; i < 2000; ++i) {
        std::string s = std::to_string(random() % 500);  // many duplicates
        list.Add(s);
        expected.push_back(s);
    }
    std::sort(expected.begin(), expected.end());
    auto byString = [](const TStringItem& x, const TStringItem& y) {
        return x.String.compare(y.String);
    };
    SortStrings(list, byString);
    EXPECT_EQ(list.Strings(), expected);
    SortStrings(list, byString);  // already sorted
    EXPECT_EQ(list.Strings(), expected);

    // A compare that contradicts itself must neither crash nor lose items.
    SortStrings(list, [&](const TStringItem&, const TStringItem&) {
        return static_cast<int>(random() % 3) - 1;
    });
    auto strings = list.Strings();
    std::sort(strings.begin(), strings.end());
    EXPECT_EQ(strings, expected);
    SortStrings(list, [](const TStringItem&, const TStringItem&) { return -1; });
    SortStrings(list, [](const TStringItem&, const TStringItem&) { return 1; });
    EXPECT_EQ(list.Count(), 2000);
}

TEST(CStrings, EachConversionKeepsItsOwnBufferAndAnyLength) {
    char* one = CStr1("first");
    char* two = CStr2("second");
    char* three = CStr3("third");
    char* four = CStr4("fourth");
    EXPECT_STREQ(one, "first");
    EXPECT_STREQ(two, "second");
    EXPECT_STREQ(three, "third");
    EXPECT_STREQ(four, "fourth");

    std::string longText(5000, 'p');
    longText.back() = 'Z';
    char* converted = CStr1(longText);
    EXPECT_EQ(std::strlen(converted), 5000u);
    EXPECT_EQ(converted[4999], 'Z');
    EXPECT_STREQ(CStr2("again"), "again");
    EXPECT_EQ(std::string(converted), longText);  // untouched by the other conversion
    EXPECT_STREQ(CStr1(""), "");
}

}  // namespace
}  // namespace shell
