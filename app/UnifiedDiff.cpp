// Unified diffs: Myers' shortest edit script over lines, the common head and tail taken
// off first, and the edits grouped into hunks.

#include "app/UnifiedDiff.h"

#include <algorithm>
#include <vector>

namespace cli {

namespace {

// The lines of a text, each with its line feed (the last may have none).
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, end - start));
        start = end;
    }
    return lines;
}

enum class TEdit : char { Same = ' ', Delete = '-', Insert = '+' };

// The edit script turning a[from..] into b[from..] (the lines before from are equal),
// as one edit per line of the result of walking both: Same takes a line of each,
// Delete one of a, Insert one of b.
std::vector<TEdit> EditScript(const std::vector<std::string_view>& a,
                              const std::vector<std::string_view>& b) {
    const long n = static_cast<long>(a.size()), m = static_cast<long>(b.size());
    const long max = n + m;
    std::vector<long> v(static_cast<size_t>(2 * max + 3), 0);
    const auto at = [&](long k) -> long& { return v[static_cast<size_t>(k + max + 1)]; };
    // The furthest x on each diagonal -d..d after step d, kept for the walk back.
    std::vector<std::vector<long>> trace;
    long found = -1;
    for (long d = 0; d <= max && found < 0; ++d) {
        for (long k = -d; k <= d; k += 2) {
            long x = (k == -d || (k != d && at(k - 1) < at(k + 1))) ? at(k + 1) : at(k - 1) + 1;
            long y = x - k;
            while (x < n && y < m && a[static_cast<size_t>(x)] == b[static_cast<size_t>(y)])
                ++x, ++y;
            at(k) = x;
            if (x >= n && y >= m)
                found = d;
        }
        trace.emplace_back(v.begin() + (max + 1 - d), v.begin() + (max + 2 + d));
    }
    std::vector<TEdit> edits;
    long x = n, y = m;
    for (long d = found; d > 0; --d) {
        const std::vector<long>& prev = trace[static_cast<size_t>(d - 1)];
        const auto prevAt = [&](long k) { return prev[static_cast<size_t>(k + d - 1)]; };
        const long k = x - y;
        const bool down = k == -d || (k != d && prevAt(k - 1) < prevAt(k + 1));
        const long prevK = down ? k + 1 : k - 1;
        const long prevX = prevAt(prevK), prevY = prevX - prevK;
        const long startX = down ? prevX : prevX + 1;
        while (x > startX)
            edits.push_back(TEdit::Same), --x, --y;
        edits.push_back(down ? TEdit::Insert : TEdit::Delete);
        x = prevX;
        y = prevY;
    }
    while (x > 0)
        edits.push_back(TEdit::Same), --x;
    std::reverse(edits.begin(), edits.end());
    return edits;
}

void AppendLine(std::string& out, char mark, std::string_view line) {
    out += mark;
    out.append(line);
    if (line.empty() || line.back() != '\n')
        out += "\n\\ No newline at end of file\n";
}

std::string Range(size_t start, size_t count) {
    // A hunk of no lines names the line before it; one of one line leaves out the count.
    if (count == 0)
        return std::to_string(start) + ",0";
    if (count == 1)
        return std::to_string(start + 1);
    return std::to_string(start + 1) + "," + std::to_string(count);
}

}  // namespace

std::string UnifiedDiff(std::string_view oldText, std::string_view newText,
                        std::string_view oldName, std::string_view newName, int context) {
    if (oldText == newText)
        return {};
    const std::vector<std::string_view> a = Lines(oldText), b = Lines(newText);
    // The common head and tail are Same edits; only the middle needs the search.
    size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head &&
           a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    std::vector<TEdit> edits(head, TEdit::Same);
    const std::vector<TEdit> middle =
        EditScript(std::vector<std::string_view>(a.begin() + static_cast<long>(head),
                                                 a.end() - static_cast<long>(tail)),
                   std::vector<std::string_view>(b.begin() + static_cast<long>(head),
                                                 b.end() - static_cast<long>(tail)));
    edits.insert(edits.end(), middle.begin(), middle.end());
    edits.insert(edits.end(), tail, TEdit::Same);

    // Where each edit stands in a and in b.
    std::vector<size_t> ai(edits.size() + 1), bi(edits.size() + 1);
    for (size_t i = 0; i < edits.size(); ++i) {
        ai[i + 1] = ai[i] + (edits[i] != TEdit::Insert);
        bi[i + 1] = bi[i] + (edits[i] != TEdit::Delete);
    }
    std::string out = "--- " + std::string(oldName) + "\n+++ " + std::string(newName) + "\n";
    const size_t span = static_cast<size_t>(std::max(context, 0));
    size_t i = 0;
    while (i < edits.size()) {
        if (edits[i] == TEdit::Same) {
            ++i;
            continue;
        }
        // A hunk: from context lines before this change to context lines after the last
        // change that is at most 2 * context unchanged lines from the one before.
        const size_t first = i >= span ? i - span : 0;
        size_t last = i;  // one past the last change
        size_t j = i;
        while (j < edits.size()) {
            if (edits[j] != TEdit::Same) {
                last = ++j;
                continue;
            }
            size_t same = j;
            while (same < edits.size() && edits[same] == TEdit::Same)
                ++same;
            if (same == edits.size() || same - j > 2 * span)
                break;
            j = same;
        }
        const size_t end = std::min(edits.size(), last + span);
        out += "@@ -" + Range(ai[first], ai[end] - ai[first]) + " +" +
               Range(bi[first], bi[end] - bi[first]) + " @@\n";
        for (size_t e = first; e < end; ++e) {
            if (edits[e] == TEdit::Insert)
                AppendLine(out, '+', b[bi[e]]);
            else
                AppendLine(out, static_cast<char>(edits[e]), a[ai[e]]);
        }
        i = end;
    }
    return out;
}

}  // namespace cli
