// The search engine: options, the direction and case and whole-word rules, patterns with
// a gap, selections and replacement, the preparation of typed texts; checked against a
// plain reference model on random and on real sources.

#include "search/Search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "tests/search/SearchReference.h"
#include "tests/support/TestSupport.h"

namespace search {
namespace {

// An engine over its own copy of a text, with the given options.
struct Searcher {
    explicit Searcher(std::string text, TSearchOptions options = {srDown})
        : buffer(std::move(text)), engine(&buffer) {
        engine.Options = options;
    }
    std::string buffer;
    TStreamSearch engine;
};

TEST(SearchOptions, BitsAndNames) {
    EXPECT_EQ(TSearchOptions({srDown, srFindNext}).Bits(), 0b110u);
    EXPECT_EQ(TSearchOptions({srProxy}).Bits(), 1u << 25);
    EXPECT_EQ(TSearchOptions::FromBits(0xFFFFFFFF).Bits(), (1u << 26) - 1);
    EXPECT_EQ(SearchOptionByName("srReplaceDlg"), srReplaceDlg);
    EXPECT_EQ(SearchOptionByName("srWholeWord"), srWholeWord);
    EXPECT_EQ(SearchOptionByName("srUserObject"), srUserObject);
    EXPECT_EQ(SearchOptionByName("srProxy"), srProxy);
    EXPECT_EQ(SearchOptionByName("srwholeword"), -1);  // case counts
    EXPECT_EQ(SearchOptionByName("srAll"), -1);
    for (int i = 0; i < SearchOptionCount; ++i)
        EXPECT_EQ(SearchOptionByName(SearchOptionNames[i]), i);

    // A name that is no member changes nothing and is never contained.
    TSearchOptions options{srDown};
    options.Include(-1);
    options.Include(SearchOptionCount);
    EXPECT_EQ(options, TSearchOptions{srDown});
    EXPECT_FALSE(options.Contains(-1));
    options.Set(srMatchCase, true);
    options.Exclude(srDown);
    EXPECT_EQ(options, TSearchOptions{srMatchCase});
}

TEST(SearchCharacters, WordCharactersAndDelimiters) {
    int words = 0;
    for (int b = 0; b < 256; ++b)
        words += WordDelimiters[b] ? 0 : 1;
    EXPECT_EQ(words, 63);
    EXPECT_FALSE(IsWordDelimiter('_'));
    EXPECT_FALSE(IsWordDelimiter('9'));
    EXPECT_TRUE(IsWordDelimiter('$'));
    EXPECT_TRUE(IsWordDelimiter('\0'));
    EXPECT_TRUE(IsWordDelimiter('\xE9'));  // accented letters delimit words
    EXPECT_EQ(UpperCaseMap()['a'], 'A');
    EXPECT_EQ(UpperCaseMap()[0xE9], 0xC9);
    EXPECT_EQ(IdentityMap[0xE9], 0xE9);
}

TEST(SearchForward, StartsAfterTheSelectionAndFindsOverlaps) {
    Searcher s("aaaa");
    EXPECT_EQ(s.engine.FindText("aa"), 0);
    EXPECT_EQ(s.engine.SelLength(), 2);
    EXPECT_EQ(s.engine.FindText("aa"), 2);  // after the selection
    s.engine.SetSelStart(1);
    EXPECT_EQ(s.engine.FindText("aa"), 1);  // one byte after a hit's start: overlaps
    s.engine.SetSelStart(3);
    EXPECT_EQ(s.engine.FindText("aa"), -1);
    EXPECT_EQ(s.engine.SelStart(), 3);  // a miss keeps the selection
    EXPECT_EQ(s.engine.SelLength(), 0);
}

TEST(SearchForward, TheLastPositionIsTriedAndNothingBeyond) {
    Searcher s("xxabc");
    s.engine.SetSelStart(2);
    EXPECT_EQ(s.engine.FindText("abc"), 2);  // start + length equals the buffer length
    s.engine.SetSelStart(3);
    EXPECT_EQ(s.engine.FindText("abc"), -1);
    s.engine.SetSelection(2, 1);
    EXPECT_EQ(s.engine.FindText("abc"), -1);
    EXPECT_EQ(s.engine.FindText("xxabcx"), -1);  // longer than the buffer
}

TEST(SearchForward, MissesWithoutTextBufferOrValidStart) {
    Searcher s("abc");
    EXPECT_FALSE(s.engine.Search(""));
    s.engine.SetSelStart(-1);
    EXPECT_FALSE(s.engine.Search("a"));
    s.engine.SetSelStart(std::numeric_limits<int32_t>::max());
    EXPECT_FALSE(s.engine.Search("a"));
    s.engine.SetSelection(std::numeric_limits<int32_t>::max(), 10);  // no overflow
    EXPECT_FALSE(s.engine.Search("a"));
    Searcher empty("");
    EXPECT_FALSE(empty.engine.Search("a"));
    TStreamSearch detached;
    EXPECT_EQ(detached.FindText("a"), -1);
    EXPECT_EQ(detached.SelText(), "");
    EXPECT_EQ(detached.Options, (TSearchOptions{srDown, srFindNext}));
}

TEST(SearchBackward, HitsEndAtOrBeforeTheSelectionStart) {
    Searcher s("ab ab ab", {});
    s.engine.SetSelStart(8);
    EXPECT_EQ(s.engine.FindText("ab"), 6);
    EXPECT_EQ(s.engine.FindText("ab"), 3);
    EXPECT_EQ(s.engine.FindText("ab"), 0);
    EXPECT_EQ(s.engine.FindText("ab"), -1);
    // A selection start past the end only searches where the text fits.
    s.engine.SetSelStart(9);
    EXPECT_EQ(s.engine.FindText("ab"), 6);
    s.engine.SetSelStart(11);
    EXPECT_EQ(s.engine.FindText("ab"), -1);  // the search would start outside the buffer
}

TEST(SearchCase, BothSidesGoThroughTheSameMap) {
    Searcher s("Caf\xC9 caf\xE9 CAF\xC9");
    EXPECT_EQ(s.engine.FindText("caf\xE9"), 0);
    s.engine.SetSelStart(1);
    EXPECT_EQ(s.engine.FindText("CAF\xC9"), 5);
    s.engine.Options.Include(srMatchCase);
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindText("CAF\xC9"), 10);
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindText("caf\xE9"), 5);
    Searcher y("\x9F\xFF");  // y with diaeresis has its capital at 0x9F
    y.engine.SetSelStart(1);
    EXPECT_EQ(y.engine.FindText("\x9F"), 1);
}

TEST(SearchWholeWord, WordBoundaries) {
    const TSearchOptions ww{srDown, srWholeWord};
    EXPECT_EQ(Searcher("x ls_item y", ww).engine.FindText("ls"), -1);  // _ is a word character
    EXPECT_EQ(Searcher("x ls.item", ww).engine.FindText("ls"), 2);
    EXPECT_EQ(Searcher("ls x", ww).engine.FindText("ls"), 0);
    EXPECT_EQ(Searcher("x ls", ww).engine.FindText("ls"), 2);  // ends with the buffer
    EXPECT_EQ(Searcher("x als", ww).engine.FindText("ls"), -1);
    EXPECT_EQ(Searcher("x abc\xE9t", ww).engine.FindText("abc"), 2);  // 0xE9 delimits
    EXPECT_EQ(Searcher("x ABC.", ww).engine.FindText("abc"), 2);
    // The word that begins at the search start counts as the current word.
    Searcher s("a ls ls", ww);
    s.engine.SetSelStart(2);
    EXPECT_EQ(s.engine.FindText("ls"), 5);
    // Text that begins with a delimiter is tried at offset 0 and at the last position.
    EXPECT_EQ(Searcher("(a (a", ww).engine.FindText("(a"), 0);
    Searcher paren("x (a (a", ww);
    EXPECT_EQ(paren.engine.FindText("(a"), 5);
}

TEST(SearchWholeWord, NoHitInsideAWordAtEitherEndOfTheBuffer) {
    const TSearchOptions ww{srDown, srWholeWord};
    // The last position is tried only where a word could start there.
    EXPECT_EQ(Searcher("foobar", ww).engine.FindText("bar"), -1);
    EXPECT_EQ(Searcher("foo bar", ww).engine.FindText("bar"), 4);
    // A word right after a delimiter at offset 0 is a word start like any other.
    EXPECT_EQ(Searcher("$PBExportHeader$w_main.srw", ww).engine.FindText("PBExportHeader"), 1);
    EXPECT_EQ(Searcher(" foo bar", ww).engine.FindText("foo"), 1);
    // Backward, a hit at offset 0 still needs a delimiter after it.
    Searcher back("foobar foo", {srWholeWord});
    back.engine.SetSelStart(7);
    EXPECT_EQ(back.engine.FindText("foo"), -1);
    back.engine.SetSelStart(10);
    EXPECT_EQ(back.engine.FindText("foo"), 7);
}

TEST(SearchWholeWord, BackwardEndsWhenNoWordIsLeft) {
    Searcher s("  ;; x", {srWholeWord});
    s.engine.SetSelStart(4);
    EXPECT_EQ(s.engine.FindText("x"), -1);
    s.engine.SetSelStart(2);
    EXPECT_EQ(s.engine.FindText(" "), 0);  // offset 0 is tried once, then the search ends
    Searcher word("ab cd", {srWholeWord});
    word.engine.SetSelStart(5);
    EXPECT_EQ(word.engine.FindText("cd"), 3);
    EXPECT_EQ(word.engine.FindText("ab"), 0);
    EXPECT_EQ(word.engine.FindText("ab"), -1);
}

TEST(SearchSelection, SelTextIsCutTo255BytesAndReplaceRemovesOnlyThose) {
    std::string text(300, 'x');
    text += "tail";
    Searcher s(text);
    s.engine.SetSelection(0, 300);
    EXPECT_EQ(s.engine.SelText(), std::string(255, 'x'));
    EXPECT_EQ(s.engine.SelLength(), 255);
    s.engine.SetSelection(0, 300);
    s.engine.Replace("new");
    EXPECT_EQ(s.buffer, "new" + std::string(45, 'x') + "tail");
    EXPECT_EQ(s.engine.SelStart(), 0);
    EXPECT_EQ(s.engine.SelLength(), 3);
}

TEST(SearchSelection, ReplaceGrowsAndShrinksTheAttachedBuffer) {
    Searcher s("one two three");
    ASSERT_EQ(s.engine.FindText("two"), 4);
    s.engine.Replace("2");
    EXPECT_EQ(s.buffer, "one 2 three");
    EXPECT_EQ(s.engine.FindText("three"), 6);
    s.engine.Replace("thirty-three");
    EXPECT_EQ(s.buffer, "one 2 thirty-three");
    s.engine.SetSelection(0, 0);
    s.engine.Replace(">");
    EXPECT_EQ(s.buffer, ">one 2 thirty-three");
}

TEST(SearchSelection, SelectionsOutsideTheBufferAreSafe) {
    Searcher s("abc");
    s.engine.SetSelection(2, 10);
    EXPECT_EQ(s.engine.SelText(), "c");
    s.engine.SetSelection(5, 2);
    EXPECT_EQ(s.engine.SelText(), "");
    s.engine.Replace("z");  // nothing to remove; the text goes at the end
    EXPECT_EQ(s.buffer, "abcz");
    s.engine.SetSelection(-4, 3);
    EXPECT_EQ(s.engine.SelText(), "");
    s.engine.Replace("<");
    EXPECT_EQ(s.buffer, "<abcz");
    s.engine.SetSelection(1, -1);
    EXPECT_EQ(s.engine.SelText(), "");
}

TEST(SearchGap, SelectsTheBytesBetweenTheSelectionAndTheHit) {
    Searcher s("if a then b end if");
    ASSERT_EQ(s.engine.FindText("a"), 3);
    ASSERT_TRUE(s.engine.FindGap("end"));
    EXPECT_EQ(s.engine.SelStart(), 4);
    EXPECT_EQ(s.engine.SelText(), " then b ");
    EXPECT_FALSE(s.engine.FindGap("missing"));
    EXPECT_EQ(s.engine.SelStart(), 4);
    EXPECT_EQ(s.engine.SelLength(), 8);
}

TEST(SearchPattern, WildcardsAfterPreparation) {
    Searcher s("call of_init(); return");
    EXPECT_EQ(s.engine.FindPattern(ExpandSearchText("call*")), 0);
    EXPECT_EQ(s.engine.SelText(), "call ");  // up to and including the next blank
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindPattern(ExpandSearchText("o*t")), 5);
    EXPECT_EQ(s.engine.SelText(), "of_init");  // to the end of the next "t" after "o"
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindPattern(ExpandSearchText("o~*t")), -1);
    Searcher star("a*b ab");
    EXPECT_EQ(star.engine.FindPattern(ExpandSearchText("a~*b")), 0);
    EXPECT_EQ(star.engine.SelLength(), 3);
}

TEST(SearchPattern, TheRestStartsAfterTheFirstPartAndLaterMarkersAreBytes) {
    Searcher s("abab x\xDEy");
    EXPECT_EQ(s.engine.FindPattern("ab\xDE"
                                   "ab"),
              0);
    EXPECT_EQ(s.engine.SelLength(), 4);
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindPattern("x\xDE\xDEy"), 5);  // rest is the byte 0xDE then y
    EXPECT_EQ(s.engine.SelLength(), 3);
}

TEST(SearchPattern, DegeneratePatternsEnd) {
    Searcher s("*~ \xDE \xDE\xDE ~~ ** text");
    // Typed texts of stars and tildes: an unescaped star makes an empty first part, which
    // finds nothing; the escaped forms are literal text.
    const std::pair<const char*, int32_t> typed[] = {
        {"*", -1}, {"**", -1}, {"***", -1}, {"*~", -1},  {"*~*~", -1},
        {"~", 1},  {"~~", 1},  {"~*", 0},   {"~~*", -1},
    };
    for (const auto& [text, expected] : typed) {
        s.engine.SetSelStart(0);
        EXPECT_EQ(s.engine.FindPattern(ExpandSearchText(text)), expected) << text;
    }
    for (std::string raw : {"\xDE", "\xDE\xDE", "\xDE\xDE\xDE",
                            "\xDE"
                            "abc",
                            "x\xDE", "t\xDE"}) {
        s.engine.SetSelStart(0);
        EXPECT_EQ(s.engine.FindPattern(raw), -1) << raw;
    }
}

TEST(SearchPattern, AMissingRestDoesNotRescanForEveryFirstPart) {
    // Every 'a' starts a hit of the first part, and the rest is nowhere.
    Searcher s(std::string(4 << 20, 'a'));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(s.engine.FindPattern("a\xDE"
                                   "b"),
              -1);
    const auto seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    EXPECT_LT(seconds, 2.0);
    // The walk over the first part still ends where it would have ended.
    searchref::Engine ref;
    ref.buffer.assign(40, 'a');
    Searcher small(ref.buffer);
    EXPECT_EQ(small.engine.FindPattern("a\xDE"
                                       "b"),
              ref.FindPattern("a\xDE"
                              "b"));
    EXPECT_EQ(small.engine.SelStart(), ref.selStart);
    EXPECT_EQ(small.engine.SelLength(), ref.selLength);
}

TEST(ExpandSearchText, StarAndEscapes) {
    const std::string gap(1, GapMarker);
    EXPECT_EQ(ExpandSearchText("of_*"), "of_" + gap + " ");
    EXPECT_EQ(ExpandSearchText("a*b"), "a" + gap + "b");
    EXPECT_EQ(ExpandSearchText("a*b*c"), "a" + gap + "b*c");  // only the first star
    EXPECT_EQ(ExpandSearchText("a~*b*c"), "a*b*c");           // an escaped first star: none
    EXPECT_EQ(ExpandSearchText("*"), gap + " ");
    EXPECT_EQ(ExpandSearchText("~~*"), "~*");  // the star's tilde is itself escaped
    EXPECT_EQ(ExpandSearchText("a~nb~rc~td"),
              "a\nb\rc\x07"
              "d");
    EXPECT_EQ(ExpandSearchText("~~~x~"), "~x~");  // a tilde at the end stays
    EXPECT_EQ(ExpandSearchText("~n*"), "\n" + gap + " ");
    EXPECT_EQ(ExpandSearchText(""), "");
}

// ---- Against the reference model ----------------------------------------------------

void ApplyOptions(TSearchOptions options, searchref::Engine& ref) {
    ref.down = options.Contains(srDown);
    ref.matchCase = options.Contains(srMatchCase);
    ref.wholeWord = options.Contains(srWholeWord);
}

// Runs a search loop as the object search does (each next search one byte after the last
// hit's start) on both, comparing every hit, selection and selected text.
void CompareLoop(const std::string& buffer, const std::string& pattern, TSearchOptions options,
                 int32_t selStart, int32_t selLength, int maxHits) {
    Searcher s(buffer, options);
    searchref::Engine ref;
    ref.buffer = buffer;
    ApplyOptions(options, ref);
    s.engine.SetSelection(selStart, selLength);
    ref.selStart = selStart;
    ref.selLength = selLength;
    for (int i = 0; i < maxHits; ++i) {
        const int32_t hit = s.engine.FindPattern(pattern);
        ASSERT_EQ(hit, ref.FindPattern(pattern)) << "buffer \"" << buffer << "\" pattern \""
                                                 << pattern << "\" options " << options.Bits();
        ASSERT_EQ(s.engine.SelStart(), ref.selStart);
        ASSERT_EQ(s.engine.SelLength(), ref.selLength);
        if (hit < 0)
            return;
        ASSERT_EQ(s.engine.SelText(), ref.SelText());
        s.engine.SetSelStart(hit + 1);
        ref.selStart = hit + 1;
        ref.selLength = 0;
    }
}

class SearchReferenceScan : public testing::TestWithParam<bool> {
  protected:
    void SetUp() override { UseBlockScan(GetParam()); }
    void TearDown() override { UseBlockScan(true); }
};
INSTANTIATE_TEST_SUITE_P(BlockAndHorspool, SearchReferenceScan, testing::Bool());

TEST_P(SearchReferenceScan, RandomTextsAgreeWithThePlainModel) {
    std::mt19937 random(20240611);
    const std::string alphabet = "aAb_ .\xE9\xC9\xDE\n";
    auto randomText = [&](size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string buffer = randomText(round % 2 ? 24 : 80);
        const std::string pattern = randomText(4);
        TSearchOptions options = TSearchOptions::FromBits(0);
        options.Set(srDown, random() % 4 != 0);
        options.Set(srMatchCase, random() % 2);
        options.Set(srWholeWord, random() % 2);
        const auto selStart = static_cast<int32_t>(random() % 30) - 3;
        const auto selLength = static_cast<int32_t>(random() % 4);
        CompareLoop(buffer, pattern, options, selStart, selLength, 8);
        if (HasFatalFailure())
            return;
    }
}

TEST_P(SearchReferenceScan, RealSourcesAgreeWithThePlainModel) {
    SKIP_WITHOUT_CORPUS();
    const std::filesystem::path root = std::filesystem::path(testsupport::CorpusDir()) / "pfc";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
        if (entry.is_regular_file() && entry.path().extension().string().starts_with(".sr"))
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 100u);
    const TSearchOptions down{srDown};
    const TSearchOptions word{srDown, srWholeWord};
    const TSearchOptions exact{srDown, srMatchCase};
    for (size_t i = 0; i < files.size(); i += 25) {
        std::ifstream in(files[i], std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        const std::string source = bytes.str();
        CompareLoop(source, "this", down, 0, 0, 100000);
        CompareLoop(source, "this", word, 0, 0, 100000);
        CompareLoop(source, "If", exact, 0, 0, 100000);
        CompareLoop(source, ExpandSearchText("end*"), word, 0, 0, 100000);
        CompareLoop(source, ExpandSearchText("of_*("), down, 0, 0, 100000);
        if (HasFatalFailure())
            return;
    }
}

}  // namespace
}  // namespace search
