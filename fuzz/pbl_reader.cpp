// Fuzz target for the library reader: any bytes either parse or fail with a reason;
// whatever parses must write a library that reads back to the same entries, and
// writing that again must give the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "orca/PblLibrary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view image(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto lib = orca::PblLibrary::Parse(image, &error);
    if (!lib) {
        if (error.empty())
            std::abort();  // a failure must say why
        return 0;
    }
    const std::string written = lib->Serialize();
    auto again = orca::PblLibrary::Parse(written, &error);
    if (!again)
        std::abort();
    if (again->Format() != lib->Format() || again->Time() != lib->Time() ||
        again->Comment() != lib->Comment() ||
        again->SourceControlData() != lib->SourceControlData() ||
        again->Entries().size() != lib->Entries().size())
        std::abort();
    for (size_t i = 0; i < lib->Entries().size(); ++i) {
        const auto& a = lib->Entries()[i];
        const auto& b = again->Entries()[i];
        if (a.name != b.name || a.format != b.format || a.time != b.time ||
            a.commentLength != b.commentLength || a.data != b.data)
            std::abort();
    }
    if (again->Serialize() != written)
        std::abort();
    return 0;
}
