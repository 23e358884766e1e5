#pragma once
// TPBWinTree: the outline control of the application view's trees. It keeps the
// application tree in step with the catalogue (views::TPBTreeSync), which also settles
// the bitmaps each node shows (an application by its replication role, a library open,
// closed or invalid, an entry by its root class); a row is drawn with the bitmaps its
// node names, loaded once per name, without reaching the catalogue.

#include <QPixmap>

#include <memory>

#include "ui/wintree.h"
#include "views/PBTreeSync.h"

namespace ui {

class TPBWinTree : public TWinTree {
    Q_OBJECT

  public:
    explicit TPBWinTree(QWidget* parent = nullptr);
    ~TPBWinTree() override;

    // Brings the whole tree in line with the catalogue, with screen updates locked.
    void RefreshTree();
    // Brings the children of an application or library node in line with the catalogue.
    void RefreshNode(views::TWinTreeNode* node);
    void RefreshNode(int index) { RefreshNode(Model().Items(index)); }

    views::TPBTreeSync& Sync() { return sync_; }
    // Bitmaps the icon cache holds (one per root-class name drawn so far), and how many
    // times it loaded a bitmap resource.
    int CachedIcons() const { return icons_.Count(); }
    int IconLoads() const { return iconLoads_; }

  protected:
    void PrepareRow(TRowPaint& row) const override;
    void ModelChanged() override;

  private:
    views::TPBTreeSync sync_;
    mutable int iconLoads_ = 0;
    // Bitmaps by name, loaded on first use; the cache is the widget's own drawing state.
    mutable views::TIconCache<QPixmap> icons_;
};

}  // namespace ui
