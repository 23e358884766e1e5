#include "orca/AnsiView.h"

#include <utility>

#include "orca/TextBridge.h"

namespace orca {

namespace {

// Source entries (".sr" and one letter) hold texts after their comment; every other
// entry's data is PowerBuilder's own bytes, kept as they are.
bool IsSourceEntry(std::string_view name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || name.size() - dot != 4)
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(name[dot + 1]) == 's' && lower(name[dot + 2]) == 'r';
}

bool Refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

// A stored entry as the view shows it.
bool ViewEntry(const PblEntry& stored, PblEntry* out, std::string* error) {
    std::string utf16;
    (void)Utf8ToUtf16Strict(stored.name, &utf16, nullptr);  // the reader made it UTF-8
    out->name = Utf16ToAnsi(utf16);
    out->format = stored.format;
    out->time = stored.time;
    const std::string comment = Utf16ToAnsi(stored.Comment());
    if (comment.size() > 65535)
        return Refuse(error, "entry '" + stored.name + "': its comment in the code page is " +
                                 std::to_string(comment.size()) +
                                 " bytes, more than an entry holds");
    if (!IsSourceEntry(stored.name)) {
        out->data = stored.data;
        if (stored.commentLength != 0) {
            out->data = PblData(comment + stored.data.Str(stored.CommentBytes()));
            out->commentLength = static_cast<uint16_t>(comment.size());
        }
        return true;
    }
    if (stored.BodySize() % 2 != 0)
        return Refuse(error, "entry '" + stored.name + "': its source of " +
                                 std::to_string(stored.BodySize()) +
                                 " bytes is an odd number of bytes, not UTF-16 text");
    out->commentLength = static_cast<uint16_t>(comment.size());
    out->data = PblData(comment + Utf16ToAnsi(stored.BodyText()));
    return true;
}

// A changed or new entry of the view as the Unicode library stores it.
bool StoredEntry(const PblEntry& shown, PblEntry* out, std::string* error) {
    std::string utf16, why;
    if (!AnsiToUtf16(shown.name, &utf16, &why) || !Utf16ToUtf8Strict(utf16, &out->name, &why))
        return Refuse(error, "the entry name '" + shown.name + "' cannot be stored: " + why);
    out->format = shown.format;
    out->time = shown.time;
    out->wide = true;
    std::string comment;
    if (!AnsiToUtf16(shown.Comment(), &comment, &why))
        return Refuse(error, "entry '" + shown.name + "': its comment has a " + why);
    if (comment.size() / 2 > 65535)
        return Refuse(error,
                      "entry '" + shown.name + "': its comment is longer than an entry holds");
    out->commentLength = static_cast<uint16_t>(comment.size() / 2);
    if (!IsSourceEntry(shown.name) && !shown.wide) {
        out->data = shown.commentLength == 0
                        ? shown.data
                        : PblData(comment + shown.data.Str(shown.CommentBytes()));
        return true;
    }
    std::string body;
    if (!AnsiToUtf16(shown.BodyText(), &body, &why))
        return Refuse(error, "entry '" + shown.name + "': its source has a " + why);
    out->data = PblData(comment + body);
    return true;
}

}  // namespace

std::unique_ptr<PblLibrary> AnsiViewOf(std::shared_ptr<const PblLibrary> stored,
                                       std::string* error) {
    auto view =
        PblLibrary::Create(stored->Format(), Utf16ToAnsi(stored->Comment()), stored->Time());
    view->SetSourceControlData(stored->SourceControlData());
    for (const PblEntry& e : stored->Entries()) {
        PblEntry shown;
        if (!ViewEntry(e, &shown, error))
            return nullptr;
        shown.origin = std::shared_ptr<const PblEntry>(stored, &e);
        if (!view->Put(std::move(shown), error))
            return nullptr;
    }
    view->SetStoredForm(std::move(stored));
    return view;
}

std::unique_ptr<PblLibrary> StoredFormOf(const PblLibrary& view, std::string* error) {
    const std::shared_ptr<const PblLibrary>& was = view.StoredForm();
    if (!was) {
        Refuse(error, "the library is not a view of a Unicode library");
        return nullptr;
    }
    std::string comment = was->Comment();
    if (view.Comment() != Utf16ToAnsi(comment)) {
        std::string why;
        if (!AnsiToUtf16(view.Comment(), &comment, &why)) {
            Refuse(error, "the library comment has a " + why);
            return nullptr;
        }
    }
    auto stored = PblLibrary::Create(was->Format(), comment, view.Time(), PblKind::Unicode);
    stored->SetSourceControlData(view.SourceControlData());
    for (const PblEntry& e : view.Entries()) {
        // An entry of a Unicode library shown unchanged goes back as it was stored.
        if (e.origin && e.origin->wide && e.origin->time == e.time) {
            if (!stored->Put(*e.origin, error))
                return nullptr;
            continue;
        }
        PblEntry entry;
        if (!StoredEntry(e, &entry, error) || !stored->Put(std::move(entry), error))
            return nullptr;
    }
    return stored;
}

}  // namespace orca
