// The application view's tree: rows drawn with the bitmaps their nodes name, and
// refreshes.

#include "ui/pbwntree.h"

#include <memory>

namespace ui {

TPBWinTree::TPBWinTree(QWidget* parent)
    : TWinTree(parent),
      sync_(Model()),
      icons_(views::FallbackImageName, [this](std::string_view name) -> std::unique_ptr<QPixmap> {
          QPixmap bitmap = LoadBitmapResource(name);
          if (bitmap.isNull())
              return nullptr;
          ++iconLoads_;
          return std::make_unique<QPixmap>(std::move(bitmap));
      }) {}

TPBWinTree::~TPBWinTree() = default;

void TPBWinTree::ModelChanged() {
    sync_.SetTree(Model());
}

void TPBWinTree::RefreshTree() {
    // Screen updates come back however the synchronisation ends.
    struct Locked {
        QWidget& widget;
        const bool wasEnabled = widget.updatesEnabled();
        ~Locked() { widget.setUpdatesEnabled(wasEnabled); }
    } locked{*this};
    setUpdatesEnabled(false);
    sync_.RefreshTree();
}

void TPBWinTree::RefreshNode(views::TWinTreeNode* node) {
    sync_.RefreshNode(node);
}

void TPBWinTree::PrepareRow(TRowPaint& row) const {
    const views::TWinTreeNode& node = *row.node;
    if (node.ImageName().empty()) {
        row.open = row.closed = row.leaf = nullptr;
        row.style = views::osTreeText;
        return;
    }
    row.closed = row.leaf = icons_.Get(node.ImageName());
    row.open = node.OpenImageName().empty() ? row.closed : icons_.Get(node.OpenImageName());
    row.style = views::osTreePictureText;
}

}  // namespace ui
