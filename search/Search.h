#pragma once
// The text search engine: finds a text in one in-memory byte buffer (the exported source
// of one PowerBuilder object), selects the hit and replaces the selected bytes. It knows
// nothing of libraries or objects; the search across objects attaches each object's
// source in turn and drives it. Also here: the option set shared by the engine, the
// search dialog and the object search, the option names, and the preparation of
// user-typed texts (wildcard and escapes) before they reach the engine.
//
// Texts are single-byte ANSI; every offset and length is in bytes, 0-based.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace search {

// ---- Options ------------------------------------------------------------------------

// Members of TSearchOptions, in bit order. The engine reads only srDown, srMatchCase and
// srWholeWord; the others are carried for the dialog and the object search.
enum TSearchOption : int {
    srReplaceDlg,        // the dialog is in replace mode
    srDown,              // engine: search forward
    srFindNext,          // prompt after each hit
    srHideMatchCase,     // carried, not read
    srHideWholeWord,     // carried, not read
    srHideUpDown,        // carried, not read
    srMatchCase,         // engine: case-sensitive comparison
    srDisableMatchCase,  // carried, not read
    srDisableUpDown,     // carried, not read
    srDisableWholeWord,  // carried, not read
    srReplace,           // set while the Replace/Undo action runs
    srWholeWord,         // engine: whole words only
    srShowHelp,          // carried, not read
    srReplaceOnFind,     // replace each hit when found
    srFindAll,           // no prompting
    srApplication,       // object-type filters, one per library entry type
    srDatawindow,
    srFunction,
    srMenu,
    srQuery,
    srStructure,
    srUserObject,
    srWindow,
    srPipeline,
    srProject,
    srProxy,
};
inline constexpr int SearchOptionCount = 26;

// The members' names, indexed by member ("srReplaceDlg" ... "srProxy").
extern const std::array<std::string_view, SearchOptionCount> SearchOptionNames;
// The member with exactly this name (case counts), or -1: a value outside the set, so
// never a member and ignored by Include and Exclude.
int SearchOptionByName(std::string_view name);

// A set of TSearchOption stored as one 32-bit word, bit i for member i.
class TSearchOptions {
  public:
    constexpr TSearchOptions() = default;
    constexpr TSearchOptions(std::initializer_list<TSearchOption> members) {
        for (TSearchOption m : members)
            Include(m);
    }
    constexpr uint32_t Bits() const { return bits_; }

    // Members are 0..25; any other value is never contained and changes nothing.
    constexpr bool Contains(int member) const { return Valid(member) && (bits_ >> member) & 1u; }
    constexpr void Include(int member) {
        if (Valid(member))
            bits_ |= 1u << member;
    }
    constexpr void Exclude(int member) {
        if (Valid(member))
            bits_ &= ~(1u << member);
    }
    constexpr void Set(int member, bool on) { on ? Include(member) : Exclude(member); }

    friend constexpr bool operator==(TSearchOptions, TSearchOptions) = default;

  private:
    static constexpr bool Valid(int member) { return member >= 0 && member < SearchOptionCount; }
    uint32_t bits_ = 0;
};

// ---- Characters and maps ------------------------------------------------------------

// In a prepared pattern, stands for any run of bytes between a first and a second part.
inline constexpr char GapMarker = '\xDE';

// Prepares a find or replacement text typed by the user:
//  1. the first '*', unless a '~' stands before it, becomes GapMarker; when that '*' is
//     the last character a blank is appended first (so "word*" means the word, then
//     anything up to and including the next blank). Later stars stay.
//  2. '~' escapes the character after it: ~n is a line feed (10), ~r a carriage return
//     (13), ~t a tab (9, as in PowerScript), and any other character stands for itself
//     (~~ is ~, ~* is *). A '~' at the very end stays a '~'.
std::string ExpandSearchText(std::string_view text);
// Prepares a replacement text: the escapes of step 2 only. A '*' is a star: a
// replacement has no gap, and GapMarker written into a source would corrupt it.
std::string ExpandReplaceText(std::string_view text);

// ---- The engine ---------------------------------------------------------------------

// Searches one byte buffer, the "stream" (a std::string). An attached stream is never
// owned; without one the engine works on an empty buffer of its own.
//
// Bytes compare through one map for both sides: the identity with srMatchCase, else the
// ANSI upper-case map. Word characters are 0-9, A-Z, a-z and _; every other byte (all
// control characters and all values 128-255) is a word delimiter.
//
// Whole-word searching tries the text only where a word starts: at offset 0, and at a
// word character that follows a delimiter. A forward search takes the search start as
// lying in the current word (a word beginning exactly there is skipped unless the start
// is 0), and also tries the last position (where the text would end with the buffer)
// unless that position lies inside a word. A hit must be followed by a delimiter or by
// the end of the buffer.
class TStreamSearch {
  public:
    // Options {srDown, srFindNext}; nothing selected.
    explicit TStreamSearch(std::string* stream = nullptr);
    ~TStreamSearch();
    TStreamSearch(const TStreamSearch&) = delete;
    TStreamSearch& operator=(const TStreamSearch&) = delete;

    // Attaches another buffer (none: an empty one), drops the engine's own buffer and
    // selects nothing at offset 0.
    void SetStream(std::string* stream);

    int32_t SelStart() const { return selStart_; }
    int32_t SelLength() const { return selLength_; }
    // Moves the selection start; the selection becomes empty.
    void SetSelStart(int32_t n);
    void SetSelection(int32_t start, int32_t length);

    // Searches for text from the current selection: forward it begins after the
    // selection, backward the hit must end at or before the selection's start. A hit
    // selects it and gives true; a miss (also for an empty text or buffer, or a start
    // outside the buffer) leaves the selection and gives false.
    bool Search(std::string_view text);
    // Search; the new selection start, or -1.
    int32_t FindText(std::string_view text);
    // Like FindText, but the first GapMarker splits the pattern into a first part and
    // the rest (further markers are ordinary bytes): a hit is the first part, then any
    // bytes, then the rest. The whole hit is selected; the result is its start or -1.
    // An empty first part finds nothing. A miss leaves the selection wherever the search
    // for the first part last stopped.
    int32_t FindPattern(std::string_view pattern);
    // Searches for text; on a hit selects the bytes between the end of the previous
    // selection and the hit (backward this is a negative length). False on a miss,
    // with the selection unchanged.
    bool FindGap(std::string_view text);
    // The selected bytes, at most 255: a longer selection is first cut to 255 bytes and
    // SelLength keeps the cut length. Parts of the selection outside the buffer are not
    // returned.
    std::string SelText();
    // Puts newText in place of the selected bytes (at most 255 of them, as SelText
    // gives them); the selection then covers newText.
    void Replace(std::string_view newText);
    // The selected bytes, all of them (a wildcard hit may be far longer than 255), and
    // their replacement by newText, which the selection then covers. The search across
    // objects keeps and replaces whole hits with these.
    std::string SelBytes() const;
    void ReplaceSel(std::string_view newText);

    TSearchOptions Options{srDown, srFindNext};

  private:
    // A text made ready for scanning with one map: its mapped bytes, the Horspool shifts
    // indexed by raw buffer byte, and the raw bytes that map to its first and last byte
    // and to its middle byte (for the block filter; usable when the first and the last
    // have at most two each).
    struct TPrepared {
        std::string text;
        const std::array<unsigned char, 256>* map = nullptr;
        std::string mapped;
        std::array<uint32_t, 256> shift{};
        std::array<unsigned char, 2> firstRaw{};
        std::array<unsigned char, 2> lastRaw{};
        std::array<unsigned char, 2> middleRaw{};
        size_t middle = 0;
        bool blockFilter = false;
    };

    // The SearchBuf step: the hit position for text in the attached buffer from the
    // selection (selStart, selLength), or -1.
    int64_t SearchBuf(std::string_view text, int64_t selStart, int64_t selLength);
    int64_t ScanForward(const TPrepared& p, int64_t start, int64_t last);
    int64_t ScanBackward(const TPrepared& p, int64_t start);
    // The prepared form of text; the last two are kept, since a pattern search alternates
    // between its two parts and a run repeats them for every hit and every object.
    const TPrepared& Prepare(std::string_view text, const std::array<unsigned char, 256>& map);

    std::unique_ptr<std::string> own_;  // the engine's own buffer, when nothing is attached
    std::string* stream_ = nullptr;
    int32_t selStart_ = 0;
    int32_t selLength_ = 0;
    std::array<TPrepared, 2> prepared_;
    size_t nextPrepared_ = 0;
};

// Test hook: which scan forward searches use; all give the same hits. Widest: the widest
// block filter the processor has (64 bytes with AVX-512BW, 32 with AVX2, 16 with SSE2);
// Avx2: the 32-byte one where the processor has AVX2, else as Widest; Sse2: the 16-byte
// one; Off: the portable Horspool loop.
enum class TBlockScan { Widest, Avx2, Sse2, Off };
void UseBlockScan(TBlockScan scan);

}  // namespace search
