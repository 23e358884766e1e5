#include "search/Search.h"

#include <algorithm>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define SORVANTI_AVX2_SCAN 1
#endif

#include "platform/Ansi.h"
#include "shell/Utilities.h"

namespace search {

namespace {

constexpr std::array<bool, 256> MakeWordDelimiters() {
    std::array<bool, 256> delimiters{};
    for (int b = 0; b < 256; ++b) {
        const bool word =
            (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || b == '_';
        delimiters[b] = !word;
    }
    return delimiters;
}

constexpr std::array<unsigned char, 256> MakeIdentityMap() {
    std::array<unsigned char, 256> map{};
    for (int b = 0; b < 256; ++b)
        map[b] = static_cast<unsigned char>(b);
    return map;
}

// Other than Widest only in tests, to check the narrower scans other processors use.
TBlockScan blockScan = TBlockScan::Widest;

constexpr int64_t MaxInt32 = std::numeric_limits<int32_t>::max();
constexpr int64_t MinInt32 = std::numeric_limits<int32_t>::min();

int32_t ToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp(value, MinInt32, MaxInt32));
}

inline unsigned char Byte(const char* buffer, int64_t i) {
    return static_cast<unsigned char>(buffer[i]);
}

// WordDelimiters[b]: b is no word character.
constexpr std::array<bool, 256> WordDelimiters = MakeWordDelimiters();
constexpr std::array<unsigned char, 256> IdentityMap = MakeIdentityMap();

inline bool IsWordByte(const char* buffer, int64_t i) {
    return !WordDelimiters[Byte(buffer, i)];
}

// The raw bytes a block filter looks for: those that can stand at the first and the last
// place of a hit, and at one place m between them (a third byte makes the places where
// the rest is compared rare: in source text a first and last byte alone often meet).
struct TFilterBytes {
    unsigned char first[2], middle[2], tail[2];
    int64_t m;
};

// The block filters: the first position q in [from, last] where the bytes at q, q + m
// and q + n - 1 are each one of their two, or last + 1; only there is the rest of the
// text compared. Reads stay within the buffer: the last block ends where a text starting
// at last ends.
using TNextCandidate = int64_t (*)(const char* buffer, int64_t from, int64_t last, int64_t n,
                                   const TFilterBytes& bytes);

// The positions after the last whole block, one at a time.
inline int64_t NextCandidateByByte(const char* buffer, int64_t q, int64_t last, int64_t n,
                                   const TFilterBytes& f) {
    for (; q <= last; ++q) {
        const unsigned char a = Byte(buffer, q), z = Byte(buffer, q + n - 1),
                            c = Byte(buffer, q + f.m);
        if ((a == f.first[0] || a == f.first[1]) && (z == f.tail[0] || z == f.tail[1]) &&
            (c == f.middle[0] || c == f.middle[1]))
            return q;
    }
    return last + 1;
}

#if defined(__SSE2__)
// Sixteen positions at a time.
int64_t NextCandidateSse2(const char* buffer, int64_t q, int64_t last, int64_t n,
                          const TFilterBytes& f) {
    const auto either = [](__m128i v, const unsigned char two[2]) {
        return _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(two[0]))),
                            _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(two[1]))));
    };
    for (; q + 16 <= last + 1; q += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + q));
        const __m128i z = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + q + n - 1));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buffer + q + f.m));
        const __m128i at = _mm_and_si128(_mm_and_si128(either(a, f.first), either(z, f.tail)),
                                         either(c, f.middle));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(at)))
            return q + __builtin_ctz(mask);
    }
    return NextCandidateByByte(buffer, q, last, n, f);
}
#endif

#if defined(SORVANTI_AVX2_SCAN)
// The two bytes a place may hold, each in every lane, and the lanes of v holding one of
// them; for the 32- and the 64-byte filters.
struct TTwo256 {
    __m256i a, b;
};
__attribute__((target("avx2"))) inline TTwo256 Lanes256(const unsigned char two[2]) {
    return {_mm256_set1_epi8(static_cast<char>(two[0])),
            _mm256_set1_epi8(static_cast<char>(two[1]))};
}
__attribute__((target("avx2"))) inline __m256i Either(__m256i v, const TTwo256& two) {
    return _mm256_or_si256(_mm256_cmpeq_epi8(v, two.a), _mm256_cmpeq_epi8(v, two.b));
}
struct TTwo512 {
    __m512i a, b;
};
__attribute__((target("avx512bw"))) inline TTwo512 Lanes512(const unsigned char two[2]) {
    return {_mm512_set1_epi8(static_cast<char>(two[0])),
            _mm512_set1_epi8(static_cast<char>(two[1]))};
}
__attribute__((target("avx512bw"))) inline __mmask64 Either(__m512i v, const TTwo512& two) {
    return _mm512_cmpeq_epi8_mask(v, two.a) | _mm512_cmpeq_epi8_mask(v, two.b);
}

// Thirty-two positions at a time, on processors with AVX2.
__attribute__((target("avx2"))) int64_t NextCandidateAvx2(const char* buffer, int64_t q,
                                                          int64_t last, int64_t n,
                                                          const TFilterBytes& f) {
    const TTwo256 first = Lanes256(f.first), middle = Lanes256(f.middle), tail = Lanes256(f.tail);
    for (; q + 32 <= last + 1; q += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buffer + q));
        const __m256i z = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buffer + q + n - 1));
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buffer + q + f.m));
        const __m256i at = _mm256_and_si256(_mm256_and_si256(Either(a, first), Either(z, tail)),
                                            Either(c, middle));
        if (const auto mask = static_cast<unsigned>(_mm256_movemask_epi8(at)))
            return q + __builtin_ctz(mask);
    }
    return NextCandidateByByte(buffer, q, last, n, f);
}

// Sixty-four positions at a time, on processors with AVX-512BW.
__attribute__((target("avx512bw"))) int64_t NextCandidateAvx512(const char* buffer, int64_t q,
                                                                int64_t last, int64_t n,
                                                                const TFilterBytes& f) {
    const TTwo512 first = Lanes512(f.first), middle = Lanes512(f.middle), tail = Lanes512(f.tail);
    for (; q + 64 <= last + 1; q += 64) {
        const __mmask64 at = Either(_mm512_loadu_si512(buffer + q), first) &
                             Either(_mm512_loadu_si512(buffer + q + n - 1), tail) &
                             Either(_mm512_loadu_si512(buffer + q + f.m), middle);
        if (at)
            return q + __builtin_ctzll(at);
    }
    return NextCandidateAvx2(buffer, q, last, n, f);
}
#endif

// The block filter blockScan asks for, the widest the processor has for Widest; null
// for the Horspool scan.
TNextCandidate BlockFilter() {
    if (blockScan == TBlockScan::Off)
        return nullptr;
#if defined(SORVANTI_AVX2_SCAN)
    static const bool avx2 = __builtin_cpu_supports("avx2");
    static const bool avx512 = avx2 && __builtin_cpu_supports("avx512bw");
    if (blockScan == TBlockScan::Widest && avx512)
        return &NextCandidateAvx512;
    if ((blockScan == TBlockScan::Widest || blockScan == TBlockScan::Avx2) && avx2)
        return &NextCandidateAvx2;
#endif
#if defined(__SSE2__)
    return &NextCandidateSse2;
#else
    return nullptr;
#endif
}

}  // namespace

const std::array<std::string_view, SearchOptionCount> SearchOptionNames = {
    "srReplaceDlg",  "srDown",       "srFindNext",         "srHideMatchCase", "srHideWholeWord",
    "srHideUpDown",  "srMatchCase",  "srDisableMatchCase", "srDisableUpDown", "srDisableWholeWord",
    "srReplace",     "srWholeWord",  "srShowHelp",         "srReplaceOnFind", "srFindAll",
    "srApplication", "srDatawindow", "srFunction",         "srMenu",          "srQuery",
    "srStructure",   "srUserObject", "srWindow",           "srPipeline",      "srProject",
    "srProxy",
};

int SearchOptionByName(std::string_view name) {
    return shell::IndexOfString(name, std::span<const std::string_view>(SearchOptionNames));
}

void UseBlockScan(TBlockScan scan) {
    blockScan = scan;
}

namespace {

// The escapes of both texts: ~n line feed, ~r carriage return, ~t tab, any other
// character for itself; a '~' at the very end stays.
std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '~' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char escaped = text[++i];
        switch (escaped) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            default:
                out += escaped;
        }
    }
    return out;
}

}  // namespace

std::string ExpandSearchText(std::string_view text) {
    std::string starred(text);
    const size_t star = starred.find('*');
    if (star != std::string::npos && (star == 0 || starred[star - 1] != '~')) {
        if (star + 1 == starred.size())
            starred += ' ';
        starred[star] = GapMarker;
    }
    return Unescape(starred);
}

std::string ExpandReplaceText(std::string_view text) {
    return Unescape(text);
}

// ---- TStreamSearch ------------------------------------------------------------------

TStreamSearch::TStreamSearch(std::string* stream) {
    SetStream(stream);
}

TStreamSearch::~TStreamSearch() = default;

void TStreamSearch::SetStream(std::string* stream) {
    if (stream) {
        own_.reset();
        stream_ = stream;
    } else {
        own_ = std::make_unique<std::string>();
        stream_ = own_.get();
    }
    selStart_ = 0;
    selLength_ = 0;
}

void TStreamSearch::SetSelStart(int32_t n) {
    selStart_ = n;
    selLength_ = 0;
}

void TStreamSearch::SetSelection(int32_t start, int32_t length) {
    selStart_ = start;
    selLength_ = length;
}

const TStreamSearch::TPrepared& TStreamSearch::Prepare(std::string_view text,
                                                       const std::array<unsigned char, 256>& map) {
    for (const TPrepared& p : prepared_)
        if (p.map == &map && p.text == text)
            return p;
    TPrepared& p = prepared_[nextPrepared_];
    nextPrepared_ = (nextPrepared_ + 1) % prepared_.size();
    p.text.assign(text);
    p.map = &map;
    const size_t n = text.size();
    p.mapped.resize(n);
    for (size_t i = 0; i < n; ++i)
        p.mapped[i] = static_cast<char>(map[static_cast<unsigned char>(text[i])]);

    // Horspool shifts over mapped bytes, then looked up by raw byte so that the scan
    // needs one table access per window.
    std::array<uint32_t, 256> mappedShift;
    mappedShift.fill(static_cast<uint32_t>(std::min<size_t>(n, UINT32_MAX)));
    for (size_t i = 0; i + 1 < n; ++i)
        mappedShift[static_cast<unsigned char>(p.mapped[i])] = static_cast<uint32_t>(n - 1 - i);
    for (int b = 0; b < 256; ++b)
        p.shift[b] = mappedShift[map[b]];

    // The raw bytes that can stand at the first, the middle and the last place of a hit.
    auto sources = [&](char mappedByte, std::array<unsigned char, 2>& raw) {
        int count = 0;
        for (int b = 0; b < 256; ++b) {
            if (map[b] != static_cast<unsigned char>(mappedByte))
                continue;
            if (count < 2)
                raw[count] = static_cast<unsigned char>(b);
            ++count;
        }
        if (count == 1)
            raw[1] = raw[0];
        return count >= 1 && count <= 2;
    };
    p.blockFilter =
        n > 0 && sources(p.mapped[0], p.firstRaw) && sources(p.mapped[n - 1], p.lastRaw);
    // A middle byte of more than two raw forms is not looked at (the first stands in).
    p.middle = n / 2;
    if (n == 0 || !sources(p.mapped[p.middle], p.middleRaw)) {
        p.middle = 0;
        p.middleRaw = p.firstRaw;
    }
    return p;
}

int64_t TStreamSearch::SearchBuf(std::string_view text, int64_t selStart, int64_t selLength) {
    const int64_t length = static_cast<int64_t>(stream_->size());
    const int64_t n = static_cast<int64_t>(text.size());
    // Offsets are 32-bit: a larger buffer is not searched.
    if (length <= 0 || n == 0 || length > MaxInt32)
        return -1;
    const int64_t last = length - n;  // the last position where the whole text fits
    const auto& map = Options.Contains(srMatchCase) ? IdentityMap : platform::AnsiUpperMap;
    if (Options.Contains(srDown)) {
        const int64_t start = selStart + selLength;
        if (start < 0 || start > last)
            return -1;
        return ScanForward(Prepare(text, map), start, last);
    }
    int64_t start = selStart - n;
    if (start < 0 || start > length)
        return -1;
    // A text that would run past the end of the buffer cannot be there.
    start = std::min(start, last);
    if (start < 0)
        return -1;
    return ScanBackward(Prepare(text, map), start);
}

namespace {

// Whether the mapped text matches at q, its first and last byte already known to match.
inline bool InnerMatches(const char* buffer, int64_t q, const char* pattern, int64_t n,
                         const std::array<unsigned char, 256>& map, bool identity) {
    if (n <= 2)
        return true;
    if (identity)
        return std::memcmp(buffer + q + 1, pattern + 1, size_t(n - 2)) == 0;
    for (int64_t i = 1; i < n - 1; ++i)
        if (map[Byte(buffer, q + i)] != Byte(pattern, i))
            return false;
    return true;
}

}  // namespace

// The first hit at a position in [start, last], or -1.
int64_t TStreamSearch::ScanForward(const TPrepared& p, int64_t start, int64_t last) {
    const char* buffer = stream_->data();
    const int64_t n = static_cast<int64_t>(p.text.size());
    const auto& map = *p.map;
    const bool identity = p.map == &IdentityMap;
    const char* pattern = p.mapped.data();
    const unsigned char head = Byte(pattern, 0);
    const unsigned char tail = Byte(pattern, n - 1);
    const bool wholeWord = Options.Contains(srWholeWord);

    // Where a whole-word search tries the text (see the class comment).
    auto tried = [&](int64_t q) {
        if (q == 0)
            return true;
        const bool wordHere = IsWordByte(buffer, q);
        const bool wordBefore = IsWordByte(buffer, q - 1);
        if (q > start && wordHere && !wordBefore)
            return true;
        return q == last && !(wordHere && wordBefore);
    };
    auto accept = [&](int64_t q) {
        return !wholeWord || (tried(q) && (q == last || !IsWordByte(buffer, q + n)));
    };
    auto matches = [&](int64_t q) {
        return map[Byte(buffer, q)] == head && map[Byte(buffer, q + n - 1)] == tail &&
               InnerMatches(buffer, q, pattern, n, map, identity);
    };

    int64_t q = start;
    if (const TNextCandidate next = p.blockFilter ? BlockFilter() : nullptr) {
        const TFilterBytes bytes{{p.firstRaw[0], p.firstRaw[1]},
                                 {p.middleRaw[0], p.middleRaw[1]},
                                 {p.lastRaw[0], p.lastRaw[1]},
                                 static_cast<int64_t>(p.middle)};
        for (;; ++q) {
            q = next(buffer, q, last, n, bytes);
            if (q > last)
                return -1;
            if (InnerMatches(buffer, q, pattern, n, map, identity) && accept(q))
                return q;
        }
    }
    // Horspool over the mapped text.
    while (q <= last) {
        const unsigned char c = Byte(buffer, q + n - 1);
        if (map[c] == tail && matches(q) && accept(q))
            return q;
        q += p.shift[c];
    }
    return -1;
}

// The first hit at a position in [0, start] going down, or -1.
int64_t TStreamSearch::ScanBackward(const TPrepared& p, int64_t start) {
    const char* buffer = stream_->data();
    const int64_t n = static_cast<int64_t>(p.text.size());
    const int64_t length = static_cast<int64_t>(stream_->size());
    const auto& map = *p.map;
    const char* pattern = p.mapped.data();
    const bool wholeWord = Options.Contains(srWholeWord);
    for (int64_t q = start; q >= 0; --q) {
        if (wholeWord && q > 0 && !(IsWordByte(buffer, q) && !IsWordByte(buffer, q - 1)))
            continue;
        int64_t i = 0;
        while (i < n && map[Byte(buffer, q + i)] == Byte(pattern, i))
            ++i;
        if (i < n)
            continue;
        if (!wholeWord || q + n == length || !IsWordByte(buffer, q + n))
            return q;
    }
    return -1;
}

bool TStreamSearch::Search(std::string_view text) {
    if (text.empty() || stream_->empty())
        return false;
    const int64_t hit = SearchBuf(text, selStart_, selLength_);
    if (hit < 0)
        return false;
    selStart_ = ToInt32(hit);
    selLength_ = ToInt32(static_cast<int64_t>(text.size()));
    return true;
}

int32_t TStreamSearch::FindText(std::string_view text) {
    return Search(text) ? selStart_ : -1;
}

int32_t TStreamSearch::FindPattern(std::string_view pattern) {
    const size_t gap = pattern.find(GapMarker);
    if (gap == std::string_view::npos)
        return FindText(pattern);
    const std::string_view first = pattern.substr(0, gap);
    const std::string_view rest = pattern.substr(gap + 1);
    const int64_t extra = static_cast<int64_t>(pattern.size()) - 1;
    // Once the rest is missing after one hit of the first part, it is missing after every
    // later one too (each search for it would start later, or backward earlier), so the
    // walk over the first part's hits goes on without searching for the rest again. It
    // still ends where the walk ends, so the selection left by a miss is the same.
    bool restMayFollow = true;
    for (;;) {
        const int32_t r = FindText(first);
        if (r < 0)
            return -1;
        const int32_t s = selStart_;
        const bool found = restMayFollow && FindGap(rest);
        selStart_ = s;
        selLength_ = ToInt32(extra + selLength_);
        if (found)
            return r;
        restMayFollow = false;
    }
}

bool TStreamSearch::FindGap(std::string_view text) {
    const int64_t end = int64_t{selStart_} + selLength_;
    if (!Search(text))
        return false;
    const int64_t hit = selStart_;
    selStart_ = ToInt32(end);
    selLength_ = ToInt32(hit - end);
    return true;
}

std::string TStreamSearch::SelText() {
    if (selLength_ > 255)
        selLength_ = 255;
    const int64_t size = static_cast<int64_t>(stream_->size());
    if (selStart_ < 0 || selStart_ > size)
        return {};
    const int64_t count = std::clamp<int64_t>(selLength_, 0, size - selStart_);
    return stream_->substr(static_cast<size_t>(selStart_), static_cast<size_t>(count));
}

std::string TStreamSearch::SelBytes() const {
    const int64_t size = static_cast<int64_t>(stream_->size());
    if (selStart_ < 0 || selStart_ > size)
        return {};
    const int64_t count = std::clamp<int64_t>(selLength_, 0, size - selStart_);
    return stream_->substr(static_cast<size_t>(selStart_), static_cast<size_t>(count));
}

void TStreamSearch::ReplaceSel(std::string_view newText) {
    const int64_t size = static_cast<int64_t>(stream_->size());
    const int64_t at = std::clamp<int64_t>(selStart_, 0, size);
    const int64_t count = std::clamp<int64_t>(selLength_, 0, size - at);
    stream_->replace(static_cast<size_t>(at), static_cast<size_t>(count), newText);
    selStart_ = ToInt32(at);
    selLength_ = ToInt32(static_cast<int64_t>(newText.size()));
}

void TStreamSearch::Replace(std::string_view newText) {
    const size_t removed = SelText().size();
    const int64_t at = std::clamp<int64_t>(selStart_, 0, static_cast<int64_t>(stream_->size()));
    stream_->replace(static_cast<size_t>(at), removed, newText);
    selLength_ = ToInt32(static_cast<int64_t>(newText.size()));
}

}  // namespace search
