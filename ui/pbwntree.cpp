// The application view's tree: row pictures from the catalogue, and refreshes.

#include "ui/pbwntree.h"

#include <memory>

namespace ui {

using views::TRowPictureKind;

TPBWinTree::TPBWinTree(QWidget* parent)
    : TWinTree(parent),
      sync_(*this),
      icons_("nonvisualobject",
             [this](std::string_view name) -> std::unique_ptr<QPixmap> {
                 QPixmap bitmap = LoadBitmapResource(name);
                 if (bitmap.isNull())
                     return nullptr;
                 ++iconLoads_;
                 return std::make_unique<QPixmap>(std::move(bitmap));
             }),
      libraryOpen_(LoadBitmapResource("LIBRARYOPEN")),
      libraryClosed_(LoadBitmapResource("LIBraryclosed")),
      libraryInvalid_(LoadBitmapResource("LIBraryRed")),
      application_(LoadBitmapResource("application")),
      replicationSource_(LoadBitmapResource("ApplicationReplicationSource")),
      replicationDestination_(LoadBitmapResource("ApplicationReplicationDestination")) {}

TPBWinTree::~TPBWinTree() = default;

void TPBWinTree::RefreshTree() {
    const bool wasEnabled = updatesEnabled();
    setUpdatesEnabled(false);
    sync_.RefreshTree();
    setUpdatesEnabled(wasEnabled);
}

void TPBWinTree::RefreshNode(views::TWinTreeNode* node) {
    sync_.RefreshNode(node);
}

bool TPBWinTree::PrepareRow(TRowPaint& row) {
    bool removed = false;
    const views::TRowPictures pictures = sync_.RowPictures(row.node, removed);
    if (removed)
        return false;
    auto all = [&row](const QPixmap* picture) { row.open = row.closed = row.leaf = picture; };
    switch (pictures.kind) {
        case TRowPictureKind::None:
            all(nullptr);
            break;
        case TRowPictureKind::Application:
            all(&application_);
            break;
        case TRowPictureKind::AppReplicationSource:
            all(&replicationSource_);
            break;
        case TRowPictureKind::AppReplicationDestination:
            all(&replicationDestination_);
            break;
        case TRowPictureKind::Library:
            row.open = &libraryOpen_;
            row.closed = row.leaf = &libraryClosed_;
            break;
        case TRowPictureKind::LibraryInvalid:
            all(&libraryInvalid_);
            break;
        case TRowPictureKind::Entry:
            all(icons_.Get(pictures.rootClass));
            break;
    }
    row.style =
        pictures.kind == TRowPictureKind::None ? views::osTreeText : views::osTreePictureText;
    return true;
}

}  // namespace ui
