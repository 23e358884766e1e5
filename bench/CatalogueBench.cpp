// Loading the PFC applications into the catalogue (library lists, directories, export of
// every entry, hierarchy), against exporting the same entries through bare ORCA calls
// (one directory listing per library, one export per entry) in the same run.
//
// The PFC workspace is built in a temporary prefix first (not timed). Each side runs
// several rounds; the best round counts.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "catalogue/Hierarchy.h"
#include "catalogue/Orcactrl.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/PfcWorkspace.h"
#include "tests/support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

struct BareExport {
    HPBORCA session;
    decltype(&PBORCA_LibraryEntryExport) exportFn;
    decltype(&PBORCA_LibraryEntryInformation) infoFn;  // also asked when set
    const char* library;
    std::vector<char>* buffer;
    size_t entries = 0;
    size_t bytes = 0;
};

void BareEntry(PBORCA_DIRENTRY* entry, void* user) {
    auto* run = static_cast<BareExport*>(user);
    if (run->exportFn(run->session, run->library, entry->lpszEntryName, entry->otEntryType,
                      run->buffer->data(), static_cast<int32_t>(run->buffer->size())) == 0) {
        ++run->entries;
        run->bytes += std::char_traits<char>::length(run->buffer->data());
    }
    if (run->infoFn) {
        PBORCA_ENTRYINFO info;
        run->infoFn(run->session, run->library, entry->lpszEntryName, entry->otEntryType, &info);
    }
}

// Every entry of every library exported through the bare calls; gives the seconds.
double BareRound(const std::vector<std::string>& libraries, bool withInformation, size_t* entries,
                 size_t* bytes) {
    const auto& table = catalogue::OrcaFunctions();
    auto open =
        reinterpret_cast<decltype(&PBORCA_SessionOpen)>(table[catalogue::TOrcaSlot::SessionOpen]);
    auto close =
        reinterpret_cast<decltype(&PBORCA_SessionClose)>(table[catalogue::TOrcaSlot::SessionClose]);
    auto directory = reinterpret_cast<decltype(&PBORCA_LibraryDirectory)>(
        table[catalogue::TOrcaSlot::LibraryDirectory]);
    std::vector<char> buffer(4 << 20);  // room for the largest PFC source
    const Clock::time_point start = Clock::now();
    BareExport run{open(),
                   reinterpret_cast<decltype(&PBORCA_LibraryEntryExport)>(
                       table[catalogue::TOrcaSlot::LibraryEntryExport]),
                   withInformation ? reinterpret_cast<decltype(&PBORCA_LibraryEntryInformation)>(
                                         table[catalogue::TOrcaSlot::LibraryEntryInformation])
                                   : nullptr,
                   nullptr, &buffer};
    for (const std::string& library : libraries) {
        run.library = library.c_str();
        directory(run.session, library.c_str(), nullptr, 0, &BareEntry, &run);
    }
    close(run.session);
    *entries = run.entries;
    *bytes = run.bytes;
    return Seconds(start);
}

struct Phases {
    double applications = 1e9, libraryLists = 1e9, hierarchy = 1e9, total = 1e9;
};

// Every application loaded with its hierarchy into a fresh catalogue, phase by phase.
void CatalogueRound(Phases* best, size_t* entries, size_t* refs) {
    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    const Clock::time_point start = Clock::now();
    mgr.LoadApplications();
    const double applications = Seconds(start);
    Clock::time_point at = Clock::now();
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        mgr.Apps[i]->LoadLibraryList();
    const double libraryLists = Seconds(at);
    at = Clock::now();
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        catalogue::BuildHierarchy(*mgr.Apps[i]);
    const double hierarchy = Seconds(at);
    const double total = Seconds(start);
    if (total < best->total)
        *best = {applications, libraryLists, hierarchy, total};
    *entries = 0;
    for (const auto& lib : mgr.Libs)
        *entries += static_cast<size_t>(lib.Obj->Entries.Count());
    *refs = 0;
    for (const auto& app : mgr.Apps)
        app.Obj->ForEachObjRef([&](catalogue::TPBObjRef&) { ++*refs; });
    catalogue::ResetOrcaMgr();
}

}  // namespace

int main() {
    if (testsupport::CorpusDir().empty()) {
        std::printf("catalogue_bench: corpus not found at %s; nothing measured\n",
                    SORVANTI_CORPUS_DIR);
        return 0;
    }
    testsupport::TempPrefix prefix;
    shell::InitUtilities({}, "c:\\Sorvanti");
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    if (!workspace.error.empty() || workspace.Empty()) {
        std::printf("catalogue_bench: no PFC workspace: %s\n", workspace.error.c_str());
        return 1;
    }
    std::printf("PFC workspace: %zu libraries, %zu sources, %zu applications (built in %.3f s)\n",
                workspace.libraries.size(), workspace.sourceCount, workspace.applications.size(),
                workspace.seconds);

    // Keeps the ORCA library loaded across the rounds (each catalogue round frees its
    // manager; the bare rounds use the same bound functions).
    catalogue::TOrcaMgr keep;
    if (!keep.LoadOrcaDll()) {
        std::printf("catalogue_bench: the ORCA library cannot be loaded\n");
        return 1;
    }

    constexpr int Rounds = 20;
    double bare = 1e9, bareInfo = 1e9;
    Phases phases;
    size_t bareEntries = 0, bareBytes = 0, entries = 0, refs = 0;
    for (int round = 0; round < Rounds; ++round) {
        bare = std::min(bare, BareRound(workspace.libraries, false, &bareEntries, &bareBytes));
        bareInfo =
            std::min(bareInfo, BareRound(workspace.libraries, true, &bareEntries, &bareBytes));
        CatalogueRound(&phases, &entries, &refs);
    }
    std::printf("bare ORCA export:                %zu entries, %.1f MB of source in %.4f s\n",
                bareEntries, bareBytes / 1e6, bare);
    std::printf("bare ORCA export + information:  %.4f s\n", bareInfo);
    std::printf(
        "catalogue load:                  %zu entries, %zu entry references with hierarchy in %.4f "
        "s\n",
        entries, refs, phases.total);
    std::printf(
        "  pb.ini applications %.4f s, library lists (directories, export) %.4f s, hierarchy %.4f "
        "s\n",
        phases.applications, phases.libraryLists, phases.hierarchy);
    std::printf("ratio catalogue / bare export: %.2f (target <= 2.00); whole load %s one second\n",
                phases.total / bare, phases.total < 1.0 ? "under" : "OVER");
    shell::ResetUtilities();
    return 0;
}
