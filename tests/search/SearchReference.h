#pragma once
// A deliberately plain model of the search engine's rules, to check the engine against:
// it tries every position in order, and it runs the pattern loop exactly as described
// (searching for the rest after every hit of the first part). It is slow on purpose.
// Shared by the unit tests and the search_pattern fuzz target, with the search loop
// both run on the engine and the model.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Ansi.h"
#include "search/Search.h"

namespace searchref {

inline bool IsWord(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

struct Engine {
    std::string buffer;
    int64_t selStart = 0;
    int64_t selLength = 0;
    bool down = true;
    bool matchCase = false;
    bool wholeWord = false;

    int64_t Size() const { return static_cast<int64_t>(buffer.size()); }
    bool WordAt(int64_t i) const { return IsWord(buffer[static_cast<size_t>(i)]); }
    char Fold(char c) const { return matchCase ? c : platform::AnsiUpper(c); }

    // Whether text is a hit at q for a search from start. Whole words: forward, offset
    // 0, a word character after a delimiter past the start, and the last position unless
    // it lies inside a word are tried; backward, offset 0 and every word start. The hit
    // must end before a delimiter or at the end of the buffer.
    bool HitAt(int64_t q, std::string_view text, int64_t start) const {
        const auto n = static_cast<int64_t>(text.size());
        for (int64_t i = 0; i < n; ++i)
            if (Fold(buffer[static_cast<size_t>(q + i)]) != Fold(text[static_cast<size_t>(i)]))
                return false;
        if (!wholeWord)
            return true;
        const bool wordStart = q == 0 || (WordAt(q) && !WordAt(q - 1));
        const bool tried = !down                      ? wordStart
                           : q == Size() - n && q > 0 ? !(WordAt(q) && WordAt(q - 1))
                                                      : wordStart && (q == 0 || q > start);
        return tried && (q + n == Size() || !WordAt(q + n));
    }

    // Forward from the end of the selection; backward so that a hit ends at or before
    // the selection's start.
    int64_t SearchBuf(std::string_view text) const {
        const auto n = static_cast<int64_t>(text.size());
        const int64_t start = down ? selStart + selLength : selStart - n;
        if (start < 0 || (!down && start > Size()))
            return -1;
        for (int64_t q = start; down ? q + n <= Size() : q >= 0; q += down ? 1 : -1)
            if (q + n <= Size() && HitAt(q, text, start))
                return q;
        return -1;
    }

    // The hit, selected; or -1 with the selection as it was.
    int64_t FindText(std::string_view text) {
        const int64_t q = text.empty() || buffer.empty() ? -1 : SearchBuf(text);
        if (q >= 0) {
            selStart = q;
            selLength = static_cast<int64_t>(text.size());
        }
        return q;
    }

    // After every hit of the first part, the rest is searched from the end of that hit;
    // the selection then runs from the hit of the first part over the gap (the gap as
    // long as the first part when the rest is missing) and the pattern's other bytes.
    int64_t FindPattern(std::string_view pattern) {
        const size_t marker = pattern.find('\xDE');
        if (marker == std::string_view::npos)
            return FindText(pattern);
        for (;;) {
            const int64_t r = FindText(pattern.substr(0, marker));
            if (r < 0)
                return -1;
            const int64_t end = selStart + selLength;
            const bool found = FindText(pattern.substr(marker + 1)) >= 0;
            selLength =
                static_cast<int64_t>(pattern.size()) - 1 + (found ? selStart - end : selLength);
            selStart = r;
            if (found)
                return r;
        }
    }
};

// Runs a search loop as the object search does, on the engine and on a model of it over
// a copy of its buffer: forward each next search starts one byte after the last hit's
// start, backward at the hit. False at the first hit or selection on which they differ.
inline bool LoopsAgree(search::TStreamSearch& engine, std::string buffer, std::string_view pattern,
                       int maxHits) {
    Engine model{std::move(buffer), engine.SelStart(), engine.SelLength()};
    model.down = engine.Options.Contains(search::srDown);
    model.matchCase = engine.Options.Contains(search::srMatchCase);
    model.wholeWord = engine.Options.Contains(search::srWholeWord);
    for (int i = 0; i < maxHits; ++i) {
        const int32_t hit = engine.FindPattern(pattern);
        if (hit != model.FindPattern(pattern) || engine.SelStart() != model.selStart ||
            engine.SelLength() != model.selLength)
            return false;
        if (hit < 0)
            break;
        engine.SetSelStart(model.down ? hit + 1 : hit);
        model.selStart = engine.SelStart();
        model.selLength = 0;
    }
    return true;
}

}  // namespace searchref
