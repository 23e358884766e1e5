// Outline model benchmark: what painting and navigation ask of the tree, on a tree of
// 100,000 nodes against the same questions on 1,000 nodes in the same run. Lookups skip
// whole subtrees by their counts, so the cost per question should barely grow with the
// tree; the ratios (large / small) say how far it does.
//
// Questions: one screen of 50 consecutive rows from a random top row (what a repaint
// asks), a single row at random, the row of a random node, the node at a random index,
// and a screen right after a library node was collapsed or expanded (the lazily
// recomputed sums). Trees are shaped like the application view (applications,
// libraries, entries), fully expanded, and as one flat list.
//
// usage: outline_bench [REPETITIONS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "views/CustomWinTree.h"

namespace {

using Clock = std::chrono::steady_clock;
using views::TCustomWinTree;
using views::TWinTreeNode;

constexpr int ScreenRows = 50;

struct Shape {
    const char* name;
    int apps, libraries, entries;  // entries per library; flat: apps only
};

// Builds the tree; gives the library nodes.
std::vector<TWinTreeNode*> Build(TCustomWinTree& tree, const Shape& shape) {
    std::vector<TWinTreeNode*> libraries;
    tree.BeginUpdate();
    for (int a = 0; a < shape.apps; ++a) {
        TWinTreeNode* app = tree.AddChildNode(nullptr, "application " + std::to_string(a));
        for (int l = 0; l < shape.libraries; ++l) {
            TWinTreeNode* lib = tree.AddChildNode(app, "library " + std::to_string(l) + ".pbl");
            libraries.push_back(lib);
            for (int e = 0; e < shape.entries; ++e)
                tree.AddChildNode(lib, "w_entry_" + std::to_string(e) + "  03/05/98 14:07:09");
        }
    }
    tree.EndUpdate();
    tree.FullExpand();
    return libraries;
}

struct Result {
    int nodes = 0;
    double screen = 0, row = 0, rowOf = 0, index = 0, afterToggle = 0;  // ns per question
    double screenFloor = 0, nodeFloor = 0;  // reading the nodes without a lookup
};

template <class F>
double NanosPer(int count, F&& body) {
    const auto start = Clock::now();
    body();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

Result Measure(const Shape& shape, int repetitions) {
    TCustomWinTree tree;
    std::vector<TWinTreeNode*> libraries = Build(tree, shape);
    Result r;
    r.nodes = tree.ItemCount();
    const int rows = tree.RowCount();
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> anyRow(0, rows - 1);
    std::uniform_int_distribution<int> anyTop(0, std::max(0, rows - ScreenRows));
    std::uniform_int_distribution<int> anyIndex(1, tree.ItemCount());
    size_t sink = 0;

    std::vector<int> tops(static_cast<size_t>(repetitions));
    for (int& t : tops)
        t = anyTop(rng);
    r.screen = NanosPer(repetitions, [&] {
        for (int top : tops)
            for (int i = 0; i < ScreenRows && top + i < rows; ++i)
                sink += tree.NodeAtRow(top + i)->Text().size();
    });

    // The floor: the same screens' nodes read straight from a list of them, as any
    // painting must read them, without looking anything up.
    std::vector<std::vector<const TWinTreeNode*>> screens;
    for (int top : tops) {
        screens.emplace_back();
        for (int i = 0; i < ScreenRows && top + i < rows; ++i)
            screens.back().push_back(tree.NodeAtRow(top + i));
    }
    r.screenFloor = NanosPer(repetitions, [&] {
        for (const auto& screen : screens)
            for (const TWinTreeNode* n : screen)
                sink += n->Text().size();
    });

    std::vector<int> picks(static_cast<size_t>(repetitions) * 10);
    for (int& p : picks)
        p = anyRow(rng);
    r.row = NanosPer(static_cast<int>(picks.size()), [&] {
        for (int p : picks)
            sink += static_cast<size_t>(tree.NodeAtRow(p)->Level());
    });

    std::vector<TWinTreeNode*> nodes;
    for (size_t i = 0; i < picks.size(); ++i)
        nodes.push_back(tree.Items(anyIndex(rng)));
    r.nodeFloor = NanosPer(static_cast<int>(nodes.size()), [&] {
        for (const TWinTreeNode* n : nodes)
            sink += static_cast<size_t>(n->Level());
    });
    r.rowOf = NanosPer(static_cast<int>(nodes.size()), [&] {
        for (const TWinTreeNode* n : nodes)
            sink += static_cast<size_t>(tree.RowOf(n));
    });

    for (int& p : picks)
        p = anyIndex(rng);
    r.index = NanosPer(static_cast<int>(picks.size()), [&] {
        for (int p : picks)
            sink += static_cast<size_t>(tree.Items(p)->Level());
    });

    if (!libraries.empty()) {
        std::uniform_int_distribution<size_t> anyLibrary(0, libraries.size() - 1);
        r.afterToggle = NanosPer(repetitions, [&] {
            for (int k = 0; k < repetitions; ++k) {
                TWinTreeNode* lib = libraries[anyLibrary(rng)];
                lib->SetExpanded(!lib->Expanded());
                const int n = tree.RowCount();
                const int top =
                    std::uniform_int_distribution<int>(0, std::max(0, n - ScreenRows))(rng);
                for (int i = 0; i < ScreenRows && top + i < n; ++i)
                    sink += tree.NodeAtRow(top + i)->Text().size();
            }
        });
    }
    if (sink == 42)
        std::puts("");
    return r;
}

void Report(const Shape& small, const Shape& large, int repetitions) {
    const Result s = Measure(small, repetitions);
    const Result l = Measure(large, repetitions);
    std::printf("\n%s: %d nodes against %d nodes (ns per question)\n", large.name, l.nodes,
                s.nodes);
    std::printf("  %-34s %12s %12s %8s\n", "question", "small", "large", "ratio");
    auto line = [](const char* what, double a, double b) {
        std::printf("  %-34s %12.1f %12.1f %8.2f\n", what, a, b, a > 0 ? b / a : 0.0);
    };
    line("reference: read a screen's 50 nodes", s.screenFloor, l.screenFloor);
    line("screen of 50 rows at a random top", s.screen, l.screen);
    line("one row at random", s.row, l.row);
    line("reference: read a random node", s.nodeFloor, l.nodeFloor);
    line("row of a random node", s.rowOf, l.rowOf);
    line("node at a random index", s.index, l.index);
    if (s.afterToggle > 0)
        line("collapse/expand a library + screen", s.afterToggle, l.afterToggle);
    std::printf(
        "  lookup cost over the reference: screen %.2fx (small) %.2fx (large); "
        "row of a node %.2fx (small) %.2fx (large)\n",
        s.screen / s.screenFloor, l.screen / l.screenFloor, s.rowOf / s.nodeFloor,
        l.rowOf / l.nodeFloor);
}

}  // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20000;
    std::printf("outline_bench: %d repetitions, %d rows a screen\n", repetitions, ScreenRows);
    // Application view: applications > libraries > entries.
    Report({"tree", 2, 5, 99}, {"tree", 10, 20, 499}, repetitions);
    // One long list: every item a top-level sibling.
    Report({"flat list", 1000, 0, 0}, {"flat list", 100000, 0, 0}, repetitions);
    return 0;
}
