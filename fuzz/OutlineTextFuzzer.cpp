// Fuzz target for the outline text form: any bytes load into a consistent tree or stop
// with one of the loader's errors, keeping what was read; what is saved loads back to
// the same text. The same bytes then drive edits of the loaded tree, after which every
// count, row and index must still agree with a plain walk.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "views/CustomWinTree.h"

// Stops with the line of the broken invariant.
namespace {

using views::EWinTreeError;
using views::TCustomWinTree;

void CheckRows(const TCustomWinTree& tree) {
    const std::string counts = tree.VerifyCounts();
    if (!counts.empty())
        std::fprintf(stderr, "counts: %s\n", counts.c_str());
    Check(counts.empty());
    int row = 0;
    for (int i = 1; i <= tree.ItemCount(); ++i) {
        views::TWinTreeNode* n = tree.Items(i);
        Check(n->Index() == i);
        if (n->IsVisible()) {
            Check(n->Row() == row);
            Check(tree.NodeAtRow(row) == n);
            ++row;
        }
    }
    Check(row == tree.RowCount());
}

// Edits driven by the input: three bytes an operation.
void Edit(TCustomWinTree& tree, std::string_view script) {
    for (size_t i = 0; i + 3 <= script.size() && i < 3 * 200; i += 3) {
        const int count = tree.ItemCount();
        const auto op = static_cast<unsigned char>(script[i]);
        const int a = count ? 1 + static_cast<unsigned char>(script[i + 1]) % count : 0;
        const int b = count ? static_cast<unsigned char>(script[i + 2]) % (count + 1) : 0;
        try {
            if (op % 8 == 0)
                tree.AddChild(b, "c");
            else if (op % 8 == 1)
                tree.Insert(b, "i");
            else if (op % 8 == 7)
                tree.HandleKey(static_cast<views::TWinTreeKey>(op / 8 % 11));
            else if (count == 0)
                continue;
            else if (op % 8 == 2)
                tree.Delete(a);
            else if (op % 8 == 3)
                tree.MoveTo(b, a, static_cast<views::TAttachMode>(op / 8 % 3));
            else if (op % 8 == 4)
                tree.Items(a)->SetExpanded(op & 8);
            else if (op % 8 == 5)
                tree.Items(a)->FullExpand();
            else
                tree.SetSelectedItem(a);
        } catch (const EWinTreeError& e) {
            const std::string_view m = e.what();
            Check(m == "Parent must be expanded" || m == "Maximum outline depth exceeded");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    TCustomWinTree tree;
    try {
        tree.Lines().SetText(input);
    } catch (const EWinTreeError& e) {
        const std::string_view m = e.what();
        Check(m == "File load error" || m == "Line too long" ||
              m == "Maximum outline depth exceeded");
    }
    CheckRows(tree);

    // What was read, saved, reads back to the same text.
    const std::string saved = tree.Lines().Text();
    TCustomWinTree again;
    again.Lines().SetText(saved);
    Check(again.Lines().Text() == saved);
    Check(again.ItemCount() == tree.ItemCount());

    Edit(tree, input);
    CheckRows(tree);
    return 0;
}
