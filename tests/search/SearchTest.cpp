// The search engine: options, the direction, case and whole-word rules, patterns with a
// gap, selections and replacement, the preparation of typed texts; checked against a
// plain reference model on random texts (the search_pattern fuzz target goes on from
// there).

#include "search/Search.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <vector>

#include "tests/search/SearchReference.h"

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

// One search from a selection: the hit, or -1 (and then the selection stays as it was).
TEST(SearchText, DirectionCaseAndWholeWordRules) {
    const TSearchOptions fwd{srDown}, back{}, ww{srDown, srWholeWord}, wwBack{srWholeWord};
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const std::tuple<const char*, const char*, TSearchOptions, int32_t, int32_t, int32_t> cases[] =
        {
            // Forward: from the end of the selection up to the last position the text fits.
            {"aaaa", "aa", fwd, 0, 2, 2},
            {"aaaa", "aa", fwd, 1, 0, 1},
            {"aaaa", "aa", fwd, 1, 2, -1},
            {"xxabc", "abc", fwd, 2, 0, 2},
            {"xxabc", "", fwd, 0, 0, -1},
            {"xxabc", "x", fwd, -1, 0, -1},
            {"xxabc", "x", fwd, kMax, 10,
             -1},  // no overflow
                   // Backward: hits end at or before the selection start, inside the buffer.
            {"ab ab ab", "ab", back, 9, 0, 6},
            {"ab ab ab", "ab", back, 0, 2, -1},
            {"ab ab ab", "ab", back, 11, 0, -1},
            // Case: both sides go through the same Windows-1252 map.
            {"Caf\xC9 caf\xE9 \x9F", "CAF\xC9", fwd, 0, 4, 5},
            {"Caf\xC9 caf\xE9 \x9F", "\xFF", fwd, 0, 0, 10},
            {"Caf\xC9 caf\xE9 \x9F", "caf\xE9", {srDown, srMatchCase}, 0, 0, 5},
            // Whole words: begin at a word start, end before a delimiter.
            {"x ls_item y", "ls", ww, 0, 0, -1},
            {"ls x", "LS", ww, 0, 0, 0},
            {"x ls", "ls", ww, 0, 0, 2},
            {"x abc\xE9t", "abc", ww, 0, 0, 2},
            {"x (a (a", "(a", ww, 0, 0, 5},
            {"foobar", "bar", ww, 0, 0, -1},
            {"$PBExportHeader$w.srw", "PBExportHeader", ww, 0, 0, 1},
            {"a ls ls", "ls", ww, 2, 0, 5},  // the word at the start is the current one
            {"foobar foo", "foo", wwBack, 10, 0, 7},
            {"foobar foo", "foo", wwBack, 7, 3, -1},
            {"  ;; x", "x", wwBack, 4, 0, -1},
        };
    for (const auto& [buffer, text, options, start, length, expected] : cases) {
        Searcher s(buffer, options);
        s.engine.SetSelection(start, length);
        EXPECT_EQ(s.engine.FindText(text), expected) << buffer << " / " << text;
        const bool hit = expected >= 0;
        EXPECT_EQ(s.engine.SelStart(), hit ? expected : start) << buffer;
        EXPECT_EQ(s.engine.SelLength(), hit ? int32_t(strlen(text)) : length) << buffer;
    }
    EXPECT_EQ(TStreamSearch().FindText("a"), -1);  // no buffer attached
}

// The selected text is cut to 255 bytes (and so is the selection); Replace removes only
// those, and of a selection reaching outside the buffer (or of a negative length) only
// what is there.
TEST(SearchSelection, SelTextIsCutTo255BytesAndReplaceRemovesOnlyThose) {
    const std::string xs(300, 'x');
    const std::tuple<std::string, int32_t, int32_t, std::string, std::string> cases[] = {
        {xs + "tail", 0, 300, xs.substr(45), "new" + xs.substr(255) + "tail"},
        {"abc", 2, 10, "c", "abnew"},
        {"abc", 5, 2, "", "abcnew"},
        {"abc", -4, 3, "", "newabc"},
        {"abc", 1, -3, "", "anewbc"},
    };
    for (const auto& [buffer, start, length, selected, replaced] : cases) {
        Searcher s(buffer);
        s.engine.SetSelection(start, length);
        EXPECT_EQ(s.engine.SelText(), selected) << start;
        s.engine.Replace("new");
        EXPECT_EQ(s.buffer, replaced) << start;
        EXPECT_EQ(s.engine.SelLength(), 3);
    }
}

TEST(SearchPattern, GapsWildcardsAndPatternsThatEnd) {
    // Typed texts, prepared as the object search prepares them, or raw patterns (a
    // marker after the first is an ordinary byte); stars, tildes and markers alone end.
    const std::tuple<const char*, std::string, int32_t, const char*> cases[] = {
        {"call of_init(); return", ExpandSearchText("call*"), 0, "call "},
        {"call of_init(); return", ExpandSearchText("o*t"), 5, "of_init"},
        {"x\xDEy", "x\xDE\xDEy", 0, "x\xDEy"},
    };
    for (const auto& [buffer, pattern, hit, selected] : cases) {
        Searcher s(buffer);
        EXPECT_EQ(s.engine.FindPattern(pattern), hit) << pattern;
        EXPECT_EQ(hit < 0 ? "" : s.engine.SelText(), selected) << pattern;
    }
    Searcher odds("*~ \xDE \xDE\xDE ~~ ** text");
    for (std::string pattern :
         {"*", "**", "***", "*~", "*~*~", "~~*", "\xDE", "\xDE\xDE\xDE", "t\xDE"}) {
        odds.engine.SetSelStart(0);
        EXPECT_EQ(odds.engine.FindPattern(ExpandSearchText(pattern)), -1) << pattern;
    }
    // Every 'a' is a hit of the first part and the rest is nowhere: one pass, not one
    // pass per 'a'. The one pass takes about a second in the sanitizer build; a search
    // for the rest after each 'a' takes most of a minute even when optimised.
    Searcher big(std::string(2 << 20, 'a'));
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(big.engine.FindPattern(ExpandSearchText("a*b")), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

TEST(ExpandSearchText, FirstStarAndEscapes) {
    EXPECT_EQ(ExpandSearchText("a*b*c"), "a" + std::string(1, GapMarker) + "b*c");
    EXPECT_EQ(ExpandSearchText("a~*b*c"), "a*b*c");  // an escaped first star: none
    EXPECT_EQ(ExpandSearchText("~~*"), "~*");        // the star's tilde is escaped
    EXPECT_EQ(ExpandSearchText("a~nb~rc~td~~~x~"), std::string("a\nb\rc\td~x~"));
    // A replacement never holds the gap marker: its stars are stars.
    EXPECT_EQ(ExpandReplaceText("*a*~t~*"), "*a*\t*");
    EXPECT_EQ(ExpandReplaceText("x*"), "x*");
}

// Random texts and patterns over a small alphabet (with the gap marker), searched by both
// forward scans and the backward one, agree with the plain model.
TEST(SearchReference, RandomTextsAgreeWithThePlainModel) {
    std::mt19937 random(20240611);
    const std::string alphabet = "aAb_ .\xE9\xC9\xDE\n";
    auto randomText = [&](size_t maxLength) {
        std::string text(random() % (maxLength + 1), ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        return text;
    };
    for (int round = 0; round < 40000 && !HasFailure(); ++round) {
        // The wide filters get the long buffers.
        UseBlockScan(std::array{TBlockScan::Widest, TBlockScan::Sse2, TBlockScan::Avx2,
                                TBlockScan::Off}[round % 4]);
        const std::string buffer = randomText(round % 2 ? 24 : 80);
        const std::string pattern = randomText(4);
        TSearchOptions options;
        options.Set(srDown, random() % 4 != 0);
        options.Set(srMatchCase, random() % 2);
        options.Set(srWholeWord, random() % 2);
        Searcher s(buffer, options);
        s.engine.SetSelection(static_cast<int32_t>(random() % 30) - 3,
                              static_cast<int32_t>(random() % 4));
        EXPECT_TRUE(searchref::LoopsAgree(s.engine, buffer, pattern, 8))
            << "buffer \"" << buffer << "\" pattern \"" << pattern << "\" options "
            << options.Bits() << " round " << round;
    }
    UseBlockScan(TBlockScan::Widest);
}

}  // namespace
}  // namespace search
