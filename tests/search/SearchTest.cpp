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

TEST(SearchOptions, NamesAndBits) {
    EXPECT_EQ(TSearchOptions({srDown, srFindNext}).Bits(), 0b110u);
    EXPECT_EQ(TSearchOptions({srProxy}).Bits(), 1u << 25);
    for (int i = 0; i < SearchOptionCount; ++i)
        EXPECT_EQ(SearchOptionByName(SearchOptionNames[i]), i);
    EXPECT_EQ(SearchOptionByName("srwholeword"), -1);  // case counts
    TSearchOptions options{srDown};
    options.Include(SearchOptionByName("srAll"));  // no member: no change
    EXPECT_EQ(options, TSearchOptions{srDown});
    EXPECT_FALSE(options.Contains(-1));
}

TEST(SearchForward, StartsAfterTheSelectionAndTriesUpToTheLastPosition) {
    Searcher s("aaaa");
    EXPECT_EQ(s.engine.FindText("aa"), 0);
    EXPECT_EQ(s.engine.FindText("aa"), 2);  // after the selection
    s.engine.SetSelStart(1);
    EXPECT_EQ(s.engine.FindText("aa"), 1);  // one byte after a hit's start: overlaps
    EXPECT_EQ(s.engine.FindText("aa"), -1);
    EXPECT_EQ(s.engine.SelStart(), 1);  // a miss keeps the selection
    EXPECT_EQ(s.engine.SelLength(), 2);

    Searcher t("xxabc");
    t.engine.SetSelStart(2);
    EXPECT_EQ(t.engine.FindText("abc"), 2);  // start + length equals the buffer length
    t.engine.SetSelStart(3);
    EXPECT_EQ(t.engine.FindText("abc"), -1);
    EXPECT_FALSE(t.engine.Search(""));
    t.engine.SetSelStart(-1);
    EXPECT_FALSE(t.engine.Search("x"));
    t.engine.SetSelection(std::numeric_limits<int32_t>::max(), 10);  // no overflow
    EXPECT_FALSE(t.engine.Search("x"));
    TStreamSearch detached;
    EXPECT_EQ(detached.FindText("a"), -1);
    EXPECT_EQ(detached.Options, (TSearchOptions{srDown, srFindNext}));
}

TEST(SearchBackward, HitsEndAtOrBeforeTheSelectionStart) {
    Searcher s("ab ab ab", {});
    s.engine.SetSelStart(9);  // past the end: only where the text fits
    EXPECT_EQ(s.engine.FindText("ab"), 6);
    EXPECT_EQ(s.engine.FindText("ab"), 3);
    EXPECT_EQ(s.engine.FindText("ab"), 0);
    EXPECT_EQ(s.engine.FindText("ab"), -1);
    s.engine.SetSelStart(11);
    EXPECT_EQ(s.engine.FindText("ab"), -1);  // the search would start outside the buffer
}

TEST(SearchCase, BothSidesGoThroughTheSameMap) {
    Searcher s("Caf\xC9 caf\xE9 \x9F");
    EXPECT_EQ(s.engine.FindText("CAF\xC9"), 0);
    EXPECT_EQ(s.engine.FindText("CAF\xC9"), 5);
    EXPECT_EQ(s.engine.FindText("\xFF"), 10);  // y with diaeresis has its capital at 0x9F
    s.engine.Options.Include(srMatchCase);
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindText("caf\xE9"), 5);
}

TEST(SearchWholeWord, HitsBeginAtAWordStartAndEndBeforeADelimiter) {
    const TSearchOptions ww{srDown, srWholeWord};
    EXPECT_EQ(Searcher("x ls_item y", ww).engine.FindText("ls"), -1);  // _ is a word character
    EXPECT_EQ(Searcher("x ls.item", ww).engine.FindText("ls"), 2);
    EXPECT_EQ(Searcher("ls x", ww).engine.FindText("LS"), 0);
    EXPECT_EQ(Searcher("x ls", ww).engine.FindText("ls"), 2);         // ends with the buffer
    EXPECT_EQ(Searcher("x abc\xE9t", ww).engine.FindText("abc"), 2);  // 0xE9 delimits
    EXPECT_EQ(Searcher("x (a (a", ww).engine.FindText("(a"), 5);      // the last position
    // Never inside a word, also at the end of the buffer.
    EXPECT_EQ(Searcher("foobar", ww).engine.FindText("bar"), -1);
    // A word right after a delimiter at offset 0 is a word start like any other.
    EXPECT_EQ(Searcher("$PBExportHeader$w.srw", ww).engine.FindText("PBExportHeader"), 1);
    // The word that begins at the search start counts as the current word.
    Searcher s("a ls ls", ww);
    s.engine.SetSelStart(2);
    EXPECT_EQ(s.engine.FindText("ls"), 5);

    // Backward: a hit at offset 0 still needs a delimiter after it, and a buffer with no
    // word left before the start ends the search.
    Searcher back("foobar foo", {srWholeWord});
    back.engine.SetSelStart(10);
    EXPECT_EQ(back.engine.FindText("foo"), 7);
    EXPECT_EQ(back.engine.FindText("foo"), -1);
    Searcher none("  ;; x", {srWholeWord});
    none.engine.SetSelStart(4);
    EXPECT_EQ(none.engine.FindText("x"), -1);
}

TEST(SearchSelection, SelTextIsCutTo255BytesAndReplaceRemovesOnlyThose) {
    Searcher s(std::string(300, 'x') + "tail");
    s.engine.SetSelection(0, 300);
    EXPECT_EQ(s.engine.SelText(), std::string(255, 'x'));
    EXPECT_EQ(s.engine.SelLength(), 255);
    s.engine.SetSelection(0, 300);
    s.engine.Replace("new");
    EXPECT_EQ(s.buffer, "new" + std::string(45, 'x') + "tail");
    EXPECT_EQ(s.engine.SelLength(), 3);
    ASSERT_EQ(s.engine.FindText("tail"), 48);
    s.engine.Replace("end of it");
    EXPECT_EQ(s.buffer, "new" + std::string(45, 'x') + "end of it");

    // Selections reaching outside the buffer give and remove only what is there.
    Searcher t("abc");
    t.engine.SetSelection(2, 10);
    EXPECT_EQ(t.engine.SelText(), "c");
    t.engine.SetSelection(5, 2);
    t.engine.Replace("z");
    EXPECT_EQ(t.buffer, "abcz");
    t.engine.SetSelection(-4, 3);
    EXPECT_EQ(t.engine.SelText(), "");
    t.engine.Replace("<");
    EXPECT_EQ(t.buffer, "<abcz");
}

TEST(SearchPattern, GapsAndWildcards) {
    Searcher s("call of_init(); return");
    EXPECT_EQ(s.engine.FindPattern(ExpandSearchText("call*")), 0);
    EXPECT_EQ(s.engine.SelText(), "call ");  // up to and including the next blank
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindPattern(ExpandSearchText("o*t")), 5);
    EXPECT_EQ(s.engine.SelText(), "of_init");  // to the end of the next "t" after "o"
    s.engine.SetSelStart(0);
    EXPECT_EQ(s.engine.FindPattern(ExpandSearchText("o~*t")), -1);
    s.engine.SetSelection(5, 3);
    ASSERT_TRUE(s.engine.FindGap("("));
    EXPECT_EQ(s.engine.SelText(), "init");  // between the selection and the hit
    // Markers after the first are ordinary bytes of the rest.
    Searcher raw("x\xDEy");
    EXPECT_EQ(raw.engine.FindPattern("x\xDE\xDEy"), 0);
    EXPECT_EQ(raw.engine.SelLength(), 3);
}

TEST(SearchPattern, PatternsOfStarsTildesAndMarkersEnd) {
    Searcher s("*~ \xDE \xDE\xDE ~~ ** text");
    const std::pair<const char*, int32_t> typed[] = {
        {"*", -1}, {"**", -1}, {"***", -1}, {"*~", -1},  {"*~*~", -1},
        {"~", 1},  {"~~", 1},  {"~*", 0},   {"~~*", -1},
    };
    for (const auto& [text, expected] : typed) {
        s.engine.SetSelStart(0);
        EXPECT_EQ(s.engine.FindPattern(ExpandSearchText(text)), expected) << text;
    }
    for (std::string raw : {"\xDE", "\xDE\xDE\xDE", "t\xDE"}) {
        s.engine.SetSelStart(0);
        EXPECT_EQ(s.engine.FindPattern(raw), -1) << raw;
    }
    // Every 'a' is a hit of the first part and the rest is nowhere: one pass, not one
    // pass per 'a'.
    Searcher big(std::string(4 << 20, 'a'));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(big.engine.FindPattern("a\xDE"
                                     "b"),
              -1);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
              2.0);
}

TEST(ExpandSearchText, StarAndEscapes) {
    const std::string gap(1, GapMarker);
    EXPECT_EQ(ExpandSearchText("of_*"), "of_" + gap + " ");
    EXPECT_EQ(ExpandSearchText("a*b*c"), "a" + gap + "b*c");  // only the first star
    EXPECT_EQ(ExpandSearchText("a~*b*c"), "a*b*c");           // an escaped first star: none
    EXPECT_EQ(ExpandSearchText("~~*"), "~*");                 // the star's tilde is escaped
    EXPECT_EQ(ExpandSearchText("a~nb~rc~td"),
              "a\nb\rc\x07"
              "d");
    EXPECT_EQ(ExpandSearchText("~~~x~"), "~x~");  // a tilde at the end stays
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
