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

inline char Fold(char c, bool matchCase) {
    return matchCase ? c : platform::AnsiUpper(c);
}

inline std::string Expand(std::string_view text) {
    std::string s(text);
    // Only the first star counts, and only when no tilde stands before it.
    if (const size_t i = s.find('*'); i != std::string::npos && (i == 0 || s[i - 1] != '~')) {
        if (i == s.size() - 1)
            s.push_back(' ');
        s[i] = '\xDE';
    }
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '~' && i + 1 < s.size()) {
            c = s[++i];
            c = c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\x07' : c;
        }
        out.push_back(c);
    }
    return out;
}

struct Engine {
    std::string buffer;
    int64_t selStart = 0;
    int64_t selLength = 0;
    bool down = true;
    bool matchCase = false;
    bool wholeWord = false;

    int64_t Size() const { return static_cast<int64_t>(buffer.size()); }
    char At(int64_t i) const { return buffer[static_cast<size_t>(i)]; }

    bool MatchesAt(int64_t q, std::string_view text) const {
        for (size_t i = 0; i < text.size(); ++i)
            if (Fold(At(q + static_cast<int64_t>(i)), matchCase) != Fold(text[i], matchCase))
                return false;
        return true;
    }

    // Whether a whole-word search tries the text at q. Forward: offset 0; a word
    // character after a delimiter, past the search start; the last position unless it
    // lies inside a word. Backward: offset 0 and every word start.
    bool Tried(int64_t q, int64_t start, int64_t last) const {
        if (q == 0)
            return true;
        const bool wordStart = IsWord(At(q)) && !IsWord(At(q - 1));
        if (!down)
            return wordStart;
        if (q == last)
            return !(IsWord(At(q)) && IsWord(At(q - 1)));
        return q > start && wordStart;
    }

    bool HitAt(int64_t q, std::string_view text, int64_t start) const {
        const int64_t n = static_cast<int64_t>(text.size());
        const int64_t last = Size() - n;
        if (!MatchesAt(q, text))
            return false;
        if (!wholeWord)
            return true;
        return Tried(q, start, last) && (q + n == Size() || !IsWord(At(q + n)));
    }

    int64_t SearchBuf(std::string_view text) const {
        const int64_t n = static_cast<int64_t>(text.size());
        if (down) {
            const int64_t start = selStart + selLength;
            if (start < 0)
                return -1;
            for (int64_t q = start; q + n <= Size(); ++q)
                if (HitAt(q, text, start))
                    return q;
            return -1;
        }
        const int64_t start = selStart - n;
        if (start < 0 || start > Size())
            return -1;
        for (int64_t q = start; q >= 0; --q)
            if (q + n <= Size() && HitAt(q, text, start))
                return q;
        return -1;
    }

    bool Search(std::string_view text) {
        if (text.empty() || buffer.empty())
            return false;
        const int64_t q = SearchBuf(text);
        if (q < 0)
            return false;
        selStart = q;
        selLength = static_cast<int64_t>(text.size());
        return true;
    }

    int64_t FindText(std::string_view text) { return Search(text) ? selStart : -1; }

    bool FindGap(std::string_view text) {
        const int64_t end = selStart + selLength;
        if (!Search(text))
            return false;
        const int64_t hit = selStart;
        selStart = end;
        selLength = hit - end;
        return true;
    }

    int64_t FindPattern(std::string_view pattern) {
        const size_t marker = pattern.find('\xDE');
        if (marker == std::string_view::npos)
            return FindText(pattern);
        const std::string_view first = pattern.substr(0, marker);
        const std::string_view rest = pattern.substr(marker + 1);
        for (;;) {
            const int64_t r = FindText(first);
            if (r < 0)
                return -1;
            const int64_t s = selStart;
            const bool found = FindGap(rest);
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
        for (int64_t i = selStart; i < selStart + selLength; ++i)
            if (i >= 0 && i < Size() && selStart >= 0)
                out.push_back(At(i));
        return out;
    }

    void Replace(std::string_view newText) {
        const std::string removed = SelText();
        int64_t at = selStart < 0 ? 0 : selStart > Size() ? Size() : selStart;
        buffer = buffer.substr(0, static_cast<size_t>(at)) + std::string(newText) +
                 buffer.substr(static_cast<size_t>(at) + removed.size());
        selLength = static_cast<int64_t>(newText.size());
    }
};

}  // namespace searchref
