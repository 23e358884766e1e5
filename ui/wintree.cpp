// The outline control's painting and input.

#include "ui/wintree.h"

#include "ui/AnsiText.h"

#include <QApplication>
#include <QDir>
#include <QFocusEvent>
#include <QFontInfo>
#include <QFontMetrics>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <memory>

using views::TCustomWinTree;
using views::TKeyResult;
using views::TWinTreeKey;
using views::TWinTreeNode;
using views::TWinTreePicture;
using views::TWinTreeStyle;

// The bitmaps live in the ui library; a static library's resources are registered
// explicitly before their first use. (At global scope: the macro declares a function.)
static void InitTreeBitmaps() {
    Q_INIT_RESOURCE(wintree);
}

namespace ui {

// ---- Bitmap resources ------------------------------------------------------------------

namespace {

// Resource path of every bitmap by its name in lower case (the file name without its
// extension), read once from the resource folder.
const QHash<QString, QString>& BitmapIndex() {
    static const QHash<QString, QString> index = [] {
        InitTreeBitmaps();
        QHash<QString, QString> out;
        const QDir dir(QStringLiteral(":/bitmaps"));
        for (const QString& file : dir.entryList(QDir::Files))
            out.insert(file.section(QLatin1Char('.'), 0, 0).toLower(), dir.filePath(file));
        return out;
    }();
    return index;
}

}  // namespace

bool HasBitmapResource(std::string_view name) {
    return BitmapIndex().contains(FromAnsi(name).toLower());
}

QPixmap LoadBitmapResource(std::string_view name) {
    const auto it = BitmapIndex().constFind(FromAnsi(name).toLower());
    if (it == BitmapIndex().constEnd())
        return {};
    return QPixmap(it.value());
}

// ---- The control ----------------------------------------------------------------------

TWinTree::TWinTree(QWidget* parent)
    : QAbstractScrollArea(parent),
      ownModel_(std::make_unique<TCustomWinTree>()),
      model_(ownModel_.get()) {
    static constexpr const char* PictureNames[5] = {"PLUS", "MINUS", "OPEN", "CLOSED", "LEAF"};
    for (size_t i = 0; i < pictures_.size(); ++i)
        pictures_[i] = LoadBitmapResource(PictureNames[i]);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(1);
    resize(121, 97);
    model_->AddObserver(this);
    UpdateScrollBars();
}

TWinTree::~TWinTree() {
    model_->RemoveObserver(this);
}

void TWinTree::SetModel(TCustomWinTree* model) {
    TCustomWinTree* next = model ? model : ownModel_.get();
    if (next == model_)
        return;
    model_->RemoveObserver(this);
    model_ = next;
    model_->AddObserver(this);
    maxExtent_ = 0;
    ModelChanged();
    Changed();
}

void TWinTree::ModelChanged() {}

void TWinTree::TreeDestroyed(TCustomWinTree* tree) {
    // A model that goes first leaves the widget showing its own (empty) one.
    if (tree == model_) {
        model_ = ownModel_.get();
        model_->AddObserver(this);
        ModelChanged();
        Changed();
    }
}

void TWinTree::SetWinTreeStyle(TWinTreeStyle style) {
    model_->WinTreeStyle = style;
    maxExtent_ = 0;
    Changed();
}

void TWinTree::SetTreeOptions(views::TWinTreeOptions options) {
    model_->TreeOptions = options;
    maxExtent_ = 0;
    Changed();
}

void TWinTree::SetStyle(views::TWinTreeType type) {
    model_->Style = type;
    Changed();
}

int TWinTree::FontHeight() const {
    return QFontInfo(font()).pixelSize();
}

int TWinTree::ItemHeight() const {
    if (model_->Style == views::otOwnerDraw)
        return std::max(1, ownerDrawItemHeight_);
    return std::max(1, (FontHeight() * 120 + 50) / 100);
}

void TWinTree::SetItemHeight(int height) {
    ownerDrawItemHeight_ = std::max(1, height);
    Changed();
}

const QPixmap& TWinTree::Picture(TWinTreePicture which) const {
    return pictures_.at(static_cast<size_t>(which));
}

void TWinTree::SetPicture(TWinTreePicture which, const QPixmap& picture) {
    pictures_.at(static_cast<size_t>(which)) = picture.copy();
    viewport()->update();
}

// ---- Geometry ---------------------------------------------------------------------------

int TWinTree::PageRows() const {
    return std::max(1, viewport()->height() / ItemHeight());
}

QRect TWinTree::RowRect(int row) const {
    const int h = ItemHeight();
    return QRect(0, (row - model_->TopRow()) * h, viewport()->width(), h);
}

int TWinTree::RowAt(int y) const {
    if (y < 0)
        return -1;
    const int row = model_->TopRow() + y / ItemHeight();
    return row < model_->RowCount() ? row : -1;
}

int TWinTree::LevelColumn(int level) const {
    const int h = ItemHeight();
    return (level - 1) * h - ((model_->TreeOptions & views::ooDrawTreeRoot) ? 0 : h);
}

QRect TWinTree::PlusMinusRect(int row) const {
    const TWinTreeNode* node = model_->NodeAtRow(row);
    if (!node || model_->Style == views::otOwnerDraw ||
        !views::StyleShowsPlusMinus(model_->WinTreeStyle))
        return {};
    const int h = ItemHeight();
    const QRect r = RowRect(row);
    return QRect((node->Level() - 1) * h - horizontalScrollBar()->value(), r.top(), h, h);
}

// ---- Painting ---------------------------------------------------------------------------

void TWinTree::PrepareRow(TRowPaint& row) const {
    row.style = model_->WinTreeStyle;
    row.open = &pictures_[views::wpOpen];
    row.closed = &pictures_[views::wpClosed];
    row.leaf = &pictures_[views::wpLeaf];
}

int TWinTree::PaintRows(QPainter& painter, int firstRow, int count) {
    const int h = ItemHeight();
    int widest = 0;
    painter.setFont(font());
    for (int i = 0; i < count; ++i) {
        TRowPaint paint;
        paint.node = model_->NodeAtRow(firstRow + i);
        if (!paint.node)
            break;
        PrepareRow(paint);
        widest = std::max(widest, PaintRow(painter, paint, QRect(0, i * h, 0, h), false));
    }
    return widest;
}

void TWinTree::paintEvent(QPaintEvent* event) {
    // While the tree is updating, a synchronisation may be half-way through a list of
    // children: no row is drawn until the last EndUpdate repaints. A paint only reads
    // the model: nothing it calls changes a node.
    if (model_->Updating())
        return;
    QPainter painter(viewport());
    const int h = ItemHeight();
    const QRect area = event->rect();
    const int top = model_->TopRow();
    const bool focused = hasFocus();
    const TWinTreeNode* selected = model_->SelectedNode();
    const int firstRow = top + std::max(0, area.top() / h);
    const int lastRow = top + area.bottom() / h;
    const int xOffset = horizontalScrollBar()->value();
    int widest = maxExtent_;

    for (int row = firstRow; row <= lastRow && row < model_->RowCount(); ++row) {
        TRowPaint paint;
        paint.node = model_->NodeAtRow(row);
        if (!paint.node)
            break;
        PrepareRow(paint);
        const QRect rect = RowRect(row);
        const bool isSelected = paint.node == selected;
        if (model_->Style == views::otOwnerDraw) {
            painter.save();
            if (OnDrawItem) {
                const unsigned state = isSelected ? (odSelected | (focused ? odFocused : 0u)) : 0u;
                OnDrawItem(*this, painter, paint.node->Index(), rect, state);
            }
            painter.restore();
            if (isSelected && focused && (model_->TreeOptions & views::ooDrawFocusRect)) {
                painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
            }
        } else {
            widest = std::max(widest,
                              PaintRow(painter, paint, rect.translated(-xOffset, 0), isSelected));
        }
    }
    if (widest > maxExtent_) {
        maxExtent_ = widest;
        UpdateScrollBars();
    }
}

void TWinTree::PaintPicture(QPainter& painter, const QPixmap* picture, int x,
                            const QRect& rect) const {
    if (!picture || picture->isNull())
        return;
    const int h = rect.height();
    if (model_->TreeOptions & views::ooStretchBitmaps) {
        painter.drawPixmap(QRect(x, rect.top(), h, h), *picture);
        return;
    }
    const int px = x + (h - picture->width()) / 2;
    const int py = rect.top() + (h - picture->height()) / 2;
    painter.save();
    painter.setClipRect(QRect(x, rect.top(), h, h), Qt::IntersectClip);
    painter.drawPixmap(px, py, *picture);
    painter.restore();
}

void TWinTree::PaintTreeLines(QPainter& painter, const TWinTreeNode& node, const QRect& rect,
                              int h) const {
    const bool root = (model_->TreeOptions & views::ooDrawTreeRoot) != 0;
    const int level = node.Level();
    const int top = rect.top();
    const int mid = top + h / 2;
    const int bottom = top + h - 1;
    auto centre = [&](int lvl) { return rect.left() + LevelColumn(lvl) + h / 2; };
    painter.setPen(QPen(Qt::black, 1));
    const std::vector<bool> columns = model_->TreeLineColumns(node);
    for (int lvl = 1; lvl < level; ++lvl)
        if (columns[static_cast<size_t>(lvl - 1)] && (lvl > 1 || root))
            painter.drawLine(centre(lvl), top, centre(lvl), bottom);
    if (level > 1 || root) {
        const int x = centre(level);
        painter.drawLine(x, top, x, node.IsLastChild() ? mid : bottom);
        painter.drawLine(x, mid, rect.left() + LevelColumn(level + 1) - 1, mid);
    }
}

int TWinTree::PaintRow(QPainter& painter, const TRowPaint& row, const QRect& rect, bool selected) {
    const TWinTreeNode& node = *row.node;
    const int h = rect.height();
    const int level = node.Level();
    const QPalette& pal = palette();
    const QRect full(0, rect.top(), viewport()->width(), h);
    painter.fillRect(full, selected ? pal.color(QPalette::Highlight) : pal.color(QPalette::Base));

    const QPixmap* folder = !node.HasItems() ? row.leaf : (node.Expanded() ? row.open : row.closed);
    const QPixmap* plusMinus = !node.HasItems()
                                   ? &pictures_[views::wpLeaf]
                                   : &pictures_[node.Expanded() ? views::wpMinus : views::wpPlus];
    int pictureRight = 0;
    switch (row.style) {
        case views::osText:
            break;
        case views::osPlusMinusText:
            PaintPicture(painter, plusMinus, rect.left() + (level - 1) * h, rect);
            pictureRight = level * h;
            break;
        case views::osPictureText:
            PaintPicture(painter, folder, rect.left() + (level - 1) * h, rect);
            pictureRight = level * h;
            break;
        case views::osPlusMinusPictureText:
            if (node.HasItems())
                PaintPicture(painter, plusMinus, rect.left() + (level - 1) * h, rect);
            PaintPicture(painter, folder, rect.left() + level * h, rect);
            pictureRight = (level + 1) * h;
            break;
        case views::osTreeText:
            PaintTreeLines(painter, node, rect, h);
            break;
        case views::osTreePictureText:
            PaintTreeLines(painter, node, rect, h);
            PaintPicture(painter, folder, rect.left() + LevelColumn(level + 1), rect);
            pictureRight = LevelColumn(level + 2);
            break;
    }

    const int indent = views::StyleIndent(row.style, model_->TreeOptions, level, h, FontHeight());
    const int textX = rect.left() + std::max(indent, pictureRight) + 2;
    const QString text = FromAnsi(node.Text());
    const int textWidth = fontMetrics().horizontalAdvance(text);
    painter.setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
    painter.setFont(font());
    painter.drawText(QRect(textX, rect.top(), textWidth + 2, h), Qt::AlignLeft | Qt::AlignVCenter,
                     text);
    if (selected && hasFocus() && (model_->TreeOptions & views::ooDrawFocusRect)) {
        painter.setPen(QPen(pal.color(QPalette::HighlightedText), 1, Qt::DotLine));
        painter.drawRect(QRect(textX - 2, rect.top(), textWidth + 4, h).adjusted(0, 0, -1, -1));
    }
    return textX - rect.left() + textWidth + 2;
}

// ---- Scrolling ----------------------------------------------------------------------------

void TWinTree::UpdateScrollBars() {
    syncingScroll_ = true;
    const int page = PageRows();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(0, model_->RowCount() - page));
    v->setPageStep(page);
    model_->SetTopRow(std::min(model_->TopRow(), v->maximum()));
    v->setValue(model_->TopRow());
    QScrollBar* hs = horizontalScrollBar();
    hs->setRange(0, std::max(0, maxExtent_ - viewport()->width()));
    hs->setPageStep(std::max(1, viewport()->width()));
    hs->setSingleStep(std::max(1, ItemHeight()));
    syncingScroll_ = false;
}

void TWinTree::scrollContentsBy(int /*dx*/, int /*dy*/) {
    if (!syncingScroll_)
        model_->SetTopRow(verticalScrollBar()->value());
    viewport()->update();
}

void TWinTree::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TWinTree::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        maxExtent_ = 0;
        Changed();
    }
}

void TWinTree::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TWinTree::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

void TWinTree::Changed() {
    if (model_->Updating())
        return;
    UpdateScrollBars();
    viewport()->update();
}

void TWinTree::StructureChanged() {
    if (model_->RowCount() == 0)
        maxExtent_ = 0;
    Changed();
}

void TWinTree::NodeChanged(TWinTreeNode* /*node*/) {
    viewport()->update();
}

void TWinTree::ExpansionChanged(TWinTreeNode* /*node*/) {
    Changed();
}

void TWinTree::SelectionChanged(TWinTreeNode* node) {
    if (node && !model_->Updating()) {
        const int before = model_->TopRow();
        model_->ScrollIntoView(model_->RowOf(node), PageRows());
        if (model_->TopRow() != before)
            UpdateScrollBars();
    }
    viewport()->update();
}

// ---- Input ---------------------------------------------------------------------------------

void TWinTree::Beep() {
    ++beeps_;
    QApplication::beep();
}

void TWinTree::AfterInput(TWinTreeNode* before) {
    if (model_->SelectedNode() != before)
        emit Click();
}

void TWinTree::SelectByInput(int row) {
    TWinTreeNode* before = model_->SelectedNode();
    model_->SelectRow(row);
    AfterInput(before);
}

void TWinTree::keyPressEvent(QKeyEvent* event) {
    if (model_->RowCount() == 0) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool ctrl = mods & Qt::ControlModifier;
    const int row = model_->SelectedRow();
    TWinTreeNode* before = model_->SelectedNode();
    auto treeKey = [&](TWinTreeKey key) {
        if (model_->HandleKey(key) == TKeyResult::Beep)
            Beep();
        AfterInput(before);
    };
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            treeKey(TWinTreeKey::Enter);
            return;
        case Qt::Key_Right:
            treeKey(TWinTreeKey::Right);
            return;
        case Qt::Key_Left:
            treeKey(TWinTreeKey::Left);
            return;
        case Qt::Key_Home:
            treeKey(TWinTreeKey::Home);
            return;
        case Qt::Key_End:
            treeKey(TWinTreeKey::End);
            return;
        case Qt::Key_Down:
            if (ctrl)
                treeKey(TWinTreeKey::CtrlDown);
            else
                SelectByInput(row + 1);
            return;
        case Qt::Key_Up:
            if (ctrl)
                treeKey(TWinTreeKey::CtrlUp);
            else
                SelectByInput(std::max(0, row - 1));
            return;
        case Qt::Key_PageDown:
            SelectByInput(row + PageRows());
            return;
        case Qt::Key_PageUp:
            SelectByInput(std::max(0, row - PageRows()));
            return;
        case Qt::Key_Asterisk:
            if (ctrl && (mods & Qt::KeypadModifier)) {
                treeKey(TWinTreeKey::CtrlKeypadMultiply);
                return;
            }
            break;
        default:
            break;
    }
    const QString text = event->text();
    if (text == QLatin1String("+"))
        treeKey(TWinTreeKey::Plus);
    else if (text == QLatin1String("-"))
        treeKey(TWinTreeKey::Minus);
    else if (text == QLatin1String("*"))
        treeKey(TWinTreeKey::Star);
    else
        QAbstractScrollArea::keyPressEvent(event);
}

void TWinTree::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton || model_->RowCount() == 0)
        return;
    const int row = RowAt(event->position().toPoint().y());
    if (row < 0)
        return;
    if (PlusMinusRect(row).contains(event->position().toPoint())) {
        TWinTreeNode* node = model_->NodeAtRow(row);
        if (node && node->HasItems()) {
            model_->ToggleRow(row);
            return;
        }
    }
    // The release says Click, once per click.
    model_->SelectRow(row);
}

void TWinTree::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && RowAt(event->position().toPoint().y()) >= 0)
        emit Click();
    event->accept();
}

void TWinTree::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || model_->RowCount() == 0)
        return;
    // The second press of a double click: it selects the row as a press does, then the
    // node's expansion toggles (a double click on the plus/minus box toggles it once
    // more, as a second click would).
    const int row = RowAt(event->position().toPoint().y());
    if (row < 0)
        return;
    if (!PlusMinusRect(row).contains(event->position().toPoint()))
        model_->SelectRow(row);
    model_->ToggleRow(row);
}

}  // namespace ui
