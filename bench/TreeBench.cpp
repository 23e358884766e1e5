// Tree control benchmark.
//
// 1. Painting: one screen of rows of the real widget rendered into an image offscreen,
//    and a row lookup, on a tree of 100,000 nodes against the same on 1,000 nodes in the
//    same run. Painting steps from the first row of the screen to the next visible
//    node, so the ratio (large / small) should stay close to 1.
// 2. Synchronisation: the application tree over the PFC workspace (every application
//    loaded, every node expanded); one library changes on disk; the catalogue refresh
//    and the tree's synchronisation are timed, against building the same tree afresh.
//
// usage: tree_bench [REPETITIONS]

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/Source.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/PfcWorkspace.h"
#include "ui/pbwntree.h"
#include "ui/wintree.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Since;

// Applications of 10 libraries of entries, fully expanded, `nodes` nodes in all.
void Fill(ui::TWinTree& tree, int nodes) {
    const int entries = 98;
    int made = 0;
    tree.Model().BeginUpdate();
    for (int a = 0; made < nodes; ++a) {
        const int app = tree.Model().AddChildObject(0, "application " + std::to_string(a), nullptr);
        ++made;
        for (int l = 0; l < 10 && made < nodes; ++l) {
            const int lib =
                tree.Model().AddChildObject(app, "c:\\apps\\library" + std::to_string(l), nullptr);
            ++made;
            for (int e = 0; e < entries && made < nodes; ++e, ++made)
                tree.Model().AddChildObject(
                    lib,
                    "w_entry_" + std::to_string(e) +
                        "                         03/05/98 14:07:09 (1234)  comment",
                    nullptr);
        }
    }
    tree.Model().EndUpdate();
    tree.Model().FullExpand();
}

struct PaintTimes {
    int nodes;
    double screen;  // seconds per screen
    double lookup;  // seconds per row lookup
};

PaintTimes MeasurePaint(int nodes, int reps) {
    ui::TWinTree tree;
    tree.resize(600, 800);
    Fill(tree, nodes);
    QImage image(tree.size(), QImage::Format_ARGB32_Premultiplied);
    std::mt19937 random(42);
    std::uniform_int_distribution<int> rows(0, tree.Model().RowCount() - 1);
    tree.Model().SetSelectedItem(1);
    {  // warm up: fonts, pictures, extents
        QPainter painter(&image);
        tree.render(&painter);
    }
    const auto start = Clock::now();
    for (int i = 0; i < reps; ++i) {
        tree.Model().SetTopRow(rows(random));
        QPainter painter(&image);
        tree.viewport()->render(&painter);
    }
    const double screen = Since(start) / reps;

    volatile const void* sink = nullptr;
    const int lookups = reps * 1000;
    const auto start2 = Clock::now();
    for (int i = 0; i < lookups; ++i)
        sink = tree.Model().NodeAtRow(rows(random));
    (void)sink;
    return {tree.Model().ItemCount(), screen, Since(start2) / lookups};
}

// The PFC workspace: every application loaded into the tree; one library touched.
int MeasureSync() {
    testsupport::TempPrefix prefix;
    catalogue::ResetOrcaMgr();
    shell::ResetOptionsForm();
    shell::ResetUtilities();
    shell::InitUtilities({}, "c:\\Sorvanti");
    catalogue::SetRunFlag(true);
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    if (!workspace.error.empty() || workspace.Empty()) {
        std::printf("sync: skipped (%s)\n", workspace.error.empty() ? "no PFC sources in the corpus"
                                                                    : workspace.error.c_str());
        return 0;
    }
    catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    mgr.LoadApplications();
    auto start = Clock::now();
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        catalogue::LoadNode(mgr.Apps[i]);
    const double load = Since(start);

    ui::TPBWinTree tree;
    tree.resize(600, 800);
    tree.Model().AddChildObject(0, "PowerBuilder", &mgr);
    start = Clock::now();
    tree.RefreshTree();
    tree.Model().FullExpand();
    const double build = Since(start);
    const int nodes = tree.Model().ItemCount();

    // One library changes on disk, again and again: its first entry gets a new comment
    // each time. The medians are reported.
    catalogue::TPBLib* lib = mgr.Apps[0]->LibRef(0)->Lib;
    catalogue::TPBObj* entry = lib->Entries[0];
    const std::string source(entry->SourceText());
    std::vector<double> refreshes, syncs;
    for (int round = 0; round < 15; ++round) {
        const std::string comment = "changed " + std::to_string(round);
        mgr.GetSession().CompileEntryImport(lib->Name, entry->Name, entry->EntryType, comment,
                                            source, nullptr, nullptr);
        lib->FileDate -= 1;
        start = Clock::now();
        mgr.RefreshAll();
        refreshes.push_back(Since(start));
        if (!entry->Redisplay || entry->Comment != comment)
            std::printf("sync: the change was not detected\n");
        start = Clock::now();
        tree.RefreshTree();
        syncs.push_back(Since(start));
    }
    const double refresh = Median(refreshes);
    const double sync = Median(syncs);
    // A second synchronisation with nothing changed.
    start = Clock::now();
    tree.RefreshTree();
    const double idle = Since(start);

    // Reference: the same tree built afresh.
    std::vector<double> rebuilds;
    for (int round = 0; round < 15; ++round) {
        start = Clock::now();
        tree.Model().Clear();
        tree.Model().AddChildObject(0, "PowerBuilder", &mgr);
        tree.RefreshTree();
        tree.Model().FullExpand();
        rebuilds.push_back(Since(start));
    }
    const double rebuild = Median(rebuilds);

    std::printf("sync: PFC workspace, %d applications, %d libraries, %d tree nodes\n",
                mgr.Apps.Count(), mgr.Libs.Count(), nodes);
    std::printf("  catalogue load of every application      %9.1f ms\n", load * 1e3);
    std::printf("  first tree build + full expand           %9.1f ms\n", build * 1e3);
    std::printf("  catalogue refresh of the changed library %9.1f ms\n", refresh * 1e3);
    std::printf("  tree synchronisation after the change    %9.1f ms\n", sync * 1e3);
    std::printf("  tree synchronisation, nothing changed    %9.1f ms\n", idle * 1e3);
    std::printf("  reference: tree rebuilt from scratch     %9.1f ms\n", rebuild * 1e3);
    std::printf("  ratio sync / rebuild                     %9.2f\n", sync / rebuild);
    catalogue::ResetOrcaMgr();
    return nodes;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    const PaintTimes small = MeasurePaint(1000, reps);
    const PaintTimes large = MeasurePaint(100000, reps);
    std::printf("paint: one screen (800 px) rendered offscreen, %d repetitions\n", reps);
    for (const PaintTimes& t : {small, large})
        std::printf("  %7d nodes: screen %8.1f us, row lookup %7.1f ns\n", t.nodes, t.screen * 1e6,
                    t.lookup * 1e9);
    std::printf("  ratio 100,000 / 1,000: screen %.2f, row lookup %.2f\n",
                large.screen / small.screen, large.lookup / small.lookup);

    MeasureSync();
    return 0;
}
