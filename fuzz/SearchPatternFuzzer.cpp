// Fuzz target for the search engine: the preparation of typed texts, and the pattern
// search checked against the plain reference model, which tries every position and runs
// the pattern loop step by step. Both must agree on every hit and selection.
//
// Input: flags, pattern length, selection start, selection length, pattern, buffer.
// Flags: 1 backward, 2 match case, 4 whole word, 8 prepare the pattern as a typed text,
// 32 the portable scan (16 is not used).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "search/Search.h"
#include "tests/search/SearchReference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace search;
    if (size < 4)
        return 0;
    const uint8_t flags = data[0];
    const size_t patternLength = std::min<size_t>(data[1] % 64, size - 4);
    const auto selStart = static_cast<int32_t>(static_cast<int8_t>(data[2]));
    const auto selLength = static_cast<int32_t>(static_cast<int8_t>(data[3]));
    const std::string_view input(reinterpret_cast<const char*>(data) + 4, size - 4);
    const std::string_view typed = input.substr(0, patternLength);
    // The reference is quadratic; a few kilobytes find every fault the rules can have.
    const std::string_view text = input.substr(patternLength, 4096);

    // Escapes only shorten a text; the star at the end adds a blank, the first star
    // becomes the one marker a typed text can add.
    const std::string expanded = ExpandSearchText(typed);
    Check(expanded.size() <= typed.size() + 1);
    Check(std::count(expanded.begin(), expanded.end(), GapMarker) <=
          std::count(typed.begin(), typed.end(), GapMarker) + 1);
    const std::string pattern = (flags & 8) ? expanded : std::string(typed);

    UseBlockScan((flags & 32)    ? TBlockScan::Off
                 : (flags & 64)  ? TBlockScan::Sse2
                 : (flags & 128) ? TBlockScan::Avx2
                                 : TBlockScan::Widest);
    std::string buffer(text);
    TStreamSearch engine(&buffer);
    engine.Options = TSearchOptions{};
    engine.Options.Set(srDown, !(flags & 1));
    engine.Options.Set(srMatchCase, flags & 2);
    engine.Options.Set(srWholeWord, flags & 4);
    engine.SetSelection(selStart, selLength);
    Check(searchref::LoopsAgree(engine, buffer, pattern, 32));
    return 0;
}
