// Change detection over many libraries, against the file system's own cost in the same
// run:
//
// 1. One detection pass (TOrcaMgr::DetectChanges) over 2,000 libraries, none changed,
//    against stat() of the same 2,000 host files (the least any pass can do: one look
//    at each file's date).
// 2. The same pass with one library among them changed on disk (one entry's comment,
//    one entry added), which the pass refreshes (read again, merged, changed and added
//    entries exported); and that refresh alone, against reading and exporting the same
//    library afresh.
//
// The libraries are copies of one library of EntriesPerLibrary entries, FoldersCount
// folders of LibrariesPerFolder each, built in a temporary prefix and loaded into the
// catalogue before anything is timed. Each figure is the median of its rounds.
//
// usage: detect_bench [ROUNDS]

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "catalogue/Orcactrl.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/TestSupport.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Since;

constexpr int FoldersCount = 40;
constexpr int LibrariesPerFolder = 50;
constexpr int EntriesPerLibrary = 20;

std::string WindowSource(const std::string& name) {
    return "forward\r\nglobal type " + name + " from window\r\nend type\r\nend forward\r\n\r\n" +
           "global type " + name + " from window\r\nend type\r\n";
}

std::string LibraryPath(int folder, int library) {
    char path[64];
    std::snprintf(path, sizeof path, "c:\\libs\\f%02d\\lib%04d.pbl", folder, library);
    return path;
}

// The template library, then its copies; gives the Windows paths, or nothing on failure.
std::vector<std::string> BuildLibraries(catalogue::TOrcaMgr& mgr) {
    catalogue::TOrca& orca = mgr.GetSession();
    const std::string model = "c:\\model.pbl";
    if (orca.LibraryCreate(model, "detection benchmark") != 0)
        return {};
    for (int i = 0; i < EntriesPerLibrary; ++i) {
        const std::string name = "w_entry" + std::to_string(i);
        orca.CompileEntryImport(model, name, PBORCA_WINDOW, "", WindowSource(name), nullptr,
                                nullptr);
    }
    std::vector<std::string> paths;
    for (int f = 0; f < FoldersCount; ++f) {
        platform::ForceDirectories(shell::ExtractDir(LibraryPath(f, 0)));
        for (int l = 0; l < LibrariesPerFolder; ++l) {
            paths.push_back(LibraryPath(f, f * LibrariesPerFolder + l));
            if (!platform::CopyFile(model, paths.back(), true))
                return {};
        }
    }
    return paths;
}

double StatRound(const std::vector<std::string>& hostPaths) {
    const Clock::time_point start = Clock::now();
    size_t found = 0;
    for (const std::string& path : hostPaths) {
        struct stat st {};
        found += ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? 1 : 0;
    }
    const double seconds = Since(start);
    if (found != hostPaths.size())
        std::printf("stat: only %zu of %zu files found\n", found, hostPaths.size());
    return seconds;
}

double DetectRound(catalogue::TOrcaMgr& mgr) {
    const Clock::time_point start = Clock::now();
    mgr.DetectChanges();
    return Since(start);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    testsupport::TempPrefix prefix;
    // No screen installed: the silent stand-in, so the core's own cost is measured.
    shell::InitUtilities({}, "c:\\Sorvanti");
    shell::OptionsForm().AllLibRefresh.SetChecked(true);

    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    if (!mgr.LoadOrcaDll()) {
        std::printf("detect_bench: the ORCA library cannot be loaded\n");
        return 1;
    }
    const Clock::time_point built = Clock::now();
    const std::vector<std::string> paths = BuildLibraries(mgr);
    if (paths.empty()) {
        std::printf("detect_bench: the libraries could not be built\n");
        return 1;
    }
    std::vector<std::string> hostPaths;
    for (const std::string& path : paths) {
        hostPaths.push_back(platform::HostPath(path));
        mgr.OpenLibrary(path);
    }
    std::printf("%zu libraries of %d entries in %d folders (built and loaded in %.2f s)\n",
                paths.size(), EntriesPerLibrary, FoldersCount, Since(built));

    std::vector<double> stats, detects, passes, refreshes, loads;
    catalogue::TPBLib* changed = mgr.Libs.Find(paths[paths.size() / 2]);
    catalogue::TOrca& orca = mgr.GetSession();
    int changes = 0;
    // One comment changed, one entry added and the one added before deleted; the date
    // moved on disk so that the change is seen whatever the clock's second. Gives the
    // added entry's name.
    const auto change = [&] {
        const std::string added = "w_added" + std::to_string(changes);
        orca.CompileEntryImport(changed->Name, "w_entry0", PBORCA_WINDOW,
                                "change " + std::to_string(changes), WindowSource("w_entry0"),
                                nullptr, nullptr);
        orca.CompileEntryImport(changed->Name, added, PBORCA_WINDOW, "", WindowSource(added),
                                nullptr, nullptr);
        if (changes > 0)
            orca.EntryDelete(changed->Name, "w_added" + std::to_string(changes - 1), PBORCA_WINDOW);
        ++changes;
        platform::SetFileAge(changed->Name, changed->FileDate + 1.0 / (24 * 60));
        return added;
    };
    const auto merged = [&](const std::string& added) {
        return changed->IndexOfEntry(added, PBORCA_WINDOW) >= 0 &&
               changed->Entries.Count() == EntriesPerLibrary + 1;
    };
    for (int round = 0; round < rounds; ++round) {
        stats.push_back(StatRound(hostPaths));
        detects.push_back(DetectRound(mgr));

        std::string added = change();
        passes.push_back(DetectRound(mgr));
        if (!merged(added))
            std::printf("detect_bench: the pass did not merge the change (round %d)\n", round);

        added = change();
        Clock::time_point start = Clock::now();
        changed->Refresh();
        refreshes.push_back(Since(start));
        if (!merged(added))
            std::printf("detect_bench: the refresh did not merge the change (round %d)\n", round);

        // The reference of the refresh: the same library, changed as well, read and
        // exported afresh.
        change();
        start = Clock::now();
        {
            catalogue::TPBLib fresh(mgr, changed->Name);
            fresh.EnsureLoaded();
        }
        loads.push_back(Since(start));
        changed->Refresh();  // the catalogue in step again (not timed)
    }

    const double stat = Median(stats), detect = Median(detects), pass = Median(passes);
    const double refresh = Median(refreshes), load = Median(loads);
    std::printf("stat of %zu files:                         %9.3f ms\n", hostPaths.size(),
                stat * 1e3);
    std::printf("detection pass, nothing changed:           %9.3f ms\n", detect * 1e3);
    std::printf("detection pass refreshing one library:     %9.3f ms\n", pass * 1e3);
    std::printf("refresh of that library (%3d entries):     %9.3f ms\n", changed->Entries.Count(),
                refresh * 1e3);
    std::printf("loading the same library afresh:           %9.3f ms (refresh / load %.2f)\n",
                load * 1e3, refresh / load);
    std::printf("detect: ratio %.2f vs stat\n", detect / stat);
    catalogue::ResetOrcaMgr();
    shell::ResetUtilities();
    return 0;
}
