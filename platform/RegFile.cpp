#include "platform/RegFile.h"

#include <algorithm>
#include <utility>

#include "platform/Ansi.h"
#include "platform/Text.h"

namespace platform::reg {

namespace {

constexpr std::string_view Header5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view Header4 = "REGEDIT4";

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && AnsiSameText(s.substr(0, prefix.size()), prefix);
}

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = pos;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.push_back(text.substr(pos, end - pos));
        pos = end;
        if (pos < text.size()) {
            pos += (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ? 2 : 1;
        }
    }
    return lines;
}

// Reads a quoted text starting at s[0] == '"' with the escapes \\ and \" (any other
// backslash stands for itself). Returns the length taken, or 0 when it is not closed.
size_t ReadQuoted(std::string_view s, std::string& out) {
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == '"')
            return i + 1;
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"'))
            ++i;
        out.push_back(s[i]);
    }
    return 0;
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

// dword: and 1 to 8 hex digits.
bool IsDword(std::string_view data) {
    std::string_view digits = Trim(data.substr(6));
    return !digits.empty() && digits.size() <= 8 &&
           std::all_of(digits.begin(), digits.end(), IsHex);
}

// hex: or hex(n): followed by hex bytes, commas and blanks; a line may end with "\".
bool IsHexLine(std::string_view s) {
    s = Trim(s);
    if (!s.empty() && s.back() == '\\')
        s = Trim(s.substr(0, s.size() - 1));
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return IsHex(c) || c == ',' || IsBlank(c); });
}

bool HexPrefix(std::string_view data, size_t* length) {
    if (!StartsWithNoCase(data, "hex"))
        return false;
    size_t i = 3;
    if (i < data.size() && data[i] == '(') {
        const size_t close = data.find(')', i);
        if (close == data.npos || close == i + 1)
            return false;
        if (!std::all_of(data.begin() + static_cast<long>(i) + 1,
                         data.begin() + static_cast<long>(close), IsHex)) {
            return false;
        }
        i = close + 1;
    }
    if (i >= data.size() || data[i] != ':')
        return false;
    *length = i + 1;
    return true;
}

bool EndsWithContinuation(std::string_view line) {
    line = Trim(line);
    return !line.empty() && line.back() == '\\';
}

std::string PathText(const std::vector<const Key*>& chain) {
    std::string out;
    for (const Key* key : chain) {
        if (!out.empty())
            out.push_back('\\');
        out.append(key->name);
    }
    return out;
}

void SerializeKey(const Key& key, std::vector<const Key*>& chain, std::string& out) {
    chain.push_back(&key);
    out.append("\r\n[").append(PathText(chain)).append("]\r\n");
    for (const Entry& entry : key.entries) {
        if (entry.kind == Entry::Kind::Comment) {
            out.append(entry.data);
        } else {
            if (entry.name.empty()) {
                out.push_back('@');
            } else {
                AppendQuoted(out, entry.name);
            }
            out.push_back('=');
            if (entry.kind == Entry::Kind::String) {
                AppendQuoted(out, entry.data);
            } else {
                out.append(entry.data);
            }
            out.append(entry.trailing);
        }
        out.append("\r\n");
    }
    for (const Key& sub : key.subkeys)
        SerializeKey(sub, chain, out);
    chain.pop_back();
}

// A value of another type than string, kept as its text; replaces a value of that name.
void SetRaw(Key& key, const std::string& name, std::string raw, std::string trailing) {
    if (Entry* entry = key.FindValue(name)) {
        entry->kind = Entry::Kind::Raw;
        entry->data = std::move(raw);
        entry->trailing = std::move(trailing);
    } else {
        key.entries.push_back({Entry::Kind::Raw, name, std::move(raw), std::move(trailing)});
    }
}

bool Failed(std::string* error, size_t line, const std::string& what) {
    if (error)
        *error = "line " + std::to_string(line + 1) + ": " + what;
    return false;
}

}  // namespace

Key* Key::Find(std::string_view subkeyName) {
    return const_cast<Key*>(std::as_const(*this).Find(subkeyName));
}

const Key* Key::Find(std::string_view subkeyName) const {
    auto it = std::lower_bound(
        subkeys.begin(), subkeys.end(), subkeyName,
        [](const Key& k, std::string_view n) { return AnsiCompareText(k.name, n) < 0; });
    return it != subkeys.end() && AnsiSameText(it->name, subkeyName) ? &*it : nullptr;
}

Key& Key::Obtain(std::string_view subkeyName) {
    auto it = std::lower_bound(
        subkeys.begin(), subkeys.end(), subkeyName,
        [](const Key& k, std::string_view n) { return AnsiCompareText(k.name, n) < 0; });
    if (it != subkeys.end() && AnsiSameText(it->name, subkeyName))
        return *it;
    Key key;
    key.name = std::string(subkeyName);
    return *subkeys.insert(it, std::move(key));
}

bool Key::Remove(std::string_view subkeyName) {
    const Key* found = Find(subkeyName);
    if (!found)
        return false;
    subkeys.erase(subkeys.begin() + (found - subkeys.data()));
    return true;
}

Entry* Key::FindValue(std::string_view valueName) {
    return const_cast<Entry*>(std::as_const(*this).FindValue(valueName));
}

const Entry* Key::FindValue(std::string_view valueName) const {
    for (const Entry& entry : entries) {
        if (entry.kind != Entry::Kind::Comment && AnsiSameText(entry.name, valueName))
            return &entry;
    }
    return nullptr;
}

void Key::SetString(std::string_view valueName, std::string_view text) {
    if (Entry* entry = FindValue(valueName)) {
        entry->kind = Entry::Kind::String;
        entry->data = std::string(text);
        return;
    }
    entries.push_back({Entry::Kind::String, std::string(valueName), std::string(text), {}});
}

bool Key::RemoveValue(std::string_view valueName) {
    const Entry* found = FindValue(valueName);
    if (!found)
        return false;
    entries.erase(entries.begin() + (found - entries.data()));
    return true;
}

Key* Document::FindPath(const std::vector<std::string>& path) {
    return const_cast<Key*>(std::as_const(*this).FindPath(path));
}

const Key* Document::FindPath(const std::vector<std::string>& path) const {
    const Key* key = &root;
    for (const std::string& name : path) {
        key = key->Find(name);
        if (!key)
            return nullptr;
    }
    return key;
}

Key& Document::ObtainPath(const std::vector<std::string>& path) {
    Key* key = &root;
    for (const std::string& name : path)
        key = &key->Obtain(name);
    return *key;
}

std::vector<std::string> SplitKeyPath(std::string_view path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == path.npos)
            end = path.size();
        if (end > pos)
            parts.emplace_back(path.substr(pos, end - pos));
        pos = end + 1;
    }
    return parts;
}

std::string Unstorable(std::string_view text) {
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos) {
        return "it holds a line break or a NUL, which the registry file cannot hold";
    }
    return {};
}

bool IsCommentLine(std::string_view line) {
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

// The text after a value: empty, or blanks and a comment from its ";" (kept with the
// value). False when something else follows.
bool TrailingComment(std::string_view rest, std::string* trailing) {
    if (TrimLeft(rest).empty())
        return true;
    if (TrimLeft(rest).front() != ';')
        return false;
    *trailing = std::string(TrimRight(rest));
    return true;
}

std::optional<Document> Parse(std::string_view text, std::string* error) {
    Document doc;
    if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
        Failed(error, 0, "UTF-16 text is not read; the file must be ANSI text");
        return std::nullopt;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    const std::vector<std::string_view> lines = SplitLines(text);

    // Blank lines and comments may stand before the header line.
    size_t i = 0;
    std::vector<std::string> before;
    while (i < lines.size() && (Trim(lines[i]).empty() || IsCommentLine(TrimLeft(lines[i])))) {
        if (!Trim(lines[i]).empty())
            before.emplace_back(lines[i]);
        ++i;
    }
    if (i == lines.size() && before.empty())
        return doc;
    if (i == lines.size() || (Trim(lines[i]) != Header5 && Trim(lines[i]) != Header4)) {
        Failed(error, i, "the file does not start with \"" + std::string(Header5) + "\"");
        return std::nullopt;
    }
    doc.leadingComments = std::move(before);

    Key* current = nullptr;  // the key the lines below belong to
    bool inDeletedKey = false;
    bool inBrokenKey = false;  // below a key line that was skipped: its values go with it
    // A line that cannot be understood is skipped: reported, kept as it stands (as a
    // comment where it was, so that a rewrite loses nothing of it), and has no effect.
    // A key line skipped takes the lines below it to the end of the file, where they
    // stay together and cannot take in a value written later.
    auto skip = [&](size_t first, size_t last, const std::string& why) {
        for (size_t n = first; n <= last; ++n) {
            doc.skippedLines.push_back("line " + std::to_string(n + 1) + " (" + why +
                                       "): " + std::string(lines[n]));
            if (inBrokenKey) {
                doc.skippedKeyLines.emplace_back(lines[n]);
            } else if (current) {
                current->entries.push_back({Entry::Kind::Comment, {}, std::string(lines[n]), {}});
            } else if (!inDeletedKey) {
                doc.leadingComments.emplace_back(lines[n]);
            }
        }
    };
    for (++i; i < lines.size(); ++i) {
        const std::string_view line = TrimLeft(lines[i]);
        if (Trim(line).empty())
            continue;
        if (IsCommentLine(line)) {
            if (inBrokenKey) {
                doc.skippedKeyLines.emplace_back(lines[i]);
            } else if (current) {
                current->entries.push_back({Entry::Kind::Comment, {}, std::string(lines[i]), {}});
            } else if (!inDeletedKey) {
                doc.leadingComments.emplace_back(lines[i]);
            }
            continue;
        }
        if (line.front() == '[') {
            std::string_view trimmed = Trim(line);
            std::string trailing;
            if (trimmed.back() != ']') {
                // A comment may follow the closing "]".
                const size_t close = trimmed.rfind(']');
                if (close != trimmed.npos && TrailingComment(trimmed.substr(close + 1), &trailing))
                    trimmed = trimmed.substr(0, close + 1);
            }
            std::string_view inner;
            bool remove = false;
            std::vector<std::string> path;
            if (trimmed.back() == ']' && trimmed.size() >= 2) {
                inner = trimmed.substr(1, trimmed.size() - 2);
                remove = !inner.empty() && inner.front() == '-';
                if (remove)
                    inner.remove_prefix(1);
                path = SplitKeyPath(inner);
            }
            if (trimmed.back() != ']' || trimmed.size() < 2) {
                inBrokenKey = true;
                skip(i, i, "a key line without its closing \"]\"");
                continue;
            }
            if (path.empty() || !StartsWithNoCase(path.front(), "HKEY_")) {
                inBrokenKey = true;
                skip(i, i, "a key that does not start with a root key (HKEY_...)");
                continue;
            }
            inBrokenKey = false;
            if (remove) {
                const std::string last = path.back();
                path.pop_back();
                if (Key* parent = doc.FindPath(path))
                    parent->Remove(last);
                current = nullptr;
                inDeletedKey = true;
            } else {
                current = &doc.ObtainPath(path);
                inDeletedKey = false;
                if (!trailing.empty())
                    current->entries.push_back({Entry::Kind::Comment, {}, trailing, {}});
            }
            continue;
        }
        if (inBrokenKey) {
            skip(i, i, "a line of a key that was skipped");
            continue;
        }
        // A value line: @=data or "name"=data.
        std::string name;
        std::string_view rest;
        if (line.front() == '@') {
            rest = line.substr(1);
        } else if (line.front() == '"') {
            const size_t taken = ReadQuoted(line, name);
            if (taken == 0) {
                skip(i, i, "a value name without its closing quote");
                continue;
            }
            rest = line.substr(taken);
        } else {
            skip(i, i, "neither a key, a value nor a comment");
            continue;
        }
        rest = TrimLeft(rest);
        if (rest.empty() || rest.front() != '=') {
            skip(i, i, "a value name not followed by \"=\"");
            continue;
        }
        std::string_view data = Trim(rest.substr(1));
        if (!current && !inDeletedKey) {
            skip(i, i, "a value before the first key");
            continue;
        }
        std::string trailing;
        if (!data.empty() && data.front() == '"') {
            std::string value;
            const size_t taken = ReadQuoted(data, value);
            if (taken == 0 || !TrailingComment(data.substr(taken), &trailing)) {
                skip(i, i, "a string value not closed by a quote at the end of the line");
                continue;
            }
            if (current) {
                current->SetString(name, value);
                current->FindValue(name)->trailing = std::move(trailing);
            }
            continue;
        }
        // Other kinds hold no ";": one there begins a comment.
        if (const size_t semicolon = data.find(';'); semicolon != data.npos) {
            const std::string_view value = TrimRight(data.substr(0, semicolon));
            TrailingComment(data.substr(value.size()), &trailing);
            data = value;
        }
        if (data == "-") {
            if (current)
                current->RemoveValue(name);
        } else if (StartsWithNoCase(data, "dword:")) {
            if (!IsDword(data)) {
                skip(i, i, "a dword value that is not 1 to 8 hex digits");
                continue;
            }
            if (current)
                SetRaw(*current, name, std::string(data), std::move(trailing));
        } else if (size_t prefix = 0; HexPrefix(data, &prefix)) {
            const size_t first = i;
            std::string raw(data);
            bool valid = IsHexLine(data.substr(prefix));
            bool continued = EndsWithContinuation(data);
            while (valid && continued && i + 1 < lines.size()) {
                ++i;
                valid = IsHexLine(lines[i]);
                continued = EndsWithContinuation(lines[i]);
                raw.append("\r\n").append(lines[i]);
            }
            if (!valid) {
                skip(first, i, "a hex value with something other than hex bytes");
                continue;
            }
            if (continued) {
                // The file ends where another line was announced: the "\" goes.
                while (!raw.empty() && (IsBlank(raw.back()) || raw.back() == '\\'))
                    raw.pop_back();
            }
            if (current)
                SetRaw(*current, name, std::move(raw), std::move(trailing));
        } else {
            skip(i, i, "a value that is neither a string, dword: nor hex:");
        }
    }
    if (doc.root.subkeys.empty() && !doc.skippedLines.empty()) {
        // Nothing in it could be read: this is not a registry file this code understands.
        if (error)
            *error = doc.skippedLines.front();
        return std::nullopt;
    }
    return doc;
}

std::string Serialize(const Document& document) {
    std::string out(Header5);
    out.append("\r\n");
    for (const std::string& comment : document.leadingComments)
        out.append(comment).append("\r\n");
    std::vector<const Key*> chain;
    for (const Key& rootKey : document.root.subkeys)
        SerializeKey(rootKey, chain, out);
    if (!document.skippedKeyLines.empty()) {
        out.append("\r\n");
        for (const std::string& line : document.skippedKeyLines)
            out.append(line).append("\r\n");
    }
    out.append("\r\n");
    return out;
}

}  // namespace platform::reg
