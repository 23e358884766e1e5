#pragma once
// TPBWinTree: the outline control of the application view's trees. It draws each row
// with the pictures of the catalogue object on its node (an application by its
// replication role, a library open, closed or invalid, an entry by its root class) and
// keeps the application tree in step with the catalogue (views::TPBTreeSync).

#include <QPixmap>

#include "ui/wintree.h"
#include "views/pbwntree.h"

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
    void RefreshNode(int index) { RefreshNode(Items(index)); }

    views::TPBTreeSync& Sync() { return sync_; }
    // Bitmaps the icon cache holds (one per root-class name drawn so far), and how many
    // times it loaded a bitmap resource.
    int CachedIcons() const { return icons_.Count(); }
    int IconLoads() const { return iconLoads_; }

  protected:
    bool PrepareRow(TRowPaint& row) override;

  private:
    views::TPBTreeSync sync_;
    int iconLoads_ = 0;
    views::TIconCache<QPixmap> icons_;
    QPixmap libraryOpen_;
    QPixmap libraryClosed_;
    QPixmap libraryInvalid_;
    QPixmap application_;
    QPixmap replicationSource_;
    QPixmap replicationDestination_;
};

}  // namespace ui
