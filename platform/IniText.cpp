#include "platform/IniText.h"

#include "platform/Ansi.h"
#include "platform/Text.h"

namespace platform::ini {

namespace {

// Profile files take vertical tab, form feed and Ctrl-Z for blanks as well.
bool IsIniBlank(char c) {
    return IsBlank(c) || c == '\v' || c == '\f' || c == '\x1a';
}

std::string_view TrimBlanks(std::string_view text) {
    return Trim(text, IsIniBlank);
}

enum class LineKind { Blank, Comment, Header, Key, Other };

struct Line {
    size_t begin = 0;  // first byte of the line
    size_t end = 0;    // end of its content, before the line end
    size_t next = 0;   // first byte after its line end
    LineKind kind = LineKind::Other;
    std::string_view name;  // section or key name, blanks removed
    size_t valueBegin = 0;  // key lines: first byte of the value after the "=" and blanks
};

size_t BomLength(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

Line Classify(std::string_view text, size_t begin, size_t end, size_t next) {
    Line line{begin, end, next, LineKind::Other, {}, 0};
    std::string_view content = text.substr(begin, end - begin);
    const std::string_view rest = TrimLeft(content, IsIniBlank);
    const size_t lead = content.size() - rest.size();
    if (TrimBlanks(rest).empty()) {
        line.kind = LineKind::Blank;
    } else if (rest.front() == ';') {
        line.kind = LineKind::Comment;
    } else if (size_t close; rest.front() == '[' && (close = rest.find(']')) != rest.npos) {
        line.kind = LineKind::Header;
        line.name = TrimBlanks(rest.substr(1, close - 1));
    } else if (size_t eq = rest.find('='); eq != rest.npos) {
        line.kind = LineKind::Key;
        line.name = TrimBlanks(rest.substr(0, eq));
        size_t value = begin + lead + eq + 1;
        while (value < end && IsIniBlank(text[value]))
            ++value;
        line.valueBegin = value;
    }
    return line;
}

std::vector<Line> SplitLines(std::string_view text) {
    std::vector<Line> lines;
    size_t pos = BomLength(text);
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        size_t next = end;
        if (next < text.size()) {
            next +=
                (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
        }
        lines.push_back(Classify(text, pos, end, next));
        pos = next;
    }
    return lines;
}

bool SameName(std::string_view fileName, std::string_view wanted) {
    return !wanted.empty() && AnsiSameText(fileName, wanted);
}

// Index of the header line of the first section with the name, or npos.
size_t FindSection(const std::vector<Line>& lines, std::string_view section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Header && SameName(lines[i].name, section))
            return i;
    }
    return std::string_view::npos;
}

// One past the last line of the section whose header is at index header.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
    size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != LineKind::Header)
        ++i;
    return i;
}

size_t FindKey(const std::vector<Line>& lines, size_t header, std::string_view key) {
    const size_t end = SectionEnd(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == LineKind::Key && SameName(lines[i].name, key))
            return i;
    }
    return std::string_view::npos;
}

// The line end most lines of the text use; CR LF when it has none or on a tie.
std::string_view DominantLineEnd(std::string_view text) {
    size_t crlf = 0, lf = 0, cr = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++crlf;
                ++i;
            } else {
                ++cr;
            }
        } else if (text[i] == '\n') {
            ++lf;
        }
    }
    if (crlf >= lf && crlf >= cr)
        return "\r\n";
    return lf >= cr ? "\n" : "\r";
}

bool EndsWithLineEnd(std::string_view text) {
    return text.size() <= BomLength(text) || text.back() == '\n' || text.back() == '\r';
}

// The text without the lines marked in drop. When the last line goes and the text
// ended without a line end, the line end of the new last line goes too, so that the
// text again ends without one.
std::string RemoveLines(std::string_view text, const std::vector<Line>& lines,
                        const std::vector<bool>& drop) {
    std::string out(text.substr(0, BomLength(text)));
    size_t lastKept = std::string_view::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (drop[i])
            continue;
        out.append(text.substr(lines[i].begin, lines[i].next - lines[i].begin));
        lastKept = i;
    }
    if (!lines.empty() && drop.back() && !EndsWithLineEnd(text) &&
        lastKept != std::string_view::npos) {
        const Line& kept = lines[lastKept];
        out.resize(out.size() - (kept.next - kept.end));
    }
    return out;
}

}  // namespace

bool IsUtf16(std::string_view text) {
    return text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF";
}

std::optional<std::string> FindValue(std::string_view text, std::string_view section,
                                     std::string_view key) {
    const auto lines = SplitLines(text);
    const size_t header = FindSection(lines, TrimBlanks(section));
    if (header == std::string_view::npos)
        return std::nullopt;
    const size_t at = FindKey(lines, header, TrimBlanks(key));
    if (at == std::string_view::npos)
        return std::nullopt;
    const Line& line = lines[at];
    std::string_view value = TrimBlanks(text.substr(line.valueBegin, line.end - line.valueBegin));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

std::vector<std::string> KeyNames(std::string_view text, std::string_view section) {
    std::vector<std::string> names;
    const auto lines = SplitLines(text);
    const size_t header = FindSection(lines, TrimBlanks(section));
    if (header == std::string_view::npos)
        return names;
    const size_t end = SectionEnd(lines, header);
    for (size_t i = header + 1; i < end; ++i) {
        if (lines[i].kind == LineKind::Key && !lines[i].name.empty()) {
            names.emplace_back(lines[i].name);
        }
    }
    return names;
}

std::string Unstorable(std::string_view section, std::optional<std::string_view> key,
                       std::optional<std::string_view> value) {
    auto hasLineBreak = [](std::string_view s) {
        return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos;
    };
    section = TrimBlanks(section);
    if (section.empty())
        return "the section name is empty";
    if (hasLineBreak(section) || section.find(']') != section.npos) {
        return "the section name holds a line break, a NUL or \"]\"";
    }
    if (!key)
        return {};
    std::string_view k = TrimBlanks(*key);
    if (k.empty())
        return "the key name is empty";
    if (hasLineBreak(k) || k.find('=') != k.npos || k.front() == ';' || k.front() == '[') {
        return "the key name holds a line break, a NUL or \"=\", or starts with \";\" or \"[\"";
    }
    if (value && hasLineBreak(*value))
        return "the value holds a line break or a NUL";
    return {};
}

std::string SetValue(std::string_view text, std::string_view section, std::string_view key,
                     std::string_view value) {
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    const auto lines = SplitLines(text);
    const std::string_view eol = DominantLineEnd(text);
    std::string out;
    const size_t header = FindSection(lines, section);
    if (header == std::string_view::npos) {
        // A new section at the end, with no blank line before it (as Windows writes it).
        const bool terminated = EndsWithLineEnd(text);
        out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
        out.append(text);
        if (!terminated)
            out.append(eol);
        out.append("[").append(section).append("]").append(eol);
        out.append(key).append("=").append(value);
        if (terminated)
            out.append(eol);
        return out;
    }
    if (const size_t at = FindKey(lines, header, key); at != std::string_view::npos) {
        const Line& line = lines[at];
        out.append(text.substr(0, line.valueBegin));
        out.append(value);
        out.append(text.substr(line.end));
        return out;
    }
    // After the last line of the section that is not blank (the header at least).
    size_t last = header;
    for (size_t i = header + 1, end = SectionEnd(lines, header); i < end; ++i) {
        if (lines[i].kind != LineKind::Blank)
            last = i;
    }
    const Line& after = lines[last];
    const bool terminated = after.next > after.end;
    out.append(text.substr(0, after.next));
    if (!terminated)
        out.append(eol);
    out.append(key).append("=").append(value);
    if (terminated) {
        // A lone CR right before an LF would join it into one line end.
        const bool beforeLf = after.next < text.size() && text[after.next] == '\n';
        out.append(eol == "\r" && beforeLf ? "\r\n" : eol);
    }
    out.append(text.substr(after.next));
    return out;
}

std::string DeleteKey(std::string_view text, std::string_view section, std::string_view key) {
    const auto lines = SplitLines(text);
    const size_t header = FindSection(lines, TrimBlanks(section));
    if (header == std::string_view::npos)
        return std::string(text);
    const size_t at = FindKey(lines, header, TrimBlanks(key));
    if (at == std::string_view::npos)
        return std::string(text);
    std::vector<bool> drop(lines.size(), false);
    drop[at] = true;
    return RemoveLines(text, lines, drop);
}

std::string DeleteSection(std::string_view text, std::string_view section) {
    section = TrimBlanks(section);
    const auto lines = SplitLines(text);
    std::vector<bool> drop(lines.size(), false);
    bool dropping = false, any = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Header)
            dropping = SameName(lines[i].name, section);
        drop[i] = dropping;
        any = any || dropping;
    }
    return any ? RemoveLines(text, lines, drop) : std::string(text);
}

}  // namespace platform::ini
