// Object loading and source analysis: exporting an entry's source into memory, reading
// its ancestor out of the source, and loading a catalogue object for the views.

#include <cstring>
#include <limits>

#include "catalogue/Orcactrl.h"
#include "shell/utilities.h"

namespace catalogue {

namespace {

// Exports of a source larger than the buffer are tried again with a buffer sized from
// the entry's information block (at least twice as large); a library that keeps
// growing between the attempts gives up after this many.
constexpr int ExportAttempts = 4;
constexpr size_t MaxExportSize = static_cast<size_t>(std::numeric_limits<int32_t>::max()) - 1;

}  // namespace

// The source goes through the manager's export buffer, whose last byte is always a zero
// byte of our own: the text is everything up to the first zero byte, whatever its
// length. A source larger than the buffer is never cut: the buffer grows to the size the
// entry's information block gives and the export runs again. When no whole source can be
// had, the entry keeps no source at all (LoadFailed): a cut source imported back by a
// rebuild would destroy the rest of the object.
void TPBObj::LoadSource() {
    Source.clear();
    LoadFailed = false;
    if (!Lib)
        return;
    shell::ShowStatus("Loading Object: " + Lib->Name + ";" + Name);

    TOrca& session = Lib->Mgr.GetSession();
    std::vector<char>& buffer = Lib->Mgr.ExportBuffer;
    size_t usable = buffer.size() - 1;
    buffer[0] = '\0';
    buffer[usable] = '\0';
    int32_t rc = session.EntryExport(Lib->Name, Name, EntryType, buffer.data(),
                                     static_cast<int32_t>(usable), true);
    GetEntryInfo();
    for (int attempt = 1; attempt < ExportAttempts && rc == PBORCA_BUFFERTOOSMALL; ++attempt) {
        const size_t wanted =
            std::min(std::max(static_cast<size_t>(std::max(Info.lSourceSize, 0)) + 1, usable * 2),
                     MaxExportSize);
        if (wanted <= usable)
            break;
        buffer.assign(wanted + 1, '\0');
        usable = wanted;
        rc = session.EntryExport(Lib->Name, Name, EntryType, buffer.data(),
                                 static_cast<int32_t>(usable), true);
    }
    if (rc == PBORCA_BUFFERTOOSMALL)
        session.ReportError("EntryExport:" + Lib->Name + ":" + Name);
    if (rc != 0) {
        // The failure is logged; the entry keeps no source rather than another's.
        LoadFailed = true;
        SourceLen = 0;
        return;
    }

    const char* start = buffer.data();
    const auto* zero = static_cast<const char*>(std::memchr(start, 0, usable + 1));
    const size_t length = static_cast<size_t>(zero - start);
    if (length >= usable) {
        // ORCA filled the whole buffer without ending the text.
        shell::LogMessage("Load Error: " + Lib->Name + ":" + Name + " couldn't be loaded.");
        shell::WriteDebug("Load Error: text of " + Lib->Name + ":" + Name +
                          " as exported (incomplete):\r\n" + std::string(start, length));
        LoadFailed = true;
        SourceLen = 0;
        return;
    }
    SourceLen = static_cast<int32_t>(length);
    Source.assign(start, length + 1);
}

std::string AncestorName(TPBObjRef& ref) {
    TPBObj& obj = *ref.Obj;
    std::string ancestor;
    if (obj.Lib && (obj.Lib->Mgr.Options & AncestorFromSource)) {
        const std::string_view text = obj.SourceText();
        if (!text.empty()) {
            // "global type NAME from ANCESTOR" up to the line end; the ancestor is the
            // first word of that (clauses such as "autoinstantiate" may follow it).
            const std::string rest =
                shell::ExtractWildcardPart(text, "global type " + obj.Name + " from *\r\n");
            const size_t begin = rest.find_first_not_of(" \t");
            if (begin != std::string::npos)
                ancestor = rest.substr(begin, rest.find_first_of(" \t", begin) - begin);
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
