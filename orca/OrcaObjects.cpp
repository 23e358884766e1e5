#include "orca/OrcaObjects.h"
#include "orca/TextBridge.h"
#include "platform/Ansi.h"
#include "platform/CodePage.h"
#include "platform/Text.h"

#include <algorithm>
#include <utility>

namespace orca {

namespace {

// Entries PowerBuilder keeps beside an application object besides its two forms.
constexpr const char* ApplicationExtras[] = {"pra"};

std::string_view Extension(std::string_view entryName) {
    const size_t dot = entryName.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : entryName.substr(dot + 1);
}

// The library's lookup already ignores the case of the letters, and a library never
// holds two names that differ only in case.
const PblEntry* FindEntry(const PblLibrary& library, const std::string& name) {
    return library.Find(name);
}

// Skips blanks from pos; returns the new position.
size_t SkipBlanks(std::string_view text, size_t pos) {
    while (pos < text.size() && platform::IsBlank(text[pos]))
        ++pos;
    return pos;
}

// Matches word (case ignored) at pos followed by a blank or the end; the position after
// the word, or npos.
size_t MatchWord(std::string_view text, size_t pos, std::string_view word) {
    if (text.size() - pos < word.size())
        return std::string_view::npos;
    if (!platform::AsciiSameText(text.substr(pos, word.size()), word))
        return std::string_view::npos;
    const size_t end = pos + word.size();
    if (end < text.size() && !platform::IsBlank(text[end]) && text[end] != '\r' &&
        text[end] != '\n')
        return std::string_view::npos;
    return end;
}

}  // namespace

// The table's extensions are literals, so their data ends with a zero byte.
const char* SourceExtension(int type) {
    const TEntryKind* kind = EntryKind(type);
    return kind ? kind->sourceExtension.data() : nullptr;
}

const char* CompiledExtension(int type) {
    const TEntryKind* kind = EntryKind(type);
    return kind ? kind->compiledExtension.data() : nullptr;
}

int EntryTypeOfName(std::string_view entryName, bool* isSource) {
    const std::string_view ext = Extension(entryName);
    if (ext.size() != 3)  // every extension of an object is three letters
        return -1;
    for (const TEntryKind& kind : EntryKinds) {
        const bool source = platform::AsciiSameText(ext, kind.sourceExtension);
        if (source || platform::AsciiSameText(ext, kind.compiledExtension)) {
            if (isSource)
                *isSource = source;
            return kind.type;
        }
    }
    return -1;
}

std::string_view ObjectName(std::string_view entryName) {
    const size_t dot = entryName.rfind('.');
    return dot == std::string_view::npos ? entryName : entryName.substr(0, dot);
}

PblEntry SourceEntry(std::string name, std::string format, uint32_t time, std::string_view comment,
                     std::string_view source) {
    PblEntry entry;
    entry.name = std::move(name);
    entry.format = std::move(format);
    entry.time = time;
    entry.commentLength = static_cast<uint16_t>(std::min(comment.size(), MaxCommentLength));
    std::string data;
    data.reserve(entry.commentLength + source.size());
    data.append(comment.substr(0, entry.commentLength));
    data.append(source);
    entry.data = PblData(std::move(data));
    return entry;
}

std::string CommentTooLong(std::string_view comment) {
    if (comment.size() <= MaxCommentLength)
        return {};
    return "the comment is " + std::to_string(comment.size()) + " bytes; an entry holds at most " +
           std::to_string(MaxCommentLength);
}

ObjectEntries FindObject(const PblLibrary& library, std::string_view name, int type) {
    ObjectEntries found;
    if (!SourceExtension(type))
        return found;
    const std::string base(name);
    found.source = FindEntry(library, base + "." + SourceExtension(type));
    found.compiled = FindEntry(library, base + "." + CompiledExtension(type));
    if (type == 0) {
        for (const char* ext : ApplicationExtras) {
            if (const PblEntry* extra = FindEntry(library, base + "." + ext))
                found.extras.push_back(extra);
        }
    }
    return found;
}

std::vector<DirectoryObject> ListObjects(const PblLibrary& library) {
    // The entries of known kinds ordered by object name without regard to case, then
    // by type, so that both forms of an object meet whatever case each was stored in.
    struct Form {
        std::string_view name;  // without extension
        int type;
        bool isSource;
        const PblEntry* entry;
    };
    std::vector<Form> forms;
    forms.reserve(library.Entries().size());
    for (const PblEntry& entry : library.Entries()) {
        bool isSource = false;
        const int type = EntryTypeOfName(entry.name, &isSource);
        if (type >= 0)
            forms.push_back({ObjectName(entry.name), type, isSource, &entry});
    }
    // Entries keep their directory order among equals (the entries are one array). The
    // directory order mostly is this order already.
    auto before = [](const Form& a, const Form& b) {
        const int order = platform::AsciiCompareText(a.name, b.name);
        if (order != 0)
            return order < 0;
        return a.type != b.type ? a.type < b.type : a.entry < b.entry;
    };
    if (!std::is_sorted(forms.begin(), forms.end(), before))
        std::sort(forms.begin(), forms.end(), before);
    std::vector<DirectoryObject> result;
    result.reserve(forms.size());
    for (size_t i = 0; i < forms.size();) {
        DirectoryObject object;
        object.type = forms[i].type;
        size_t j = i;
        for (; j < forms.size() && forms[j].type == object.type &&
               platform::AsciiCompareText(forms[j].name, forms[i].name) == 0;
             ++j)
            (forms[j].isSource ? object.source : object.compiled) = forms[j].entry;
        if (object.source) {
            object.name = ObjectName(object.source->name);
            object.comment = object.source->Comment();
            object.time = object.source->time;
        } else {
            object.name = forms[i].name;
            object.time = object.compiled->time;
        }
        const PblEntry* sized = object.compiled ? object.compiled : object.source;
        object.size = static_cast<uint32_t>(sized->data.size());
        result.push_back(std::move(object));
        i = j;
    }
    return result;
}

std::optional<std::string> AncestorOf(std::string_view source, std::string_view name) {
    size_t lineStart = 0;
    while (lineStart < source.size()) {
        size_t lineEnd = source.find('\n', lineStart);
        if (lineEnd == std::string_view::npos)
            lineEnd = source.size();
        const std::string_view line = source.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;

        size_t pos = SkipBlanks(line, 0);
        if ((pos = MatchWord(line, pos, "global")) == std::string_view::npos)
            continue;
        pos = SkipBlanks(line, pos);
        if ((pos = MatchWord(line, pos, "type")) == std::string_view::npos)
            continue;
        pos = SkipBlanks(line, pos);
        if ((pos = MatchWord(line, pos, name)) == std::string_view::npos)
            continue;
        pos = SkipBlanks(line, pos);
        if ((pos = MatchWord(line, pos, "from")) == std::string_view::npos)
            continue;
        pos = SkipBlanks(line, pos);
        size_t end = pos;
        while (end < line.size() && !platform::IsBlank(line[end]) && line[end] != '\r')
            ++end;
        if (end == pos)
            continue;
        return std::string(line.substr(pos, end - pos));
    }
    return std::nullopt;
}

bool ParseSccData(std::string_view data, std::vector<SccRecord>* records) {
    records->clear();
    size_t pos = 0;
    auto field = [&](std::string* out) {
        const size_t zero = data.find('\0', pos);
        if (zero == std::string_view::npos)
            return false;
        *out = std::string(data.substr(pos, zero - pos));
        pos = zero + 1;
        return true;
    };
    while (pos < data.size()) {
        SccRecord record;
        std::string flag;
        if (!field(&record.library) || !field(&record.entry) || !field(&record.user) ||
            !field(&flag))
            return false;
        if (flag.size() != 1 || (flag[0] != 'r' && flag[0] != 'd' && flag[0] != 's'))
            return false;
        if (record.entry.empty())
            return false;
        record.flag = flag[0];
        records->push_back(std::move(record));
    }
    return true;
}

std::string EncodeSccData(const std::vector<SccRecord>& records) {
    std::string out;
    for (const SccRecord& record : records) {
        for (const std::string* text : {&record.library, &record.entry, &record.user}) {
            out += *text;
            out += '\0';
        }
        out += record.flag;
        out += '\0';
    }
    return out;
}

namespace {

constexpr std::string_view HeaderTag = "$PBExportHeader$";
constexpr std::string_view CommentTag = "$PBExportComments$";

// The line at pos without its end (CR LF, LF), and the position after it.
std::pair<std::string_view, size_t> LineAt(std::string_view bytes, size_t pos) {
    size_t end = bytes.find('\n', pos);
    const size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
    if (end == std::string_view::npos)
        end = bytes.size();
    if (end > pos && bytes[end - 1] == '\r')
        --end;
    return {bytes.substr(pos, end - pos), next};
}

// The comment line holds the whole comment on one line. A line break is written as
// PowerScript writes it in a string, "~r" for CR and "~n" for LF, so PowerBuilder's own
// import, which takes the line as it stands, at worst shows the escape. A tilde is
// doubled only where it is followed by 'r', 'n', '~' or a line break (the places where
// reading it back would take it for an escape); any other tilde stays single, so a
// comment without line breaks reads the same in PowerBuilder as before.
std::string EscapeComment(std::string_view comment) {
    std::string out;
    out.reserve(comment.size());
    for (size_t i = 0; i < comment.size(); ++i) {
        const char c = comment[i];
        if (c == '\r') {
            out += "~r";
        } else if (c == '\n') {
            out += "~n";
        } else if (c == '~') {
            const char next = i + 1 < comment.size() ? comment[i + 1] : '\0';
            out += next == 'r' || next == 'n' || next == '~' || next == '\r' || next == '\n' ? "~~"
                                                                                             : "~";
        } else {
            out += c;
        }
    }
    return out;
}

std::string UnescapeComment(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    for (size_t i = 0; i < line.size(); ++i) {
        const char next = i + 1 < line.size() ? line[i + 1] : '\0';
        if (line[i] == '~' && (next == 'r' || next == 'n' || next == '~')) {
            out += next == 'r' ? '\r' : next == 'n' ? '\n' : '~';
            ++i;
        } else {
            out += line[i];
        }
    }
    return out;
}

}  // namespace

ExportFile ParseExportFile(std::string_view bytes) {
    ExportFile file;
    if (bytes.substr(0, Utf8Bom.size()) == Utf8Bom) {
        bytes.remove_prefix(Utf8Bom.size());
        file.encoding = ExportEncoding::Utf8;
    }
    size_t pos = 0;
    std::string_view start = bytes;
    if (start.substr(0, 2) == "HA" && start.substr(2, HeaderTag.size()) == HeaderTag) {
        start.remove_prefix(2);
        if (file.encoding == ExportEncoding::Ansi)
            file.encoding = ExportEncoding::HexAscii;
    }
    if (start.substr(0, HeaderTag.size()) == HeaderTag) {
        const auto [line, next] = LineAt(bytes, bytes.size() - start.size());
        file.entryName = std::string(line.substr(HeaderTag.size()));
        pos = next;
    }
    if (bytes.substr(pos, CommentTag.size()) == CommentTag) {
        const auto [line, next] = LineAt(bytes, pos);
        file.comment = UnescapeComment(line.substr(CommentTag.size()));
        pos = next;
    }
    file.source = std::string(bytes.substr(pos));
    return file;
}

std::string ExportEntry(const PblEntry& entry, PblKind kind, ExportEncoding encoding) {
    const bool marker = encoding == ExportEncoding::HexAscii;
    if (kind == PblKind::Ansi) {
        if (encoding != ExportEncoding::Utf8)
            return FormatExportFile(entry.name, entry.Comment(), entry.BodyText(), marker);
        const auto utf8 = [](std::string_view ansi) {
            std::string utf16;
            for (const char16_t unit : platform::AnsiToUnicode(ansi)) {
                utf16 += static_cast<char>(unit & 0xff);
                utf16 += static_cast<char>(unit >> 8);
            }
            return Utf16ToUtf8(utf16);
        };
        return std::string(Utf8Bom) +
               FormatExportFile(utf8(entry.name), utf8(entry.Comment()), utf8(entry.BodyText()));
    }
    if (encoding == ExportEncoding::Utf8)
        return std::string(Utf8Bom) + FormatExportFile(entry.name, Utf16ToUtf8(entry.Comment()),
                                                       Utf16ToUtf8(entry.BodyText()));
    std::string name16;
    (void)Utf8ToUtf16Strict(entry.name, &name16, nullptr);  // the reader made it UTF-8
    return FormatExportFile(Utf16ToAnsi(name16), Utf16ToAnsi(entry.Comment()),
                            Utf16ToAnsi(entry.BodyText()), marker);
}

bool StoredTexts(const ExportFile& file, PblKind kind, std::string* entryName, std::string* comment,
                 std::string* source, std::string* error) {
    const bool utf8 = file.encoding == ExportEncoding::Utf8;
    auto fail = [&](const char* what, const std::string& why) {
        if (error)
            *error = std::string(what) + ": " + why;
        return false;
    };
    if (kind == PblKind::Ansi) {
        *entryName = file.entryName;
        *comment = file.comment;
        *source = file.source;
        if (!utf8)
            return true;
        // UTF-8 into the code page, with escapes where the code page lacks a character.
        for (auto [text, what] :
             {std::pair{entryName, "the entry name"}, std::pair{comment, "the comment"},
              std::pair{source, "the source"}}) {
            std::string utf16, why;
            if (!Utf8ToUtf16(*text, &utf16, &why))
                return fail(what, why);
            *text = Utf16ToAnsi(utf16);
        }
        return true;
    }
    const auto toUtf16 = utf8 ? Utf8ToUtf16 : AnsiToUtf16;
    std::string name16, why;
    if (!toUtf16(file.entryName, &name16, &why) || !Utf16ToUtf8Strict(name16, entryName, &why))
        return fail("the entry name", why);
    if (!toUtf16(file.comment, comment, &why))
        return fail("the comment", why);
    if (!toUtf16(file.source, source, &why))
        return fail("the source", why);
    return true;
}

PblEntry WideSourceEntry(std::string name, std::string format, uint32_t time,
                         std::string_view comment, std::string_view source) {
    PblEntry entry = SourceEntry(std::move(name), std::move(format), time, "", "");
    const size_t units = std::min(comment.size() / 2, MaxCommentLength);
    entry.wide = true;
    entry.commentLength = static_cast<uint16_t>(units);
    std::string data(comment.substr(0, units * 2));
    data.append(source);
    entry.data = PblData(std::move(data));
    return entry;
}

std::string FormatExportFile(std::string_view entryName, std::string_view comment,
                             std::string_view source, bool ansiMarker) {
    std::string out;
    out.reserve(source.size() + entryName.size() + comment.size() + 48);
    if (ansiMarker)
        out += "HA";
    out += HeaderTag;
    out += entryName;
    out += "\r\n";
    // A source that itself begins like a comment line gets an empty comment line before
    // it, or reading the file back would take its first line for the comment.
    if (!comment.empty() || source.substr(0, CommentTag.size()) == CommentTag) {
        out += CommentTag;
        out += EscapeComment(comment);
        out += "\r\n";
    }
    out += source;
    return out;
}

}  // namespace orca
