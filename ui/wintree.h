#pragma once
// TWinTree: the program's outline control. It shows a node model (views::TCustomWinTree)
// by reference: the model holds the nodes, their operations, keys and text form, and
// may feed other views too (a print renderer) and outlive the widget. The widget paints
// the visible rows in one of the six styles, keeps the scroll bars in step with the rows
// and the widest row painted, and turns keys and mouse input into the model's
// operations. Until another model is set it shows one of its own.
//
// Painting only reads the model: what a row shows is settled before it is drawn (for
// the application view's trees, when the tree synchronises with the catalogue).
//
// Painting a screen looks up its first row and steps to the next visible node for each
// further row: the cost does not grow with the size of the tree.
//
// Row layout (h = item height): each level of the tree owns a column h wide. Plus/minus
// styles put the plus or minus box in the node's own column; picture styles put the
// open, closed or leaf picture there (after the box in osPlusMinusPictureText); tree
// styles draw the tree lines through the level columns, the top-level column only with
// ooDrawTreeRoot, and osTreePictureText puts the picture in the column after the node's
// own. The text follows at the indent of views::StyleIndent.

#include <QAbstractScrollArea>
#include <QPixmap>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <string_view>

#include "views/CustomWinTree.h"

class QPainter;

namespace ui {

// A bitmap of the program's resources by name, without regard to case; a null pixmap
// when there is none.
QPixmap LoadBitmapResource(std::string_view name);
// Whether the program's resources hold a bitmap of that name (any case).
bool HasBitmapResource(std::string_view name);

// The state handed to OnDrawItem (bits).
enum TOwnerDrawState : unsigned {
    odSelected = 1u << 0,
    odFocused = 1u << 1,
};

class TWinTree : public QAbstractScrollArea, protected views::TWinTreeObserver {
    Q_OBJECT

  public:
    using TDrawItemEvent = std::function<void(TWinTree& control, QPainter& painter, int index,
                                              const QRect& rect, unsigned state)>;

    explicit TWinTree(QWidget* parent = nullptr);
    ~TWinTree() override;

    // The model shown; the widget's own until SetModel gives another. A model set here
    // is not owned and must outlive the widget or be replaced first (null: the widget's
    // own again).
    views::TCustomWinTree& Model() const { return *model_; }
    void SetModel(views::TCustomWinTree* model);

    // ---- Appearance (each repaints) --------------------------------------------------
    views::TWinTreeStyle GetWinTreeStyle() const { return model_->WinTreeStyle; }
    void SetWinTreeStyle(views::TWinTreeStyle style);
    views::TWinTreeOptions GetTreeOptions() const { return model_->TreeOptions; }
    void SetTreeOptions(views::TWinTreeOptions options);
    views::TWinTreeType GetStyle() const { return model_->Style; }
    void SetStyle(views::TWinTreeType type);
    // The row height: 120 % of the font's pixel height, or in owner-draw style the
    // height set here.
    int ItemHeight() const;
    void SetItemHeight(int height);
    // The font's height in pixels (its point size at the screen's resolution).
    int FontHeight() const;
    // Called for each row in owner-draw style.
    TDrawItemEvent OnDrawItem;

    // The five pictures; loaded from the bitmaps PLUS, MINUS, OPEN, CLOSED and LEAF at
    // creation. Setting one copies the given bitmap; a null pixmap removes the picture.
    const QPixmap& Picture(views::TWinTreePicture which) const;
    void SetPicture(views::TWinTreePicture which, const QPixmap& picture);

    // ---- Rows on the screen ----------------------------------------------------------
    // Rows that fit the viewport completely (at least 1).
    int PageRows() const;
    // The viewport rectangle of a row (in viewport coordinates, scrolled).
    QRect RowRect(int row) const;
    // The row at a viewport y, -1 below the last row.
    int RowAt(int y) const;
    // The plus/minus box of a row in viewport coordinates (empty when the style has none
    // or the row has no node).
    QRect PlusMinusRect(int row) const;
    // The widest row painted so far: the horizontal scroll range is this less the
    // viewport's width.
    int MaxExtent() const { return maxExtent_; }
    // Times the control beeped (a key that could not move the selection).
    int BeepCount() const { return beeps_; }

    // Paints count rows of the tree as currently expanded, from firstRow, one below the
    // other from y 0, unscrolled and without the selection (printing, pictures of the
    // tree). Gives the right end of the widest row painted.
    int PaintRows(QPainter& painter, int firstRow, int count);

  signals:
    // The user moved the selection (keyboard or mouse) or clicked a row.
    void Click();

  protected:
    // What one row shows; PrepareRow chooses the pictures and the style from the node.
    struct TRowPaint {
        views::TWinTreeNode* node = nullptr;
        views::TWinTreeStyle style = views::osTreePictureText;
        const QPixmap* open = nullptr;
        const QPixmap* closed = nullptr;
        const QPixmap* leaf = nullptr;
    };
    // Called for each row before it is drawn; it reads the node and changes nothing.
    virtual void PrepareRow(TRowPaint& row) const;
    // Called when SetModel changed the model shown.
    virtual void ModelChanged();

    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    // TWinTreeObserver
    void StructureChanged() override;
    void NodeChanged(views::TWinTreeNode* node) override;
    void ExpansionChanged(views::TWinTreeNode* node) override;
    void SelectionChanged(views::TWinTreeNode* node) override;
    void TreeDestroyed(views::TCustomWinTree* tree) override;

  private:
    // Paints a standard row; gives its extent (the right end of its text, unscrolled).
    int PaintRow(QPainter& painter, const TRowPaint& row, const QRect& rect, bool selected);
    void PaintTreeLines(QPainter& painter, const views::TWinTreeNode& node, const QRect& rect,
                        int h) const;
    void PaintPicture(QPainter& painter, const QPixmap* picture, int x, const QRect& rect) const;
    void UpdateScrollBars();
    void Changed();
    // Selects a row in answer to input: keeps it in view, says Click when it moved.
    void SelectByInput(int row);
    void AfterInput(views::TWinTreeNode* before);
    void Beep();
    // Left edge of the column of a level in a tree style, before scrolling.
    int LevelColumn(int level) const;

    std::unique_ptr<views::TCustomWinTree> ownModel_;
    views::TCustomWinTree* model_;
    std::array<QPixmap, 5> pictures_;
    int ownerDrawItemHeight_ = 16;
    int maxExtent_ = 0;
    int beeps_ = 0;
    bool syncingScroll_ = false;
};

}  // namespace ui
