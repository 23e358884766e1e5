// String, file-name and list helpers that need no files.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "shell/utilities.h"

namespace shell {
namespace {

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string> pieces;
    SplitString(text, pieces, separator);
    return pieces;
}

using Pieces = std::vector<std::string>;

TEST(SplitString, PiecesBetweenSeparatorsAppendedAndJoinedBack) {
    // A library search path easily has a last piece of more than a thousand characters.
    std::string longPiece(5000, 'x');
    longPiece[999] = 'A';
    const std::tuple<std::string, std::string, Pieces> cases[] = {
        {"a;b;", ";", {"a", "b"}},
        {"", ";", {}},
        {";a", ";", {"", "a"}},
        {"a;;b", ";", {"a", "", "b"}},
        {";", ";", {""}},
        {"c:\\a.pbl,c:\\b.pbl", ",", {"c:\\a.pbl", "c:\\b.pbl"}},
        {"a<>b<>", "<>", {"a", "b"}},
        {longPiece, ";", {longPiece}},
        {"first;" + longPiece, ";", {"first", longPiece}},
        {longPiece + ";last", ";", {longPiece, "last"}},
    };
    for (const auto& [text, separator, pieces] : cases)
        EXPECT_EQ(Split(text, separator), pieces) << text.substr(0, 20);

    TStringList list{"kept"};
    SplitString("c:\\a.pbl;c:\\b.pbl", list);
    EXPECT_EQ(JoinStrings(list, ", "), "kept, c:\\a.pbl, c:\\b.pbl");
    EXPECT_EQ(JoinStrings(Pieces{"a", "", "b"}), "a;;b");
    EXPECT_EQ(JoinStrings(TStringList{}), "");
}

TEST(Lookups, PosFromIndexOfStringAndExtractWildcardPart) {
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 1), 3);  // 1-based
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 4), 7);
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 8), 0);
    EXPECT_EQ(PosFrom("ab", "xxabxxab", 0), 3);
    EXPECT_EQ(PosFrom("", "xx", 1), 0);
    EXPECT_EQ(IndexOfString("menu", {"window", "menu", "menu"}), 1);
    EXPECT_EQ(IndexOfString("Menu", {"window", "menu"}), -1);  // case counts

    const std::pair<const char*, const char*> wildcard[] = {
        {"CheckBoxMenuOption", "Menu"}, {"CheckBoxAllOptions", "All"},
        {"RadioAllOptions", ""},        {"CheckBoxAll", ""},
        {"CheckBoxOption", ""},
    };
    for (const auto& [name, part] : wildcard)
        EXPECT_EQ(ExtractWildcardPart(name, "CheckBox*Option"), part) << name;
    EXPECT_EQ(ExtractWildcardPart("xCheckBoxAll", "CheckBox*"), "All");
    EXPECT_EQ(ExtractWildcardPart("AllOption", "*Option"), "All");
    EXPECT_EQ(ExtractWildcardPart("CheckBoxAllOption", "CheckBox"), "");
}

TEST(FindBytes, StaysWithinStartLastStartAndTheBuffer) {
    std::string buffer = "abcXYZabcXYZ";
    EXPECT_EQ(FindBytes("XYZ", buffer, 0, buffer.size()), 3);
    EXPECT_EQ(FindBytes("XYZ", buffer, 4, 8), -1);
    EXPECT_EQ(FindBytes("XYZ", buffer, 4, 9), 9);
    EXPECT_EQ(FindBytes("XYZ", buffer, 100, 200), -1);
    EXPECT_EQ(FindBytes("", buffer, 0, 5), -1);
    EXPECT_EQ(FindBytes("abcXYZabcXYZ!", buffer, 0, 0), -1);
    EXPECT_EQ(FindBytes("ZZ", buffer, 0, 12), -1);  // lastStart past the end
    EXPECT_EQ(FindBytes(std::string_view("\0c", 2), std::string_view("a\0b\0c", 5), 0, 10), 3);
}

TEST(FileNamesAndDates, WindowsPaths) {
    EXPECT_EQ(ExtractDir("c:\\apps\\sales.pbl"), "c:\\apps");
    EXPECT_EQ(ExtractDir("c:\\pb050.exe"), "c:");
    EXPECT_EQ(ExtractDir("c:sales.pbl"), "c:");
    EXPECT_EQ(ExtractDir("sales.pbl"), "");
    EXPECT_EQ(ExtractDir("\\\\server\\share\\x.pbl"), "\\\\server\\share");
    EXPECT_EQ(FileNameNoExt("c:\\apps\\sales.v2.pbl"), "sales");
    EXPECT_EQ(FileNameNoExt("c:sales"), "sales");
    EXPECT_EQ(FileNameNoExt("c:\\apps.d\\noext"), "noext");
    EXPECT_DOUBLE_EQ(SecondsToDateTime(946684800 + 43200, 25569.0), 36526.5);  // 2000-01-01 12:00
}

struct Named {
    int id;
};

TEST(SortStrings, ObjectsTravelAlongAndAnInconsistentCompareLosesNothing) {
    Named a{1}, b{2}, c{3};
    TStringList named;
    named.Add("w_main", &b);
    named.Add("d_list", &a);
    named.Add("m_frame", &c);
    auto byString = [](const TStringItem& x, const TStringItem& y) {
        return x.String.compare(y.String);
    };
    SortStrings(named, byString);
    EXPECT_EQ(named.Strings(), (Pieces{"d_list", "m_frame", "w_main"}));
    EXPECT_TRUE(named.Object(0) == &a && named.Object(1) == &c && named.Object(2) == &b);

    std::mt19937 random(7);
    TStringList list;
    Pieces expected;
    for (int i = 0; i < 2000; ++i) {
        expected.push_back(std::to_string(random() % 500));  // many duplicates
        list.Add(expected.back());
    }
    std::sort(expected.begin(), expected.end());
    SortStrings(list, byString);
    SortStrings(list, byString);  // already sorted
    EXPECT_EQ(list.Strings(), expected);
    // A compare that contradicts itself must neither crash nor lose items.
    SortStrings(list, [&](const TStringItem&, const TStringItem&) {
        return static_cast<int>(random() % 3) - 1;
    });
    SortStrings(list, [](const TStringItem&, const TStringItem&) { return -1; });
    SortStrings(list, [](const TStringItem&, const TStringItem&) { return 1; });
    auto strings = list.Strings();
    std::sort(strings.begin(), strings.end());
    EXPECT_EQ(strings, expected);
}

TEST(CStrings, EachConversionKeepsItsOwnBufferAndAnyLength) {
    char* one = CStr1("first");
    char* two = CStr2("second");
    char* three = CStr3("third");
    char* four = CStr4("fourth");
    EXPECT_EQ(std::string(one) + two + three + four, "firstsecondthirdfourth");

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
