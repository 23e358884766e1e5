// PblLibrary: the in-memory library and its entries. Reading is in PblReader.cpp,
// writing the image in PblWriter.cpp.

#include "orca/PblLibrary.h"

#include <algorithm>

#include "orca/LibraryLock.h"
#include "orca/PblBinary.h"
#include "platform/Ansi.h"
#include "platform/AtomicFile.h"
#include "platform/LastError.h"

namespace orca {

namespace {

// The comment as the header can hold it: up to its first zero byte, at most 255 bytes.
std::string HeaderComment(std::string_view comment) {
    comment = comment.substr(0, comment.find('\0'));
    return std::string(comment.substr(0, pbl::HeaderCommentSize - 1));
}

bool Refuse(std::string* error, std::string text) {
    if (error)
        *error = std::move(text);
    return false;
}

}  // namespace

bool PblLibrary::NameLess(std::string_view a, std::string_view b) {
    return platform::AsciiCompareText(a, b) < 0;
}

std::unique_ptr<PblLibrary> PblLibrary::Load(const std::string& hostPath, std::string* error) {
    const std::optional<std::string> image = platform::ReadHostFile(hostPath);
    if (!image) {
        if (error)
            *error = "cannot read " + hostPath + ": " + platform::LastErrorText();
        return nullptr;
    }
    std::string why;
    auto lib = Parse(*image, &why);
    if (!lib && error)
        *error = hostPath + ": " + why;
    return lib;
}

std::unique_ptr<PblLibrary> PblLibrary::Create(std::string_view format, std::string_view comment,
                                               uint32_t time) {
    auto lib = std::make_unique<PblLibrary>();
    lib->format_ = format.size() == 4 ? std::string(format) : std::string("0600");
    lib->comment_ = HeaderComment(comment);
    lib->time_ = time;
    return lib;
}

void PblLibrary::SetComment(std::string_view comment) {
    comment_ = HeaderComment(comment);
}

const PblEntry* PblLibrary::Find(std::string_view name) const {
    auto it =
        std::lower_bound(entries_.begin(), entries_.end(), name,
                         [](const PblEntry& e, std::string_view n) { return NameLess(e.name, n); });
    if (it == entries_.end() || platform::AsciiCompareText(it->name, name) != 0)
        return nullptr;
    return &*it;
}

bool PblLibrary::Put(PblEntry entry, std::string* error) {
    if (entry.name.empty())
        return Refuse(error, "an entry name cannot be empty");
    if (entry.name.size() > MaxNameLength)
        return Refuse(error, "the entry name '" + entry.name + "' is longer than " +
                                 std::to_string(MaxNameLength) + " bytes");
    if (entry.name.find('\0') != std::string::npos)
        return Refuse(error, "an entry name cannot hold a zero byte");
    if (entry.format.empty())
        entry.format = format_;
    if (entry.format.size() != 4)
        return Refuse(error, "the format of entry '" + entry.name + "' must be four bytes");
    if (entry.commentLength > entry.data.size())
        return Refuse(error, "the comment length of entry '" + entry.name + "' exceeds its data");
    if (entry.data.size() > MaxDataSize)
        return Refuse(error, "the data of entry '" + entry.name + "' exceeds " +
                                 std::to_string(MaxDataSize) + " bytes");
    auto it = std::lower_bound(
        entries_.begin(), entries_.end(), entry.name,
        [](const PblEntry& e, const std::string& n) { return NameLess(e.name, n); });
    if (it != entries_.end() && platform::AsciiCompareText(it->name, entry.name) == 0)
        *it = std::move(entry);
    else
        entries_.insert(it, std::move(entry));
    return true;
}

bool PblLibrary::Remove(std::string_view name) {
    const PblEntry* found = Find(name);
    if (!found)
        return false;
    entries_.erase(entries_.begin() + (found - entries_.data()));
    return true;
}

bool PblLibrary::Save(const std::string& hostPath, std::string* error) const {
    if (const char* why = LibraryLock::WhyNotWritable(hostPath))
        return Refuse(error, "cannot save " + hostPath + ": " + why);
    const std::string image = Serialize();
    if (image.empty())
        return Refuse(error, "cannot save " + hostPath +
                                 ": the library would exceed the 4 GB a library file can address");
    if (!platform::WriteHostFileAtomic(hostPath, image))
        return Refuse(error, "cannot save " + hostPath + ": " + platform::LastErrorText());
    return true;
}

}  // namespace orca
