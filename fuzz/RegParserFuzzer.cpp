// Fuzz target for the registry file: parsing any bytes, and a stable round trip of
// whatever parses (serialize, parse again, serialize again: the same text).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/RegFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace platform;
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    std::optional<reg::Document> doc = reg::Parse(text, &error);
    if (!doc) {
        Check(!error.empty());
        return 0;
    }
    const std::string first = reg::Serialize(*doc);
    std::optional<reg::Document> again = reg::Parse(first, &error);
    Check(again.has_value());
    Check(reg::Serialize(*again) == first);

    // A string with the characters that need escaping survives the trip as well.
    reg::Key& key = again->ObtainPath({"HKEY_CURRENT_USER", "Fuzz \"key\"]"});
    key.SetString("", "back\\slash \"quote\"");
    key.SetString("name \\ \"", "");
    std::optional<reg::Document> third = reg::Parse(reg::Serialize(*again), &error);
    Check(third.has_value());
    const reg::Key* found = third->FindPath({"hkey_current_user", "FUZZ \"KEY\"]"});
    Check(found && found->FindValue("") && found->FindValue("")->data == "back\\slash \"quote\"");
    Check(found->FindValue("NAME \\ \"") && found->FindValue("name \\ \"")->data.empty());
    return 0;
}
