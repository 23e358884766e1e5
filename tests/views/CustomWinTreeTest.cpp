// The outline model: building, indexes, rows, expansion, selection, moves, keys,
// notifications. Counts, rows and indexes after any edit are the outline fuzz target's.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "views/CustomWinTree.h"

namespace views {
namespace {

// A (1), B (2) under A, G (3) under B, H (4) at top level; all collapsed.
void BuildABGH(TCustomWinTree& tree) {
    tree.Add(0, "A");
    tree.AddChild(1, "B");
    tree.AddChild(2, "G");
    tree.Add(0, "H");
}

// The texts of the visible rows, in order, each after a blank.
std::string Rows(const TCustomWinTree& tree) {
    std::string rows;
    for (int r = 0; r < tree.RowCount(); ++r)
        rows += " " + tree.NodeAtRow(r)->Text();
    return rows;
}

using Texts = std::vector<std::string>;

void ExpectError(const std::function<void()>& action, const std::string& message) {
    try {
        action();
        ADD_FAILURE() << "no error, expected \"" << message << "\"";
    } catch (const EWinTreeError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

TEST(WinTree, AddInsertIndexesAndBadIndexes) {
    TCustomWinTree tree;
    BuildABGH(tree);
    ExpectError([&] { tree.Items(0); }, "Invalid outline index");
    ExpectError([&] { tree.Items(-1); }, "Invalid outline index");
    ExpectError([&] { tree.Items(5); }, "Outline index not found");
    ExpectError([&] { tree.Add(-1, "x"); }, "Invalid outline index");
    ExpectError([&] { tree.AddChild(9, "x"); }, "Outline index not found");
    ExpectError([&] { tree.Insert(-3, "x"); }, "Invalid outline index");
    ExpectError([&] { tree.Delete(0); }, "Invalid outline index");
    ExpectError([&] { tree.MoveTo(1, 0, oaAdd); }, "Invalid outline index");
    ExpectError([&] { tree.MoveTo(-1, 2, oaAdd); }, "Invalid outline index");
    ExpectError([&] { tree.MoveTo(7, 2, oaAdd); }, "Outline index not found");
    EXPECT_EQ(tree.Lines().Text(), "A\r\n\tB\r\n\t\tG\r\nH\r\n");  // the errors changed nothing
    // Insert before A: X becomes 1 and every later index moves on by one. Add makes a new
    // last sibling, after the whole subtree of its previous sibling.
    EXPECT_EQ(tree.Insert(1, "X"), 1);
    EXPECT_EQ(tree.Add(3, "C"), 5);     // sibling of B, after G
    EXPECT_EQ(tree.Insert(0, "Z"), 7);  // index 0: a last top-level item
    EXPECT_EQ(tree.AddChildObject(0, "W", &tree), 8);
    EXPECT_EQ(tree.Lines().Text(), "X\r\nA\r\n\tB\r\n\t\tG\r\n\tC\r\nH\r\nZ\r\nW\r\n");
    EXPECT_EQ(tree.Items(8)->Data(), &tree);
    EXPECT_EQ(tree.Root()->Index(), 0);
    // Nodes by index, and their paths.
    EXPECT_EQ(tree.Items(4)->FullPath() + " " + tree.Items(5)->FullPath() + " " +
                  tree.Items(7)->FullPath(),
              "A\\B\\G A\\C Z");
    tree.ItemSeparator = "/";
    EXPECT_EQ(tree.Items(4)->FullPath(), "A/B/G");
    // First, next, last and previous child; -1 where there is none.
    EXPECT_EQ((std::vector{tree.GetFirstChild(0), tree.GetNextChild(1), tree.GetLastChild(2),
                           tree.GetPrevChild(5), tree.GetPrevChild(3), tree.GetFirstChild(4)}),
              (std::vector{1, 2, 5, 3, -1, -1}));
}

// Nodes stop at the deepest level, whether added, read as text or moved.
TEST(WinTree, DepthLimit) {
    TCustomWinTree tree;
    std::string text;  // n1, n2 under it, and so on, each line one tab deeper
    for (int level = 1; level <= MaxOutlineLevel; ++level)
        text += std::string(level - 1u, '\t') + "n" + std::to_string(level) + "\r\n";
    tree.Lines().SetText(text);
    const int last = MaxOutlineLevel;
    EXPECT_EQ(tree.Items(last)->Level(), MaxOutlineLevel);
    EXPECT_EQ(tree.Lines().Text(), text);
    ExpectError([&] { tree.AddChild(last, "too deep"); }, "Maximum outline depth exceeded");
    ExpectError([&] { tree.Lines().SetText(text + std::string(MaxOutlineLevel, '\t') + "x"); },
                "Maximum outline depth exceeded");
    EXPECT_EQ(tree.ItemCount(), MaxOutlineLevel);  // the lines before the bad one
    // Beside the deepest node there is room.
    EXPECT_EQ(tree.Items(tree.Add(last, "sibling"))->Level(), MaxOutlineLevel);
    EXPECT_EQ(tree.Items(tree.Insert(last, "before"))->Level(), MaxOutlineLevel);

    // A move that would push the chain below the limit is refused whole.
    const int top = tree.Add(0, "other");
    const int under = tree.AddChild(top, "under");
    ExpectError([&] { tree.MoveTo(under, 2, oaAddChild); }, "Maximum outline depth exceeded");
    EXPECT_EQ(tree.Items(2)->Level(), 2);
    EXPECT_EQ(tree.Items(under)->ChildCount(), 0);
    TWinTreeNode* other = tree.Items(top);
    tree.MoveTo(under, 2, oaAdd);  // level 2 as before: allowed
    EXPECT_EQ(other->LastChild()->Text(), "n2");
    EXPECT_EQ(other->Index(), 2);
    EXPECT_EQ(tree.VerifyCounts(), "");
    tree.Clear();  // frees a deep chain
    EXPECT_EQ(tree.ItemCount(), 0);
}

TEST(WinTree, ExpandAndCollapseAndCallbacksThatChangeTheTree) {
    TCustomWinTree tree;
    BuildABGH(tree);
    Texts events;
    tree.OnExpand = [&](TCustomWinTree& t, int index) {
        events.push_back("+" + t.Items(index)->Text());
        EXPECT_FALSE(t.Items(index)->Expanded());  // fired before it is shown expanded
    };
    tree.OnCollapse = [&](TCustomWinTree& t, int index) {
        events.push_back("-" + t.Items(index)->Text());
    };
    ExpectError([&] { tree.Items(2)->Expand(); }, "Parent must be expanded");
    EXPECT_FALSE(tree.Items(2)->Expanded());
    tree.Items(1)->FullExpand();
    EXPECT_EQ(Rows(tree), " A B G H");
    EXPECT_FALSE(tree.Items(3)->Expanded());  // a leaf is not expanded by FullExpand
    EXPECT_EQ(tree.Items(1)->ExpandCount(), 2);
    tree.Collapse(1);
    EXPECT_EQ(Rows(tree), " A H");
    EXPECT_FALSE(tree.Items(2)->Expanded());
    // Expanding and collapsing what already is so fires nothing.
    tree.Collapse(1);
    tree.Expand(1);
    tree.Expand(1);
    EXPECT_EQ(events, (Texts{"+A", "+B", "-B", "-A", "+A"}));
    EXPECT_EQ(Rows(tree), " A B H");

    // The application view fills a node when it is first expanded.
    tree.OnExpand = [](TCustomWinTree& t, int index) {
        if (!t.Items(index)->HasItems())
            t.AddChild(index, "H1");
    };
    tree.Expand(4);
    EXPECT_EQ(Rows(tree), " A B H H1");

    // A handler that removes its node stops the operation cleanly; the removed node can
    // no longer take children or siblings.
    TCustomWinTree other;
    BuildABGH(other);
    Texts errors;
    other.OnExpand = [&errors](TCustomWinTree& t, int index) {
        TWinTreeNode* node = t.Items(index);
        t.Delete(index);
        for (auto add : {&TCustomWinTree::AddChildNode, &TCustomWinTree::InsertNode}) {
            try {
                (t.*add)(node, "late", nullptr);
            } catch (const EWinTreeError& e) {
                errors.emplace_back(e.what());
            }
        }
    };
    other.Expand(1);
    EXPECT_EQ(Rows(other), " H");
    EXPECT_EQ(errors, (Texts{"Outline index not found", "Outline index not found"}));
    EXPECT_EQ(other.VerifyCounts(), "");

    TCustomWinTree third;
    BuildABGH(third);
    third.FullExpand();
    third.OnCollapse = [](TCustomWinTree& t, int) { t.Clear(); };
    third.Collapse(1);  // the first report clears everything; the rest are skipped
    EXPECT_EQ(third.ItemCount(), 0);
    third.OnExpand = [](TCustomWinTree& t, int) { t.Clear(); };
    BuildABGH(third);
    third.FullExpand();
    EXPECT_EQ(third.ItemCount(), 0);
    EXPECT_EQ(third.VerifyCounts(), "");
}

TEST(WinTree, SelectionFollowsExpansionAndDeletion) {
    TCustomWinTree tree;
    EXPECT_EQ(tree.SelectedItem(), 0);
    ExpectError([&] { tree.SetSelectedItem(0); }, "Invalid selection");
    BuildABGH(tree);
    EXPECT_EQ(tree.SelectedItem(), 1);  // a tree with items always has a current node
    tree.FullExpand();
    tree.SetSelectedItem(3);
    EXPECT_EQ(tree.SelectedRow(), 2);
    tree.Collapse(1);
    EXPECT_EQ(tree.SelectedItem(), 1);  // G hidden: its visible ancestor A
    tree.Expand(1);
    EXPECT_EQ(tree.SelectedItem(), 2);  // B is visible now, G still hidden

    tree.SetSelectedItem(4);
    tree.SetSelectedItem(0);
    EXPECT_EQ(tree.SelectedItem(), 1);
    ExpectError([&] { tree.SetSelectedItem(-1); }, "Invalid selection");
    ExpectError([&] { tree.SetSelectedItem(5); }, "Outline index not found");
    tree.BeginUpdate();
    tree.SetSelectedItem(4);  // ignored while updating
    tree.EndUpdate();
    EXPECT_EQ(tree.SelectedItem(), 1);
    tree.Collapse(1);
    tree.SetSelectedItem(3);  // hidden: its nearest visible ancestor becomes selected
    tree.Expand(1);
    EXPECT_EQ(tree.SelectedItem(), 1);

    // Deleting the selected node selects its next sibling, else the previous one, else
    // its parent; a parent left without children collapses.
    tree.FullExpand();
    tree.SetSelectedItem(3);
    tree.Delete(3);  // G was B's only child
    EXPECT_FALSE(tree.Items(2)->Expanded() || tree.Items(2)->HasItems());
    EXPECT_EQ(tree.SelectedItem(), 2);
    tree.AddChild(1, "C");
    tree.AddChild(1, "D");
    tree.SetSelectedItem(3);  // C
    tree.Delete(3);
    EXPECT_EQ(tree.SelectedNode()->Text(), "D");
    tree.Delete(3);
    EXPECT_EQ(tree.SelectedNode()->Text(), "B");
    tree.Delete(1);  // selection inside the subtree
    EXPECT_EQ(tree.SelectedNode()->Text(), "H");
    tree.Delete(1);
    EXPECT_EQ(tree.SelectedNode(), nullptr);
    EXPECT_EQ(tree.RowCount(), 0);
}

TEST(WinTree, MoveToInThreeModes) {
    TCustomWinTree tree;
    BuildABGH(tree);  // A(B(G)), H
    tree.Add(0, "K");
    tree.FullExpand();
    tree.MoveTo(5, 2, oaAddChild);  // B with G under K
    EXPECT_EQ(tree.Lines().Text(), "A\r\nH\r\nK\r\n\tB\r\n\t\tG\r\n");
    EXPECT_FALSE(tree.Items(1)->Expanded());  // A lost its only child
    tree.MoveTo(1, 4, oaInsert);              // B before A
    EXPECT_EQ(tree.Lines().Text(), "B\r\n\tG\r\nA\r\nH\r\nK\r\n");
    EXPECT_EQ(tree.Items(2)->Level(), 2);
    tree.MoveTo(1, 3, oaAdd);  // A after B's siblings: last top-level item
    EXPECT_EQ(tree.Lines().Text(), "B\r\n\tG\r\nH\r\nK\r\nA\r\n");
    tree.MoveTo(0, 1, oaInsert);  // destination 0: the end of the top level
    EXPECT_EQ(tree.Lines().Text(), "H\r\nK\r\nA\r\nB\r\n\tG\r\n");
    // Into its own subtree, or onto itself: ignored.
    tree.MoveTo(5, 4, oaAddChild);
    tree.MoveTo(4, 4, oaInsert);
    tree.MoveTo(4, 4, oaAddChild);
    EXPECT_EQ(tree.Lines().Text(), "H\r\nK\r\nA\r\nB\r\n\tG\r\n");

    // An only child moved to the end of its own parent: the parent keeps its expansion.
    tree.FullExpand();
    tree.AddChild(5, "G1");
    tree.Items(5)->Expand();
    tree.MoveTo(4, 5, oaAddChild);
    EXPECT_TRUE(tree.Items(4)->Expanded() && tree.Items(5)->Expanded());
    EXPECT_EQ(tree.RowCount(), 6);

    // A node moved under a collapsed parent collapses, with its subtree, last first.
    tree.Lines().SetText("P\r\n\tP1\r\nS\r\n\tS1\r\n\t\tS2\r\n");
    tree.Items(3)->FullExpand();
    Texts collapsed;
    tree.OnCollapse = [&](TCustomWinTree& t, int i) { collapsed.push_back(t.Items(i)->Text()); };
    tree.MoveTo(2, 3, oaAdd);  // S, expanded, beside P1 under collapsed P
    EXPECT_EQ(collapsed, (Texts{"S1", "S"}));
    EXPECT_EQ(Rows(tree), " P");
    tree.Expand(1);
    EXPECT_EQ(Rows(tree), " P P1 S");
}

// Each key from where the previous one left the tree: what it answers, the node then
// selected and the rows shown.
TEST(WinTree, Keys) {
    TCustomWinTree tree;
    EXPECT_EQ(tree.HandleKey(TWinTreeKey::Home), TKeyResult::Ignored);  // empty tree
    BuildABGH(tree);
    tree.AddChild(4, "H1");
    using enum TWinTreeKey;
    const TKeyResult done = TKeyResult::Done, beep = TKeyResult::Beep;
    // Key, answer, selected node, rows.
    const std::tuple<TWinTreeKey, TKeyResult, std::string, std::string> steps[] = {
        {Right, beep, "A", " A H"},  // A collapsed
        {Left, beep, "A", " A H"},   // top level
        {CtrlUp, beep, "A", " A H"},
        {Plus, done, "A", " A B H"},
        {Right, done, "B", " A B H"},
        {CtrlDown, beep, "B", " A B H"},  // B is the last child
        {Enter, done, "B", " A B G H"},
        {Left, done, "A", " A B G H"},
        {CtrlDown, done, "H", " A B G H"},
        {End, done, "H", " A B G H"},  // H is collapsed: its child is not shown
        {Home, done, "A", " A B G H"},
        {Minus, done, "A", " A H"},
        {Star, done, "A", " A B G H"},
        {CtrlKeypadMultiply, done, "A", " A B G H H1"},
        {End, done, "H1", " A B G H H1"},
    };
    int step = 0;
    for (const auto& [key, result, selected, rows] : steps) {
        EXPECT_EQ(tree.HandleKey(key), result) << step;
        EXPECT_EQ(tree.SelectedNode()->Text() + ":" + Rows(tree), selected + ":" + rows) << step++;
    }
    tree.ToggleRow(0);
    EXPECT_EQ(Rows(tree), " A H H1");
    tree.SelectRow(99);  // clamped to the last row
    EXPECT_EQ(tree.SelectedNode()->Text(), "H1");
}

struct Recorder : TWinTreeObserver {
    Texts seen;
    void StructureChanged() override { seen.push_back("structure"); }
    void NodeChanged(TWinTreeNode* n) override { seen.push_back("node " + n->Text()); }
    void ExpansionChanged(TWinTreeNode* n) override { seen.push_back("expansion " + n->Text()); }
    void SelectionChanged(TWinTreeNode* n) override {
        seen.push_back("selection " + (n ? n->Text() : std::string("none")));
    }
    void TreeDestroyed(TCustomWinTree*) override { seen.push_back("destroyed"); }
};

TEST(WinTree, Notifications) {
    TCustomWinTree tree;
    Recorder recorder;
    tree.AddObserver(&recorder);
    // Loading ends an update of its own inside the caller's: nothing is sent until the
    // caller's EndUpdate, which sends one notice.
    tree.Lines().BeginUpdate();
    tree.Lines().SetText("A\r\n\tB\r\n\t\tG\r\nH\r\n");
    tree.Items(1)->SetText("A2");
    EXPECT_TRUE(recorder.seen.empty());
    tree.Lines().EndUpdate();
    EXPECT_EQ(recorder.seen, (Texts{"structure"}));

    recorder.seen.clear();
    tree.Items(1)->SetText("A");
    tree.Items(1)->SetText("A");  // no change, no notice
    tree.Expand(1);
    tree.SetSelectedItem(2);
    tree.Delete(2);
    EXPECT_EQ(recorder.seen,
              (Texts{"node A", "expansion A", "selection B", "structure", "selection A"}));
    tree.RemoveObserver(&recorder);
    recorder.seen.clear();
    tree.Clear();
    EXPECT_TRUE(recorder.seen.empty());

    // A view still attached hears of the model's end (it outlived the model).
    auto model = std::make_unique<TCustomWinTree>();
    model->AddObserver(&recorder);
    model.reset();
    EXPECT_EQ(recorder.seen, (Texts{"destroyed"}));
}

TEST(WinTree, IndentAndTreeLines) {
    // Tree styles pull the text back by half the room the item height leaves around the
    // font, and push it on a column when the root gets lines.
    EXPECT_EQ(StyleIndent(osTreePictureText, ooDrawTreeRoot, 3, 20, 14), 3 * 20 - 3 + 20);
    EXPECT_EQ(StyleIndent(osTreeText, 0, 3, 20, 14), 2 * 20 - 3);
    EXPECT_EQ(StyleIndent(osText, ooDrawTreeRoot, 3, 20, 14), 2 * 20);

    // B has no later sibling, A has H after it: a line passes in A's column only.
    TCustomWinTree tree;
    BuildABGH(tree);
    EXPECT_EQ(tree.TreeLineColumns(*tree.Items(3)), (std::vector<bool>{true, false}));
    EXPECT_TRUE(tree.TreeLineColumns(*tree.Items(4)).empty());
}

}  // namespace
}  // namespace views
