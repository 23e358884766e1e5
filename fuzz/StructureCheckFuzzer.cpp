// Fuzzes the structure check of sources: the first byte picks the entry type, the rest is
// the source. Whatever the bytes, the check ends and reports sane problems, at most
// MaxProblems of them and then one that says the list was cut short.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "orca/StructureCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    int type = data[0] % 12;  // 11: an unknown type
    if (type == 11)
        type = -1;
    std::string_view source(reinterpret_cast<const char*>(data + 1), size - 1);
    auto problems = orca::CheckSource(source, "u_x", type);

    // Lines are 1-based and inside the source (a source of N lines has at most N).
    size_t lines = 1;
    for (char c : source)
        lines += c == '\n' || c == '\r';
    // A list cut short says so in one more problem.
    Check(problems.size() <= orca::MaxProblems ||
          (problems.size() == orca::MaxProblems + 1 &&
           problems.back().messageNumber == orca::MsgTooManyProblems));
    for (const auto& p : problems) {
        Check(p.level == orca::ProblemError && !p.text.empty() && p.messageNumber > 0);
        Check(p.line >= 1 && static_cast<size_t>(p.line) <= lines && p.column >= 1);
    }
    return 0;
}
