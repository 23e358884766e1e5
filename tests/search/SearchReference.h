#pragma once
// A deliberately plain model of the search engine's rules, to check the engine against:
// it tries every position in order, and it runs the pattern loop exactly as described
// (searching for the rest after every hit of the first part). It is slow on purpose.
// Shared by the unit tests and the search_pattern fuzz target.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Ansi.h"

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

    bool Search(std::string_view text) {
        const int64_t q = text.empty() || buffer.empty() ? -1 : SearchBuf(text);
        if (q >= 0) {
            selStart = q;
            selLength = static_cast<int64_t>(text.size());
        }
        return q >= 0;
    }

    int64_t FindText(std::string_view text) { return Search(text) ? selStart : -1; }

    bool FindGap(std::string_view text) {
        const int64_t end = selStart + selLength;
        if (!Search(text))
            return false;
        selLength = selStart - end;
        selStart = end;
        return true;
    }

    int64_t FindPattern(std::string_view pattern) {
        const size_t marker = pattern.find('\xDE');
        if (marker == std::string_view::npos)
            return FindText(pattern);
        for (;;) {
            const int64_t r = FindText(pattern.substr(0, marker));
            if (r < 0)
                return -1;
            const int64_t s = selStart;
            const bool found = FindGap(pattern.substr(marker + 1));
            selStart = s;
            selLength = static_cast<int64_t>(pattern.size()) - 1 + selLength;
            if (found)
                return r;
        }
    }

    std::string SelText() {
        if (selLength > 255)
            selLength = 255;
        std::string out;
        for (int64_t i = selStart; selStart >= 0 && i < selStart + selLength && i < Size(); ++i)
            out.push_back(buffer[static_cast<size_t>(i)]);
        return out;
    }

    void Replace(std::string_view newText) {
        const size_t removed = SelText().size();
        const int64_t at = selStart < 0 ? 0 : selStart > Size() ? Size() : selStart;
        buffer.replace(static_cast<size_t>(at), removed, newText);
        selLength = static_cast<int64_t>(newText.size());
    }
};

}  // namespace searchref
