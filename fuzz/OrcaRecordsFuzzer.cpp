// Fuzzes the two text forms our ORCA library reads besides sources: the source-control
// records kept in a library, and the export file form that pblutil imports. The first
// byte picks which one and the variant; the rest is the input.
//  - Records: whatever parses names its entries, has only the flags r, d and s, and
//    encodes back to the same bytes; records made from the input encode to bytes that
//    parse back to them.
//  - Export files: whatever the bytes, the parts come back through the writer unchanged
//    (when the name and comment are one line each, as the form requires), and a file
//    written from parts of the input parses back to those parts.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "orca/OrcaObjects.h"

namespace {

bool SameRecords(const std::vector<orca::SccRecord>& a, const std::vector<orca::SccRecord>& b) {
    auto fields = [](const orca::SccRecord& r) {
        return std::tie(r.library, r.entry, r.user, r.flag);
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](const auto& x, const auto& y) { return fields(x) == fields(y); });
}

void FuzzRecords(std::string_view bytes) {
    std::vector<orca::SccRecord> records;
    if (orca::ParseSccData(bytes, &records)) {
        Check(orca::EncodeSccData(records) == bytes);
        for (const orca::SccRecord& r : records)  // a record names its entry and has a known flag
            Check(!r.entry.empty() &&
                  std::string_view("rds").find(r.flag) != std::string_view::npos);
    }

    // Records from the input: fields split at zero bytes, four to a record.
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\0') {
            fields.emplace_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    std::vector<orca::SccRecord> made;
    for (size_t i = 0; i + 4 <= fields.size(); i += 4) {
        orca::SccRecord r;
        r.library = fields[i];
        r.entry = fields[i + 1].empty() ? "x.srw" : fields[i + 1];
        r.user = fields[i + 2];
        r.flag = "rds"[fields[i + 3].size() % 3];
        made.push_back(std::move(r));
    }
    std::vector<orca::SccRecord> back;
    Check(orca::ParseSccData(orca::EncodeSccData(made), &back));
    Check(SameRecords(made, back));
}

bool OneLine(std::string_view text) {
    return text.find('\n') == std::string_view::npos;
}

void ExpectRoundTrip(const std::string& name, const std::string& comment, const std::string& source,
                     bool marker) {
    const orca::ExportFile back =
        orca::ParseExportFile(orca::FormatExportFile(name, comment, source, marker));
    Check(back.entryName == name);
    Check(back.comment == comment);
    Check(back.source == source);
}

void FuzzExportFile(std::string_view bytes, bool marker) {
    const orca::ExportFile file = orca::ParseExportFile(bytes);
    Check(OneLine(file.entryName));
    Check(file.source.size() <= bytes.size());
    Check(bytes.substr(bytes.size() - file.source.size()) == file.source);
    ExpectRoundTrip(file.entryName, file.comment, file.source, marker);
    // Any comment at all, line breaks and tildes included.
    ExpectRoundTrip(file.entryName, std::string(bytes.substr(0, 300)), file.source, marker);

    // Parts cut from the input at its first two newlines: name, comment, source.
    const size_t a = bytes.find('\n');
    const size_t b = a == std::string_view::npos ? a : bytes.find('\n', a + 1);
    if (b == std::string_view::npos)
        return;
    ExpectRoundTrip(std::string(bytes.substr(0, a)), std::string(bytes.substr(a + 1, b - a - 1)),
                    std::string(bytes.substr(b + 1)), marker);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    if (data[0] & 1)
        FuzzExportFile(bytes, (data[0] & 2) != 0);
    else
        FuzzRecords(bytes);
    return 0;
}
