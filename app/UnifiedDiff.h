#pragma once
// A unified diff of two texts, line by line (a shortest edit script, Myers' algorithm),
// in the form patch reads: "--- OLD", "+++ NEW", then hunks "@@ -l,n +l,n @@" with
// `context` unchanged lines around each change. Lines keep their bytes as they are
// (a CR before the LF included); a last line without a line feed is followed by
// "\ No newline at end of file". Equal texts give an empty diff.

#include <string>
#include <string_view>

namespace cli {

std::string UnifiedDiff(std::string_view oldText, std::string_view newText,
                        std::string_view oldName, std::string_view newName, int context = 3);

}  // namespace cli
