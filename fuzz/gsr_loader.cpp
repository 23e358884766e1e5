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

    // Walk the entries and edit the list; it never runs empty, the current entry is
    // always one of its entries, and the type options follow their boxes.
    for (size_t i = 0; i < bytes.size() && i < 64; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        switch (c % 8) {
            case 0:
                list.SelectEntry(c / 8 % (list.Count() + 1));
                break;
            case 1:
                list.Add();
                break;
            case 2:
                list.Insert();
                break;
            case 3:
                list.Delete();
                break;
            case 4:
                list.SetFindText(bytes.substr(i, c % 5));
                break;
            case 5:
                list.SetReplaceText(bytes.substr(i, c % 7));
                break;
            case 6:
                list.SetChecked(TReplaceCheckBox(c / 8 % ReplaceCheckBoxCount), c & 1);
                break;
            default:
                if (c > 0xF0)
                    list.Clear();
        }
        Check(list.CurrentEntry() >= 0 && list.CurrentEntry() < list.Count());
        for (int box = cbApplication; box <= cbProxy; ++box)
            Check(list.Checked(TReplaceCheckBox(box)) ==
                  list.Options.Contains(CheckBoxOption(TReplaceCheckBox(box))));
    }
    checkSavedLoadsBack(list);
    return 0;
}
