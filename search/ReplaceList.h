#pragma once
// The replace list behind the search-and-replace dialog: a list of find/replace pairs,
// each with its own options, that one search works through entry by entry, and the
// dialog's check boxes and option set, which follow the current entry. The dialog (in the
// front end) shows this model; the object search can drive it without a dialog on screen.
//
// Entry line (in memory and in a replace-list file, .gsr): fields separated by the
// control character with code 5:
//   1. the find text, 2. the replacement text,
//   3.-16. fourteen option fields, "0" or "1", for the check boxes ALL, the eleven object
//          types, whole word and match case (TReplaceCheckBox order).
// A new entry is two empty texts and one separator, with no option fields. A .gsr file is
// the entry lines in order, each ended by CR LF.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "search/Search.h"

namespace search {

inline constexpr char EntrySeparator = '\x05';
// Option fields of an entry line, after the two texts.
inline constexpr int EntryOptionFields = 14;

// The dialog's check boxes, in entry-field order; the last is not part of any entry.
enum TReplaceCheckBox : int {
    cbAllOptions,
    cbApplication,
    cbDatawindow,
    cbFunction,
    cbMenu,
    cbQuery,
    cbStructure,
    cbUserObject,
    cbWindow,
    cbPipeline,
    cbProject,
    cbProxy,
    cbWholeWord,
    cbMatchCase,
    cbReplaceOnFind,
};
inline constexpr int ReplaceCheckBoxCount = 15;
// The check boxes' control names ("CheckBoxAllOptions" ... "CheckBoxReplaceOnFindOption").
extern const std::array<std::string_view, ReplaceCheckBoxCount> CheckBoxNames;
// The option a check box controls: "CheckBox" + X + "Option" controls "sr" + X; -1 for
// ALL, whose name is no option.
int CheckBoxOption(TReplaceCheckBox box);

// The fields of a line, split at every separator (empty fields count: "\x05" is two
// empty texts).
std::vector<std::string> SplitEntryFields(std::string_view line);

class TReplaceList {
  public:
    // One new entry, current; ALL and the eleven types checked; Options {srDown} plus
    // the eleven type options.
    TReplaceList();

    // ---- Entries ----
    const std::vector<std::string>& EntryLines() const { return entryLines_; }
    int Count() const { return static_cast<int>(entryLines_.size()); }
    int CurrentEntry() const { return currentEntry_; }
    // Field 1 / field 2 of entry i (the items of the find and replace drop-downs).
    std::string FindText(int i) const;
    std::string ReplaceText(int i) const;
    std::string CurrentFindText() const { return FindText(currentEntry_); }
    std::string CurrentReplaceText() const { return ReplaceText(currentEntry_); }
    // First entry whose find text equals text without regard to letter case, or -1.
    int IndexOfFindText(std::string_view text) const;

    // Makes entry i current and applies it: its option fields set the check boxes in
    // order, each as if clicked, so Options follows. An index out of range does nothing.
    void SelectEntry(int i);
    // The user typed in the find or replace box: the current entry takes the text and is
    // encoded again from the texts and the check boxes. Control characters other than
    // tab, which a line cannot hold (the separator, line breaks), are dropped.
    void SetFindText(std::string_view text);
    void SetReplaceText(std::string_view text);

    // A new empty entry at the end (Add) or before the current one (Insert); it becomes
    // current. The check boxes keep their states.
    void Add();
    void Insert();
    // Removes the current entry when there are at least two; the next one (or the new
    // last one) becomes current and is applied.
    void Delete();
    // Leaves one new empty entry. The check boxes keep their states.
    void Clear();

    // ---- Check boxes and options ----
    bool Checked(TReplaceCheckBox box) const { return checked_[box]; }
    // Sets a box as a click would: its option follows; a type box that becomes unchecked
    // unchecks ALL; ALL sets all eleven type boxes; then the current entry is encoded.
    void SetChecked(TReplaceCheckBox box, bool checked);
    // The dialog's options: the boxes' options plus what the dialog's openers and
    // buttons put in (srReplaceDlg, srDown, srFindNext, ...).
    TSearchOptions Options{srDown};

    // ---- Replace-list files ----
    // Each gives an empty text on success, else a message for the user. A file that
    // cannot be read or is not a replace list changes nothing; a loaded list starts at
    // entry 0, applied. Lines with fewer than fourteen option fields get the missing
    // ones with their defaults. Blank lines, a UTF-8 byte-order mark in front and a
    // Ctrl-Z (code 26) at the end are skipped.
    std::string LoadFromFile(std::string_view windowsPath);
    std::string SaveToFile(std::string_view windowsPath) const;
    // The same on the file's bytes; name is used in messages.
    std::string LoadFromText(std::string_view bytes, std::string_view name);
    std::string SaveText() const;

    // Limits of a file that is accepted as a replace list.
    static constexpr size_t MaxFileBytes = 16u << 20;
    static constexpr size_t MaxLineBytes = 65536;

  private:
    void EncodeCurrent();
    void ApplyCurrent();
    void SetCurrentText(int field, std::string_view text);

    std::vector<std::string> entryLines_;
    int currentEntry_ = -1;
    // The current entry's boxes are being set from its line: the line stays as it is.
    bool applying_ = false;
    std::array<bool, ReplaceCheckBoxCount> checked_{};
};

}  // namespace search
