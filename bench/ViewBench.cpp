// Application View benchmark, over the PFC workspace, each figure against a reference
// timed in the same run:
//
// 1. Memory: every application expanded in a view and its hierarchy built; the growth
//    of resident memory (and of the heap in use) against the bytes of source held.
// 2. Expanding the largest application in a view (every library read, the tree
//    synchronised, fully expanded and painted) against the bare catalogue load of the
//    same application (LoadNode), each on a fresh catalogue.
// 3. The source panel: Show of the largest source (pfc_n_cst_conversion) and of one of
//    about 30,000 bytes (pfc_n_cst_dwsrv_rowmanager), against a bare setPlainText of the
//    same text.
// 4. Printing 10,000 tree rows to a PDF against painting the same rows onto an image.
//
// usage: view_bench [REPETITIONS]

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "BenchTiming.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/Source.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "tests/support/PfcWorkspace.h"
#include "ui/AnsiText.h"
#include "ui/Printing.h"
#include "ui/Pwclient.h"
#include "ui/SourceMemo.h"
#include "ui/pbwntree.h"

namespace {

using bench::Clock;
using bench::Median;
using bench::Since;

// Resident memory of this process, bytes.
double ResidentBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

double HeapInUse() {
    return static_cast<double>(mallinfo2().uordblks);
}

// A fresh catalogue over the workspace's pb.ini, applications listed, nothing loaded.
catalogue::TOrcaMgr& FreshCatalogue(const std::string& pbIni) {
    catalogue::ResetOrcaMgr();
    shell::OptionsForm().PBIniFileName = pbIni;
    catalogue::TOrcaMgr& mgr = catalogue::CreateOrcaMgr();
    mgr.LoadOrcaDll();
    mgr.LoadApplications();
    return mgr;
}

views::TWinTreeNode* AppNode(ui::TPickwellForm& view, const catalogue::TPBApp* app) {
    views::TCustomWinTree& model = view.Outline1->Model();
    for (int i = 1; i <= model.ItemCount(); ++i)
        if (view.Outline1->Sync().ResolveNode(model.Items(i)).app == app &&
            model.Items(i)->Level() == 2)
            return model.Items(i);
    return nullptr;
}

void Paint(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    widget.render(&painter);
}

catalogue::TPBObj* Entry(catalogue::TOrcaMgr& mgr, const std::string& name) {
    for (int i = 0; i < mgr.Libs.Count(); ++i) {
        catalogue::TPBLib* lib = mgr.Libs[i];
        for (int j = 0; j < lib->Entries.Count(); ++j)
            if (lib->Entries[j]->Name == name)
                return lib->Entries[j];
    }
    return nullptr;
}

void MeasureMemory(const testsupport::PfcWorkspace& workspace) {
    malloc_trim(0);
    const double rss0 = ResidentBytes();
    const double heap0 = HeapInUse();
    catalogue::TOrcaMgr& mgr = FreshCatalogue(workspace.pbIni);
    double sourceBytes = 0;
    int nodes = 0;
    // The catalogue alone first (the view then finds everything loaded): what the trees
    // add is the rest.
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        catalogue::LoadNode(mgr.Apps[i]);
    const double catalogueHeap = HeapInUse() - heap0;
    {
        ui::TPickwellForm view;
        view.resize(1000, 700);
        view.Populate();
        for (int i = 0; i < mgr.Apps.Count(); ++i) {
            views::TWinTreeNode* node = AppNode(view, mgr.Apps[i]);
            node->Expand();
            node->FullExpand();
            view.Outline1->Model().SelectNode(node);
            view.SetViewPage(ui::TPickwellForm::PageHierarchy);
            view.ExpandAll1Click();
            view.SetViewPage(ui::TPickwellForm::PageApplication);
        }
        nodes = view.Outline1->Model().ItemCount() + view.Outline2->Model().ItemCount();
        for (int i = 0; i < mgr.Libs.Count(); ++i)
            for (int j = 0; j < mgr.Libs[i]->Entries.Count(); ++j)
                sourceBytes += static_cast<double>(mgr.Libs[i]->Entries[j]->Source.size());
        const double rss = ResidentBytes() - rss0;
        const double heap = HeapInUse() - heap0;
        std::printf("memory: %d applications expanded with their hierarchies, %d tree nodes\n",
                    mgr.Apps.Count(), nodes);
        std::printf("  source bytes held                        %9.1f MB\n", sourceBytes / 1e6);
        std::printf("  resident memory grown                    %9.1f MB\n", rss / 1e6);
        std::printf("  heap in use grown                        %9.1f MB\n", heap / 1e6);
        std::printf("    of which the catalogue alone           %9.1f MB\n", catalogueHeap / 1e6);
        std::printf("  ratio resident / source                  %9.2f\n", rss / sourceBytes);
        std::printf("  ratio heap / source                      %9.2f\n", heap / sourceBytes);
    }
    catalogue::ResetOrcaMgr();
}

void MeasureExpand(const testsupport::PfcWorkspace& workspace, int rounds) {
    // The largest application: the longest library list.
    const testsupport::PfcApplication* largest = &workspace.applications.front();
    for (const auto& app : workspace.applications)
        if (app.libraryList.size() > largest->libraryList.size())
            largest = &app;
    std::vector<double> bare, expand;
    int nodes = 0;
    for (int round = 0; round < rounds; ++round) {
        catalogue::TOrcaMgr& mgr = FreshCatalogue(workspace.pbIni);
        catalogue::TPBApp* app = mgr.FindApp(largest->name);
        auto start = Clock::now();
        catalogue::LoadNode(app);
        bare.push_back(Since(start));

        catalogue::TOrcaMgr& mgr2 = FreshCatalogue(workspace.pbIni);
        catalogue::TPBApp* app2 = mgr2.FindApp(largest->name);
        ui::TPickwellForm view;
        view.resize(1000, 700);
        view.Populate();
        views::TWinTreeNode* node = AppNode(view, app2);
        start = Clock::now();
        node->Expand();
        node->FullExpand();
        Paint(*view.Outline1);
        expand.push_back(Since(start));
        nodes = view.Outline1->Model().ItemCount();
    }
    catalogue::ResetOrcaMgr();
    std::printf("expand: %s, %zu libraries, %d tree nodes, median of %d\n", largest->name.c_str(),
                largest->libraryList.size(), nodes, rounds);
    std::printf("  view: expand, synchronise, paint         %9.1f ms\n", Median(expand) * 1e3);
    std::printf("  reference: bare catalogue load           %9.1f ms\n", Median(bare) * 1e3);
    std::printf("  ratio view / bare                        %9.2f\n",
                Median(expand) / Median(bare));
}

void MeasureShow(const testsupport::PfcWorkspace& workspace, int reps) {
    catalogue::TOrcaMgr& mgr = FreshCatalogue(workspace.pbIni);
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        catalogue::LoadNode(mgr.Apps[i]);
    ui::TSourceMemo memo;
    memo.resize(700, 700);
    memo.show();
    QPlainTextEdit plain;
    plain.setFont(memo.font());
    plain.setLineWrapMode(QPlainTextEdit::NoWrap);
    plain.resize(700, 700);
    plain.show();
    std::printf("show: the source panel, median of %d\n", reps);
    for (const char* name : {"pfc_n_cst_conversion", "pfc_n_cst_dwsrv_rowmanager"}) {
        catalogue::TPBObj* obj = Entry(mgr, name);
        if (!obj) {
            std::printf("  %s: not in the workspace\n", name);
            continue;
        }
        const int32_t length = obj->SourceLength();
        const int32_t offset = length / 2;  // the middle: a full window
        std::vector<double> shows, plains;
        for (int i = 0; i < reps; ++i) {
            memo.clear();
            auto start = Clock::now();
            memo.Show(*obj, offset, 10);
            shows.push_back(Since(start));
            const QString text = ui::FromAnsi(memo.Window().Text());
            plain.clear();
            start = Clock::now();
            plain.setPlainText(text);
            plains.push_back(Since(start));
        }
        std::printf("  %-28s %7d bytes: Show %7.2f ms, setPlainText %7.2f ms, ratio %5.2f\n", name,
                    length, Median(shows) * 1e3, Median(plains) * 1e3,
                    Median(shows) / Median(plains));
    }
    catalogue::ResetOrcaMgr();
}

void MeasurePrint(const std::string& prefixDir) {
    ui::TPickwellForm view;
    view.resize(1000, 700);
    views::TCustomWinTree& tree = view.Outline1->Model();
    tree.BeginUpdate();
    for (int i = 0; i < 10000; ++i)
        tree.AddChildObject(0,
                            "w_entry_" + std::to_string(i) +
                                "                  12/08/26 10:00:00 (1234)  a comment",
                            nullptr);
    tree.EndUpdate();
    const std::string pdf = prefixDir + "/print-bench.pdf";
    ui::SetPrintDialogHook([&](QPrinter& printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QString::fromStdString(pdf));
        return true;
    });
    auto start = Clock::now();
    view.Print1Click();
    const double print = Since(start);
    const int pages = view.LastPrintPages();
    ui::SetPrintDialogHook(nullptr);

    // Reference: the same rows painted onto images, one per printed page.
    const int perPage = (10000 + pages - 1) / std::max(1, pages);
    const int h = view.Outline1->ItemHeight();
    QImage image(1000, perPage * h, QImage::Format_ARGB32_Premultiplied);
    start = Clock::now();
    for (int first = 0; first < 10000; first += perPage) {
        image.fill(Qt::white);
        QPainter painter(&image);
        view.Outline1->PaintRows(painter, first, std::min(perPage, 10000 - first));
    }
    const double paint = Since(start);
    std::printf("print: 10,000 rows, %d pages\n", pages);
    std::printf("  to a PDF                                 %9.1f ms\n", print * 1e3);
    std::printf("  reference: painted onto images           %9.1f ms\n", paint * 1e3);
    std::printf("  ratio print / paint                      %9.2f\n", print / paint);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;

    testsupport::TempPrefix prefix;
    shell::InitUtilities({}, "c:\\Sorvanti");
    catalogue::SetRunFlag(true);
    const testsupport::PfcWorkspace workspace = testsupport::BuildPfcWorkspace(prefix);
    if (!workspace.error.empty() || workspace.Empty()) {
        std::printf("view_bench: skipped (%s)\n", workspace.error.empty()
                                                      ? "no PFC sources in the corpus"
                                                      : workspace.error.c_str());
        return 0;
    }
    MeasureMemory(workspace);
    MeasureExpand(workspace, 5);
    MeasureShow(workspace, reps);
    MeasurePrint(prefix.PrefixPath());
    catalogue::ResetOrcaMgr();
    shell::ResetOptionsForm();
    shell::ResetUtilities();
    return 0;
}
