// Object loading and source analysis: exporting an entry's source into memory, reading
// its ancestor out of the source, and loading a catalogue object for the views.

#include "catalogue/Source.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "catalogue/Hierarchy.h"
#include "platform/Text.h"
#include "shell/Utilities.h"

namespace catalogue {

namespace {

// Exports of a source larger than the buffer are tried again with a buffer sized from
// the entry's information block (at least twice as large); a library that keeps
// growing between the attempts gives up after this many.
constexpr int ExportAttempts = 4;
constexpr size_t MaxExportSize = static_cast<size_t>(std::numeric_limits<int32_t>::max()) - 1;

// What follows "global type NAME from " on the first line that declares it, up to the
// line end ("\r\n"); empty when no such line ends in the text. Looked up in place,
// without building a pattern or copying the rest of the source.
std::string_view DeclaredAncestorLine(std::string_view text, std::string_view name) {
    constexpr std::string_view Global = "global type ";
    constexpr std::string_view From = " from ";
    for (size_t at = text.find(Global); at != std::string_view::npos;
         at = text.find(Global, at + 1)) {
        std::string_view rest = text.substr(at + Global.size());
        if (rest.substr(0, name.size()) != name || rest.substr(name.size(), From.size()) != From)
            continue;
        rest.remove_prefix(name.size() + From.size());
        // The line ends at CR LF as exported, or at a lone LF or CR (sources written by
        // other tools), so that a name never runs into the next line.
        const size_t end = rest.find_first_of("\r\n");
        return end == std::string_view::npos ? std::string_view() : rest.substr(0, end);
    }
    return {};
}

}  // namespace

// The source is exported straight into a block sized from the entry's information
// block; when ORCA says that is too small (the library changed, or the block was
// wrong), the export goes through the manager's export buffer, which grows to the size
// the information block then gives, and runs again. A source is never cut: when no
// whole source can be had, the entry keeps no source at all (LoadFailed), since a cut
// source imported back by a rebuild would destroy the rest of the object. Every block
// ends with a zero byte of our own, so the text (everything up to the first zero byte)
// never runs past its block.
namespace {

// One export into block, whose last byte stays a zero byte; quiet about -10.
template <class Block>
int32_t ExportInto(TPBObj& obj, Block& block) {
    block.back() = '\0';
    block.front() = '\0';
    return obj.Lib->Mgr.GetSession().EntryExport(obj.Lib->Name, obj.Name, obj.EntryType,
                                                 block.data(),
                                                 static_cast<int32_t>(block.size() - 1), true);
}

}  // namespace

void TPBObj::LoadSource() {
    Source.clear();
    LoadFailed = false;
    if (!Lib)
        return;
    shell::ShowStatus("Loading Object: " + Lib->Name + ";" + Name);

    GetEntryInfo();
    std::string sized(static_cast<size_t>(std::max(Info.lSourceSize, 0)) + 2, '\0');
    int32_t rc = ExportInto(*this, sized);
    bool direct = true;
    if (rc == PBORCA_BUFFERTOOSMALL) {
        direct = false;
        std::vector<char>& buffer = Lib->Mgr.ExportBuffer;
        rc = ExportInto(*this, buffer);
        for (int attempt = 1; attempt < ExportAttempts && rc == PBORCA_BUFFERTOOSMALL; ++attempt) {
            GetEntryInfo();
            const size_t usable = buffer.size() - 1;
            const size_t wanted = std::min(
                std::max(static_cast<size_t>(std::max(Info.lSourceSize, 0)) + 1, usable * 2),
                MaxExportSize);
            if (wanted <= usable)
                break;
            buffer.assign(wanted + 1, '\0');
            rc = ExportInto(*this, buffer);
        }
    }
    if (rc == PBORCA_BUFFERTOOSMALL)
        Lib->Mgr.GetSession().ReportError("EntryExport:" + Lib->Name + ":" + Name);
    if (rc != 0) {
        // The failure is logged; the entry keeps no source rather than another's.
        LoadFailed = true;
        SourceLen = 0;
        return;
    }

    const char* start = direct ? sized.data() : Lib->Mgr.ExportBuffer.data();
    const size_t usable = (direct ? sized.size() : Lib->Mgr.ExportBuffer.size()) - 1;
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, usable + 1));
    const size_t length = static_cast<size_t>(zero - start);
    if (length >= usable) {
        // ORCA filled the whole block without ending the text.
        shell::LogMessage("Load Error: " + Lib->Name + ":" + Name + " couldn't be loaded.");
        shell::WriteDebug("Load Error: text of " + Lib->Name + ":" + Name +
                          " as exported (incomplete):\r\n" + std::string(start, length));
        LoadFailed = true;
        SourceLen = 0;
        return;
    }
    SourceLen = static_cast<int32_t>(length);
    if (direct) {
        sized.resize(length + 1);
        Source = std::move(sized);
    } else {
        Source.assign(start, length + 1);
    }
}

std::string AncestorName(TPBObjRef& ref) {
    TPBObj& obj = *ref.Obj;
    std::string ancestor;
    if (obj.Lib && obj.Lib->Mgr.Options.Contains(TCatalogueOption::AncestorFromSource)) {
        const std::string_view text = obj.SourceText();
        if (!text.empty()) {
            // "global type NAME from ANCESTOR" up to the line end; the ancestor is the
            // first word of that (clauses such as "autoinstantiate" may follow it).
            // A name holding '*' keeps the wildcard reading it always had.
            const std::string wildcard =
                obj.Name.find('*') == std::string::npos
                    ? std::string()
                    : shell::ExtractWildcardPart(text, "global type " + obj.Name + " from *\r\n");
            const std::string_view rest = obj.Name.find('*') == std::string::npos
                                              ? DeclaredAncestorLine(text, obj.Name)
                                              : std::string_view(wildcard);
            const std::string_view word = platform::TrimLeft(rest);
            ancestor = word.substr(
                0, static_cast<size_t>(std::find_if(word.begin(), word.end(), platform::IsBlank) -
                                       word.begin()));
        } else {
            std::vector<std::string> ancestors;
            const std::string libraryPath = ref.LibRef ? ref.LibRef->Lib->Name : obj.Lib->Name;
            ref.App.GetSession().ObjectQueryHierarchy(libraryPath, obj.Name, obj.EntryType,
                                                      &AncestorCallback, &ancestors);
            if (!ancestors.empty())
                ancestor = ancestors.front();
        }
    }
    if (ancestor.empty())
        ancestor = SystemClassName(obj.EntryType);
    return ancestor;
}

void LoadNode(TObject* nodeData) {
    if (auto* app = dynamic_cast<TPBApp*>(nodeData)) {
        app->LoadLibraryList();
        BuildHierarchy(*app);
    } else if (auto* libRef = dynamic_cast<TPBLibRef*>(nodeData)) {
        libRef->Lib->EnsureLoaded();
        // Brings the references in line; an entry that has a reference keeps it (never
        // a second one).
        libRef->SyncObjRefs();
    }
}

}  // namespace catalogue
