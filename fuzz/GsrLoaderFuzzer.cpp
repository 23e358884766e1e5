// Fuzz target for replace-list files: any bytes either load as a list whose every line
// has its fourteen option fields and saves back to the same lines, or are refused with
// a message and change nothing. The list operations keep at least one entry throughout.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "search/ReplaceList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace search;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // A list saved and loaded again has the same lines, each completed with the option
    // fields it lacked (a new entry has none).
    auto checkSavedLoadsBack = [](const TReplaceList& list) {
        TReplaceList again;
        Check(again.LoadFromText(list.SaveText(), "c:\\again.gsr").empty());
        Check(again.Count() == list.Count());
        for (int i = 0; i < list.Count(); ++i)
            Check(again.EntryLines()[i].starts_with(list.EntryLines()[i]));
    };

    TReplaceList list;
    list.SetFindText("before");
    const auto before = list.EntryLines();
    if (!list.LoadFromText(bytes, "c:\\fuzz.gsr").empty()) {
        Check(list.EntryLines() == before && list.CurrentEntry() == 0);
        return 0;
    }
    Check(list.Count() >= 1 && list.CurrentEntry() == 0);
    for (const std::string& line : list.EntryLines()) {
        Check(SplitEntryFields(line).size() >= 2 + EntryOptionFields);
        Check(line.find_first_of("\r\n") == std::string::npos);
    }
    checkSavedLoadsBack(list);

    // Walk the entries and edit the list, one edit per byte (its low three bits choose the
    // edit, the rest or the bytes after it are the edit's argument); the list never runs
    // empty, the current entry is always one of its entries, and the type options follow
    // their boxes.
    using Edit = void (*)(TReplaceList & list, unsigned char c, std::string_view rest);
    const Edit edits[] = {
        [](auto& l, auto c, auto) { l.SelectEntry(c / 8 % (l.Count() + 1)); },
        [](auto& l, auto, auto) { l.Add(); },
        [](auto& l, auto, auto) { l.Insert(); },
        [](auto& l, auto, auto) { l.Delete(); },
        [](auto& l, auto c, auto rest) { l.SetFindText(rest.substr(0, c % 5)); },
        [](auto& l, auto c, auto rest) { l.SetReplaceText(rest.substr(0, c % 7)); },
        [](auto& l, auto c, auto) {
            l.SetChecked(TReplaceCheckBox(c / 8 % ReplaceCheckBoxCount), c & 1);
        },
        [](auto& l, auto c, auto) { c > 0xF0 ? l.Clear() : void(); },
    };
    for (size_t i = 0; i < bytes.size() && i < 64; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        edits[c % 8](list, c, bytes.substr(i));
        Check(list.CurrentEntry() >= 0 && list.CurrentEntry() < list.Count());
        for (int box = cbApplication; box <= cbProxy; ++box)
            Check(list.Checked(TReplaceCheckBox(box)) ==
                  list.Options.Contains(CheckBoxOption(TReplaceCheckBox(box))));
    }
    checkSavedLoadsBack(list);
    return 0;
}
