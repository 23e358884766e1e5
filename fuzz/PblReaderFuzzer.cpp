// Fuzz target for the library reader: any bytes either parse or fail with a reason;
// whatever parses must write a library that reads back to the same entries, and
// writing that again must give the same bytes. A Unicode library's ANSI view (its texts
// in the code page, with escapes) must write back the same library.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "fuzz/FuzzCheck.h"
#include "orca/AnsiView.h"
#include "orca/PblLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto lib = orca::PblLibrary::Parse(image, &error);
    if (!lib) {
        Check(!error.empty());  // a failure must say why
        return 0;
    }
    const std::string written = lib->Serialize();
    auto again = orca::PblLibrary::Parse(written, &error);
    Check(again != nullptr);
    auto header = [](const orca::PblLibrary& l) {
        return std::make_tuple(l.Kind(), l.Format(), l.Time(), l.Comment(), l.SourceControlData(),
                               l.Entries().size());
    };
    Check(header(*again) == header(*lib));
    for (size_t i = 0; i < lib->Entries().size(); ++i) {
        const auto& a = lib->Entries()[i];
        const auto& b = again->Entries()[i];
        Check(std::tie(a.name, a.format, a.time, a.commentLength, a.data) ==
              std::tie(b.name, b.format, b.time, b.commentLength, b.data));
    }
    Check(again->Serialize() == written);
    if (lib->Kind() == orca::PblKind::Unicode) {
        std::shared_ptr<const orca::PblLibrary> stored = std::move(lib);
        if (auto view = orca::AnsiViewOf(stored, &error)) {
            // Every entry shown as it was goes back as it was.
            Check(view->Serialize() == written);
            // A view entry replaced by a copy of itself without its origin converts back
            // to the same bytes.
            orca::PblLibrary changed(*view);
            for (const orca::PblEntry& e : view->Entries()) {
                orca::PblEntry copy = e;
                copy.origin = nullptr;
                Check(changed.Put(std::move(copy), &error));
            }
            const auto back = orca::StoredFormOf(changed, &error);
            Check(back != nullptr);
            Check(back->Serialize() == written);
        }
    }
    return 0;
}
