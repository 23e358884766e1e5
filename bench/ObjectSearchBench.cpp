// Search across objects over the PFC workspace, each figure against a reference timed in
// the same run:
//
// 1. Find All of a literal, case-insensitive, over all the workspace's applications, end
//    to end: a fresh catalogue, every library read and every entry exported, every
//    object searched, every result line built; against grep -rFic of the same text over
//    the same sources exported to files on disk (from the page cache).
// 2. Replace/Undo of 1,000 and of 10,000 selected hits (each replaced, then undone), each
//    toggle starting with empty caches: the cost must grow linearly, so the second takes
//    at most twelve times the first. The same repeated while the sources stay in the
//    caches is shown beside it: there the short list's sources fit and the long one's do
//    not, which the growth then shows too.
//
// The last line reads "object search: ratio R vs grep -rF", R = grep time / our time.
//
// usage: object_search_bench [REPETITIONS] [TEXT]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/Source.h"
#include "platform/Paths.h"
#include "search/ObjectSearch.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/PfcWorkspace.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Since;

using TBenchHost = search::TListSearchHost;

catalogue::TOrcaMgr& FreshCatalogue(const std::string& pbIni) {
    catalogue::ResetOrcaMgr();
    shell::OptionsForm().PBIniFileName = pbIni;
    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    mgr.LoadOrcaDll();
    mgr.LoadApplications();
    return mgr;
}

// Find All over every application, end to end; the hits listed (of all applications
// together). loadSeconds gets the part spent reading the libraries and exporting.
size_t FindAll(TBenchHost& host, const std::string& pbIni, double& loadSeconds) {
    // The last round's catalogue and hits go before the clock starts: freeing them is no
    // part of this Find All.
    catalogue::ResetOrcaMgr();
    host.results.clear();
    const Clock::time_point start = Clock::now();
    catalogue::TOrcaMgr& mgr = FreshCatalogue(pbIni);
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        catalogue::TPBApp* app = mgr.Apps[i];
        app->LoadLibraryList();
        for (int j = 0; j < app->LibRefs.Count(); ++j)
            catalogue::LoadNode(app->LibRef(j));
    }
    loadSeconds = Since(start);
    search::TObjectSearch run(host);
    size_t hits = 0;
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        search::TSearchScope scope;
        scope.Kind = search::TSearchScope::Application;
        scope.App = mgr.Apps[i];
        run.Run(scope);
        hits += host.results.size();
    }
    return hits;
}

// Every library of the applications, each once, loaded.
std::vector<catalogue::TPBLib*> Libraries(catalogue::TOrcaMgr& mgr) {
    std::vector<catalogue::TPBLib*> libs;
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        catalogue::TPBApp* app = mgr.Apps[i];
        app->LoadLibraryList();
        for (int j = 0; j < app->LibRefs.Count(); ++j)
            if (std::find(libs.begin(), libs.end(), app->LibRef(j)->Lib) == libs.end()) {
                libs.push_back(app->LibRef(j)->Lib);
                libs.back()->EnsureLoaded();
            }
    }
    return libs;
}

// Every source each application searches, one file each in a folder per application
// (applications share libraries: their sources are searched once per application).
size_t ExportToFiles(const std::string& pbIni, const std::string& dir) {
    size_t bytes = 0;
    int n = 0;
    catalogue::TOrcaMgr& mgr = FreshCatalogue(pbIni);
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        catalogue::TPBApp* app = mgr.Apps[i];
        const std::string folder = dir + "/" + std::to_string(i);
        std::filesystem::create_directories(folder);
        app->LoadLibraryList();
        for (int j = 0; j < app->LibRefs.Count(); ++j) {
            catalogue::TPBLib* lib = app->LibRef(j)->Lib;
            lib->EnsureLoaded();
            for (int k = 0; k < lib->Entries.Count(); ++k) {
                const std::string_view text = lib->Entries[k]->SourceText();
                std::ofstream out(folder + "/" + std::to_string(n++) + ".sr", std::ios::binary);
                out.write(text.data(), static_cast<std::streamsize>(text.size()));
                bytes += text.size();
            }
        }
    }
    return bytes;
}

double TimeGrep(const std::string& text, const std::string& dir) {
    const std::string command = "grep -rFic '" + text + "' '" + dir + "' > /dev/null";
    const Clock::time_point start = Clock::now();
    if (std::system(command.c_str()) == -1)
        std::printf("grep could not run\n");
    return Since(start);
}

// Writes over a buffer twice the size of the processor's last cache, so that what a
// sample touches next comes from memory, whatever the sample before it left cached.
void EmptyCaches() {
    static std::vector<char> sweep(64 << 20);
    for (size_t i = 0; i < sweep.size(); i += 64)
        ++sweep[i];
}

// Replace/Undo of every line of each list (replaced, then undone), the lists timed in
// turns so that a slow moment of the machine slows both alike; the median time of one
// toggle of each list. cold: the caches are emptied before each toggle, so that both
// lists start from memory, as a Replace chosen in the window does; otherwise a sample
// toggles about 10,000 hits (a short list several times over, its sources staying in
// the caches after the first time).
std::vector<double> TimeReplaceUndo(std::vector<std::vector<search::TSearchResult>> lists,
                                    const search::TReplaceList& list, int reps, bool cold) {
    std::vector<std::vector<double>> times(lists.size());
    for (int r = 0; r < reps; ++r) {
        for (size_t k = 0; k < lists.size(); ++k) {
            std::vector<search::TSearchResult>& lines = lists[k];
            std::vector<int> rows(lines.size());
            for (size_t i = 0; i < rows.size(); ++i)
                rows[i] = static_cast<int>(i);
            const int toggles =
                cold
                    ? 1
                    : std::max<int>(1, static_cast<int>(10000 / std::max<size_t>(1, lines.size())));
            if (cold)
                EmptyCaches();
            const Clock::time_point start = Clock::now();
            for (int t = 0; t < toggles; ++t) {
                const search::TReplaceUndoCount a = search::ReplaceUndo(lines, rows, list);
                const search::TReplaceUndoCount b = search::ReplaceUndo(lines, rows, list);
                if (a.Refused + b.Refused > 0 || a.Replaced != static_cast<int>(rows.size()))
                    std::printf("  (refused %d)\n", a.Refused + b.Refused);
            }
            times[k].push_back(Since(start) / toggles);
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& t : times)
        medians.push_back(Median(t));
    return medians;
}

}  // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    const std::string text = argc > 2 ? argv[2] : "this";

    testsupport::TempPrefix prefix;
    shell::InitUtilities({}, "c:\\Sorvanti");
    catalogue::SetRunFlag(true);
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    if (!workspace.error.empty() || workspace.Empty()) {
        std::printf("object_search_bench: skipped (%s)\n", workspace.error.empty()
                                                               ? "no PFC sources in the corpus"
                                                               : workspace.error.c_str());
        return 0;
    }
    const std::string files = prefix.PrefixPath() + "/exported";
    std::filesystem::create_directories(files);
    const size_t bytes = ExportToFiles(workspace.pbIni, files);

    TBenchHost host;
    host.list.SetFindText(text);
    host.list.SetReplaceText(text + "_x");
    host.list.Options.Include(search::srFindAll);
    std::vector<double> ours, loads, grep;
    size_t hits = 0;
    for (int r = 0; r < reps; ++r) {
        grep.push_back(TimeGrep(text, files));
        double load = 0;
        const Clock::time_point start = Clock::now();
        hits = FindAll(host, workspace.pbIni, load);
        ours.push_back(Since(start));
        loads.push_back(load);
    }
    const double ourTime = Median(ours), grepTime = Median(grep);
    std::printf("find all \"%s\": %zu hits in %d applications, %.1f MB of source searched\n",
                text.c_str(), hits, static_cast<int>(workspace.applications.size()), bytes / 1e6);
    std::printf(
        "  ours %.1f ms (of which reading and exporting the libraries %.1f ms), "
        "grep -rFic %.1f ms\n",
        ourTime * 1e3, Median(loads) * 1e3, grepTime * 1e3);

    // The hits of every library once (applications share libraries).
    search::TSearchScope every;
    every.Kind = search::TSearchScope::Libraries;
    every.Libs = Libraries(FreshCatalogue(workspace.pbIni));
    search::TObjectSearch(host).Run(every);
    const std::vector<search::TSearchResult>& all = host.results;
    if (all.size() >= 10000) {
        const std::vector<search::TSearchResult> small(all.begin(), all.begin() + 1000);
        const std::vector<search::TSearchResult> large(all.begin(), all.begin() + 10000);
        const std::vector<double> warm = TimeReplaceUndo({small, large}, host.list, reps, false);
        std::printf(
            "replace/undo, repeated in the caches: 1,000 hits %.2f ms, 10,000 hits "
            "%.2f ms, growth %.1fx\n",
            warm[0] * 1e3, warm[1] * 1e3, warm[1] / warm[0]);
        const std::vector<double> t = TimeReplaceUndo({small, large}, host.list, 3 * reps, true);
        std::printf(
            "replace/undo, from memory: 1,000 hits %.2f ms, 10,000 hits %.2f ms, growth "
            "%.1fx (at most 12)\n",
            t[0] * 1e3, t[1] * 1e3, t[1] / t[0]);
    } else {
        std::printf("replace/undo: only %zu hits of \"%s\"; choose a commoner text\n", all.size(),
                    text.c_str());
    }
    std::printf("object search: ratio %.2f vs grep -rF\n", grepTime / ourTime);
    catalogue::ResetOrcaMgr();
    shell::ResetOptionsForm();
    shell::ResetUtilities();
    return 0;
}
