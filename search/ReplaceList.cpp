#include "search/ReplaceList.h"

#include <algorithm>
#include <optional>

#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Text.h"
#include "shell/Utilities.h"

namespace search {

namespace {

constexpr int FirstTypeBox = cbApplication;
constexpr int LastTypeBox = cbProxy;

bool IsTypeBox(int box) {
    return box >= FirstTypeBox && box <= LastTypeBox;
}

// The integer value of an option field is only asked whether it is 0: an optional sign
// and at least one digit, nothing else.
std::optional<bool> ParseOptionField(std::string_view field) {
    size_t i = 0;
    if (i < field.size() && (field[i] == '+' || field[i] == '-'))
        ++i;
    if (i == field.size())
        return std::nullopt;
    bool nonZero = false;
    for (; i < field.size(); ++i) {
        if (field[i] < '0' || field[i] > '9')
            return std::nullopt;
        nonZero = nonZero || field[i] != '0';
    }
    return nonZero;
}

// Control characters other than tab and the separator do not occur in a replace list.
bool IsBinaryByte(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 32 && c != '\t' && c != EntrySeparator;
}

// A typed text as an entry can hold it: without the separator and the other control
// characters except tab (line breaks are typed as ~n and ~r), so that every list saved
// loads again.
std::string StorableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != EntrySeparator && !IsBinaryByte(c))
            out += c;
    return out;
}

// The lines of a text: CR LF, a lone CR and a lone LF each end a line; a last line
// without a line end counts, the end of the last line starts no new one.
std::vector<std::string_view> TextLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t begin = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(begin, i - begin));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        begin = i + 1;
    }
    if (begin < text.size())
        lines.push_back(text.substr(begin));
    return lines;
}

constexpr std::string_view Utf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr char DosEndOfFile = '\x1A';

std::string Quoted(std::string_view text) {
    constexpr size_t shown = 24;
    std::string out = "\"";
    out += text.substr(0, shown);
    if (text.size() > shown)
        out += "...";
    return out + "\"";
}

// Whether an option field is checked when a line does not hold it: 1 for ALL and the
// eleven types, 0 for whole word and match case.
bool DefaultOptionField(int field) {
    return field < cbWholeWord;
}

// The line of an entry with the given texts and the given states of the fourteen boxes.
std::string EncodeEntry(std::string_view findText, std::string_view replaceText,
                        const std::array<bool, EntryOptionFields>& checked) {
    std::string line;
    line.reserve(findText.size() + replaceText.size() + 1 + 2 * EntryOptionFields);
    line += findText;
    line += EntrySeparator;
    line += replaceText;
    for (bool on : checked) {
        line += EntrySeparator;
        line += on ? '1' : '0';
    }
    return line;
}

}  // namespace

const std::array<std::string_view, ReplaceCheckBoxCount> CheckBoxNames = {
    "CheckBoxAllOptions",      "CheckBoxApplicationOption", "CheckBoxDatawindowOption",
    "CheckBoxFunctionOption",  "CheckBoxMenuOption",        "CheckBoxQueryOption",
    "CheckBoxStructureOption", "CheckBoxUserObjectOption",  "CheckBoxWindowOption",
    "CheckBoxPipelineOption",  "CheckBoxProjectOption",     "CheckBoxProxyOption",
    "CheckBoxWholeWordOption", "CheckBoxMatchCaseOption",   "CheckBoxReplaceOnFindOption",
};

int CheckBoxOption(TReplaceCheckBox box) {
    // Looked up by name once: "CheckBox" + X + "Option" controls "sr" + X.
    static const auto options = [] {
        std::array<int, ReplaceCheckBoxCount> table{};
        for (int b = 0; b < ReplaceCheckBoxCount; ++b)
            table[b] = SearchOptionByName(
                "sr" + shell::ExtractWildcardPart(CheckBoxNames[b], "CheckBox*Option"));
        return table;
    }();
    return box < 0 || box >= ReplaceCheckBoxCount ? -1 : options[box];
}

std::vector<std::string> SplitEntryFields(std::string_view line) {
    // Unlike the program's list splitting, an empty last piece is a field here: the
    // replacement text of "find\x05" is empty, not missing.
    std::vector<std::string> fields;
    size_t begin = 0;
    for (;;) {
        const size_t sep = line.find(EntrySeparator, begin);
        fields.emplace_back(line.substr(begin, sep == std::string_view::npos ? sep : sep - begin));
        if (sep == std::string_view::npos)
            return fields;
        begin = sep + 1;
    }
}

// ---- TReplaceList -------------------------------------------------------------------

TReplaceList::TReplaceList() {
    Add();
    SetChecked(cbAllOptions, true);
}

std::string TReplaceList::FindText(int i) const {
    if (i < 0 || i >= Count())
        return {};
    return SplitEntryFields(entryLines_[static_cast<size_t>(i)])[0];
}

std::string TReplaceList::ReplaceText(int i) const {
    if (i < 0 || i >= Count())
        return {};
    auto fields = SplitEntryFields(entryLines_[static_cast<size_t>(i)]);
    return fields.size() > 1 ? fields[1] : std::string();
}

int TReplaceList::IndexOfFindText(std::string_view text) const {
    for (int i = 0; i < Count(); ++i)
        if (platform::AnsiSameText(FindText(i), text))
            return i;
    return -1;
}

void TReplaceList::EncodeCurrent() {
    if (applying_ || currentEntry_ < 0 || currentEntry_ >= Count())
        return;
    std::array<bool, EntryOptionFields> boxes;
    std::copy_n(checked_.begin(), EntryOptionFields, boxes.begin());
    entryLines_[static_cast<size_t>(currentEntry_)] =
        EncodeEntry(CurrentFindText(), CurrentReplaceText(), boxes);
}

void TReplaceList::ApplyCurrent() {
    if (currentEntry_ < 0 || currentEntry_ >= Count())
        return;
    // The boxes follow the line. The line is encoded again only when the boxes end up
    // other than it says (ALL checked with a type off): otherwise it stays as it was
    // written, option fields as typed and extra fields included. Whether it is encoded
    // thus depends on the line alone, never on the entry that was current before, so a
    // list saves back to the lines it loaded.
    const auto fields = SplitEntryFields(entryLines_[static_cast<size_t>(currentEntry_)]);
    const size_t options =
        fields.size() < 2 ? 0 : std::min<size_t>(fields.size() - 2, EntryOptionFields);
    applying_ = true;
    for (size_t k = 0; k < options; ++k) {
        if (const auto on = ParseOptionField(fields[k + 2]))
            SetChecked(static_cast<TReplaceCheckBox>(k), *on);
    }
    applying_ = false;
    for (size_t k = 0; k < options; ++k) {
        const auto on = ParseOptionField(fields[k + 2]);
        if (on && *on != checked_[k]) {
            EncodeCurrent();
            break;
        }
    }
}

void TReplaceList::SetChecked(TReplaceCheckBox box, bool checked) {
    if (box < 0 || box >= ReplaceCheckBoxCount || checked_[box] == checked)
        return;
    checked_[box] = checked;
    if (box == cbAllOptions) {
        for (int t = FirstTypeBox; t <= LastTypeBox; ++t)
            SetChecked(static_cast<TReplaceCheckBox>(t), checked);
    } else if (IsTypeBox(box) && !checked) {
        checked_[cbAllOptions] = false;  // without the ALL action
    }
    Options.Set(CheckBoxOption(box), checked);
    EncodeCurrent();
}

void TReplaceList::SelectEntry(int i) {
    if (i < 0 || i >= Count())
        return;
    currentEntry_ = i;
    ApplyCurrent();
}

void TReplaceList::SetCurrentText(int field, std::string_view text) {
    if (currentEntry_ < 0 || currentEntry_ >= Count())
        return;
    std::string findText = CurrentFindText();
    std::string replaceText = CurrentReplaceText();
    (field == 0 ? findText : replaceText) = StorableText(text);
    std::array<bool, EntryOptionFields> boxes;
    std::copy_n(checked_.begin(), EntryOptionFields, boxes.begin());
    entryLines_[static_cast<size_t>(currentEntry_)] = EncodeEntry(findText, replaceText, boxes);
}

void TReplaceList::SetFindText(std::string_view text) {
    SetCurrentText(0, text);
}
void TReplaceList::SetReplaceText(std::string_view text) {
    SetCurrentText(1, text);
}

void TReplaceList::Add() {
    entryLines_.emplace_back(1, EntrySeparator);
    currentEntry_ = Count() - 1;
}

void TReplaceList::Insert() {
    const int at = std::clamp(currentEntry_, 0, Count());
    entryLines_.insert(entryLines_.begin() + at, std::string(1, EntrySeparator));
    currentEntry_ = at;
}

void TReplaceList::Delete() {
    if (Count() < 2 || currentEntry_ < 0 || currentEntry_ >= Count())
        return;
    entryLines_.erase(entryLines_.begin() + currentEntry_);
    currentEntry_ = std::min(currentEntry_, Count() - 1);
    ApplyCurrent();
}

void TReplaceList::Clear() {
    entryLines_.clear();
    Add();
}

std::string TReplaceList::LoadFromFile(std::string_view windowsPath) {
    const auto bytes = platform::ReadFileBytes(windowsPath);
    if (!bytes)
        return "Cannot read the replace list \"" + std::string(windowsPath) +
               "\": " + platform::LastErrorText();
    return LoadFromText(*bytes, windowsPath);
}

std::string TReplaceList::LoadFromText(std::string_view bytes, std::string_view name) {
    const std::string file = "\"" + std::string(name) + "\"";
    if (bytes.size() > MaxFileBytes)
        return file + " is too large for a replace list (more than " +
               std::to_string(MaxFileBytes >> 20) + " MB).";
    // What editors add around a list is skipped: a UTF-8 byte-order mark in front, the
    // Ctrl-Z that ends a DOS text file, and blank lines.
    std::string_view text = bytes;
    if (text.starts_with(Utf8ByteOrderMark))
        text.remove_prefix(Utf8ByteOrderMark.size());
    if (text.ends_with(DosEndOfFile))
        text.remove_suffix(1);
    const auto lines = TextLines(text);

    std::vector<std::string> loaded;
    loaded.reserve(lines.size());
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string_view line = lines[n];
        if (platform::Trim(line).empty())
            continue;
        const std::string where = file + ", line " + std::to_string(n + 1) + ": ";
        if (std::any_of(line.begin(), line.end(), IsBinaryByte))
            return file + " is not a replace list: line " + std::to_string(n + 1) +
                   " holds binary data.";
        if (line.size() > MaxLineBytes)
            return where + "the line is longer than " + std::to_string(MaxLineBytes) + " bytes.";
        const auto fields = SplitEntryFields(line);
        if (fields.size() < 2)
            return where + "no separator (code 5) between the find text and the replacement text.";
        const size_t options = std::min<size_t>(fields.size() - 2, EntryOptionFields);
        for (size_t k = 0; k < options; ++k) {
            if (!ParseOptionField(fields[k + 2]))
                return where + "option field " + std::to_string(k + 1) +
                       " is not a number: " + Quoted(fields[k + 2]) + ".";
        }
        std::string entry(line);
        for (size_t k = options; k < EntryOptionFields; ++k) {
            entry += EntrySeparator;
            entry += DefaultOptionField(static_cast<int>(k)) ? '1' : '0';
        }
        loaded.push_back(std::move(entry));
    }
    if (loaded.empty())
        return file + " holds no entries.";
    entryLines_ = std::move(loaded);
    currentEntry_ = 0;
    ApplyCurrent();
    return {};
}

std::string TReplaceList::SaveText() const {
    // Loading skips a byte-order mark in front: a first line that begins with those
    // bytes itself gets one more, so that it loads back as it was.
    std::string text;
    if (!entryLines_.empty() && entryLines_.front().starts_with(Utf8ByteOrderMark))
        text = Utf8ByteOrderMark;
    for (const std::string& line : entryLines_) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string TReplaceList::SaveToFile(std::string_view windowsPath) const {
    if (!platform::WriteFileBytes(windowsPath, SaveText()))
        return "Cannot write the replace list \"" + std::string(windowsPath) +
               "\": " + platform::LastErrorText();
    return {};
}

}  // namespace search
