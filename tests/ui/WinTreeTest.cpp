// The outline control on Qt's offscreen platform: keys, mouse, scrolling and painting in
// every style (screenshots under the build folder), and the application tree drawn from
// the sample workspace's catalogue.

#include <gmock/gmock.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <tuple>

#include "platform/CodePage.h"
#include "tests/catalogue/CatalogueTestSupport.h"
#include "ui/AnsiText.h"
#include "ui/pbwntree.h"
#include "ui/wintree.h"

namespace {

using testing::ElementsAre;
using ui::TWinTree;
using views::TWinTreeNode;

// Saves a screenshot under the build folder, and a copy three times as large to look at
// the pixels.
bool SaveShot(const QImage& image, const QString& name) {
    const QString path = QStringLiteral(SORVANTI_SCREENSHOT_DIR "/") + name;
    return QDir().mkpath(QStringLiteral(SORVANTI_SCREENSHOT_DIR)) && image.save(path + ".png") &&
           image.scaled(image.size() * 3).save(path + "-x3.png");
}

// ---- Resources and texts ------------------------------------------------------------------

TEST(WinTreeResourceTest, EveryBitmapIsThereUnderAnyCase) {
    const QStringList names =
        QStringLiteral(
            "PLUS MINUS OPEN CLOSED LEAF LIBRARYOPEN LIBraryclosed LIBraryRed application "
            "ApplicationReplicationSource ApplicationReplicationDestination APPLICATION CHECKBOX "
            "COMMANDBUTTON DATAWINDOW DROPDOWNLISTBOX DROPDOWNPICTURELISTBOX EDITMASK "
            "FUNCTION_OBJECT GRAPH GROUPBOX HSCROLLBAR LINE LISTBOX LISTVIEW MENU MULTILINEEDIT "
            "NONVISUALOBJECT OLECONTROL OVAL PICTURE PICTUREBUTTON PICTURELISTBOX PIPELINE PROJECT "
            "PROXY_OBJECT QUERY RADIOBUTTON RECTANGLE RICHTEXTEDIT ROUNDRECTANGLE SINGLELINEEDIT "
            "STATICTEXT STRUCTURE TAB TREEVIEW USEROBJECT VSCROLLBAR WINDOW Window System")
            .split(QLatin1Char(' '));
    for (const QString& name : names)
        EXPECT_EQ(ui::LoadBitmapResource(ui::ToAnsi(name)).size(), QSize(16, 16))
            << name.toStdString();
    EXPECT_TRUE(ui::LoadBitmapResource("no_such_class").isNull());
}

TEST(WinTreeResourceTest, TextsCrossTheBoundaryAsWindows1252) {
    // Whatever the host's locale would choose.
    const int before = platform::AnsiCodePage();
    ASSERT_TRUE(platform::SetAnsiCodePage(1252));
    struct Restore {
        int codePage;
        ~Restore() { platform::SetAnsiCodePage(codePage); }
    } restore{before};
    std::string all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = ui::FromAnsi(all);
    EXPECT_EQ(text.at(0x80 - 1), QChar(0x20AC));  // the euro sign
    EXPECT_EQ(text.at(0xE9 - 1), QChar(0xE9));
    EXPECT_EQ(ui::ToAnsi(text), all);
    EXPECT_EQ(ui::ToAnsi(QString::fromUtf8("\xe2\x98\x83")), "?");
}

// ---- The control ---------------------------------------------------------------------------

class WinTreeTest : public testing::Test {
  protected:
    void SetUp() override {
        tree.resize(220, 120);
        tree.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
        // A (1), B (2) under A, G (3) under B, H (4).
        tree.Model().Lines().SetText("A\r\n\tB\r\n\t\tG\r\nH\r\n");
        tree.Model().SetSelectedItem(1);
    }
    void Show() {
        tree.show();
        QApplication::setActiveWindow(&tree);
        tree.setFocus();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&tree));
    }
    void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
        QKeyEvent press(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(&tree, &press);
    }
    std::string Selected() {
        return tree.Model().SelectedNode() ? tree.Model().SelectedNode()->Text() : "";
    }
    QPoint RowPoint(int row, int x = 60) { return QPoint(x, tree.RowRect(row).center().y()); }

    TWinTree tree;
};

// Each key the control knows reaches the model as the model's own key (whose handling
// the model's tests check), and the control beeps where the model says so.
TEST_F(WinTreeTest, KeysReachTheModel) {
    using enum views::TWinTreeKey;
    // The key pressed with its modifiers and text; the model's key.
    const std::tuple<int, Qt::KeyboardModifiers, const char*, views::TWinTreeKey> keys[] = {
        {Qt::Key_Plus, {}, "+", Plus},
        {Qt::Key_Right, {}, "", Right},
        {Qt::Key_Return, {}, "", Enter},
        {Qt::Key_End, {}, "", End},
        {Qt::Key_Left, {}, "", Left},  // H is at the top level: a beep
        {Qt::Key_Home, {}, "", Home},
        {Qt::Key_Down, Qt::ControlModifier, "", CtrlDown},
        {Qt::Key_Up, Qt::ControlModifier, "", CtrlUp},
        {Qt::Key_Minus, {}, "-", Minus},
        {Qt::Key_Asterisk, {}, "*", Star},
        {Qt::Key_Minus, {}, "-", Minus},
        {Qt::Key_End, {}, "", End},
        {Qt::Key_Asterisk, Qt::ControlModifier | Qt::KeypadModifier, "", CtrlKeypadMultiply},
    };
    views::TCustomWinTree twin;
    twin.Lines().SetText(tree.Model().Lines().Text());
    int beeps = 0;
    for (const auto& [key, mods, text, modelKey] : keys) {
        Key(key, mods, QString::fromLatin1(text));
        beeps += twin.HandleKey(modelKey) == views::TKeyResult::Beep;
        EXPECT_TRUE(tree.Model().SelectedItem() == twin.SelectedItem() &&
                    tree.Model().RowCount() == twin.RowCount())
            << key;
    }
    EXPECT_TRUE(tree.BeepCount() == beeps && beeps > 0) << beeps;
    tree.Model().Clear();  // keys on an empty tree do nothing
    Key(Qt::Key_Return);
    Key(Qt::Key_Plus, Qt::NoModifier, QStringLiteral("+"));
    EXPECT_EQ(tree.Model().RowCount(), 0);
}

TEST_F(WinTreeTest, MouseSelectsTogglesAndSaysClickOncePerClick) {
    tree.SetWinTreeStyle(views::osPlusMinusText);
    QSignalSpy clicks(&tree, &TWinTree::Click);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, RowPoint(1));
    EXPECT_EQ(Selected(), "H");
    EXPECT_EQ(clicks.count(), 1);
    // The plus box of A expands it without selecting it.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.PlusMinusRect(0).center());
    EXPECT_TRUE(tree.Model().Items(1)->Expanded());
    EXPECT_EQ(Selected(), "H");
    // A double click on B toggles it.
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, RowPoint(1));
    EXPECT_EQ(Selected(), "B");
    EXPECT_TRUE(tree.Model().Items(2)->Expanded());
    EXPECT_EQ(tree.Model().RowCount(), 4);
    // Below the last row nothing happens.
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {},
                      QPoint(10, tree.viewport()->height() - 1));
    EXPECT_EQ(Selected(), "B");
}

TEST_F(WinTreeTest, ScrollingFollowsTheSelectionTheWheelAndTheWidestRow) {
    tree.Model().Clear();
    for (int i = 0; i < 50; ++i)
        tree.Model().Add(0, "item " + std::to_string(i));
    tree.Model().SetSelectedItem(1);
    const int page = tree.PageRows();
    EXPECT_EQ(tree.verticalScrollBar()->maximum(), 50 - page);
    for (int i = 0; i < page + 2; ++i)  // the rows below follow one at a time
        Key(Qt::Key_Down);
    Key(Qt::Key_Up);
    EXPECT_EQ(tree.Model().SelectedRow(), page + 1);
    EXPECT_EQ(tree.Model().TopRow(), 3);
    EXPECT_EQ(tree.verticalScrollBar()->value(), 3);
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, RowPoint(5));
    EXPECT_EQ(tree.Model().SelectedRow(), 5);
    EXPECT_EQ(tree.Model().TopRow(), 3);

    QWheelEvent wheel(QPointF(20, 20), tree.mapToGlobal(QPoint(20, 20)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(tree.viewport(), &wheel);
    EXPECT_GT(tree.Model().TopRow(), 3);
    Key(Qt::Key_Home);
    EXPECT_EQ(tree.Model().TopRow(), 0);
    Key(Qt::Key_PageDown);
    EXPECT_EQ(tree.Model().SelectedRow(), page);

    // The horizontal range grows with the widest row painted.
    tree.Model().Insert(1, std::string(80, 'W'));
    Key(Qt::Key_Home);
    tree.grab();
    EXPECT_GT(tree.MaxExtent(), tree.fontMetrics().horizontalAdvance(QString(80, QChar('W'))));
    EXPECT_EQ(tree.horizontalScrollBar()->maximum(), tree.MaxExtent() - tree.viewport()->width());
}

// Paints the tree in each style and checks what must be on the screen: tree lines at
// the centre of their columns, the pictures, the focus rectangle of the selected row;
// then hands the rows to the owner's drawing.
TEST_F(WinTreeTest, EveryStyleAndOwnerDrawPaintWhatTheyShow) {
    Show();
    tree.resize(260, 140);
    tree.Model().Lines().SetText(
        "Alpha\r\n\tBeta\r\n\t\tGamma\r\n\tDelta\r\nEpsilon\r\n\tZeta\r\n");
    tree.Model().FullExpand();
    tree.Model().Items(5)->Collapse();
    tree.Model().SetSelectedItem(3);
    const int h = tree.ItemHeight();
    const std::pair<views::TWinTreeStyle, const char*> styles[] = {
        {views::osText, "text"},           {views::osPlusMinusText, "plusminus"},
        {views::osPictureText, "picture"}, {views::osPlusMinusPictureText, "plusminuspicture"},
        {views::osTreeText, "tree"},       {views::osTreePictureText, "treepicture"}};
    auto isBlack = [](const QImage& image, int x, int y) {
        return image.pixelColor(x, y) == QColor(Qt::black);
    };
    for (const auto& [style, name] : styles) {
        tree.SetWinTreeStyle(style);
        const QImage image = tree.viewport()->grab().toImage();
        EXPECT_TRUE(SaveShot(image, QString::fromLatin1(name))) << name;
        if (views::StyleShowsTreeLines(style)) {
            // Alpha (row 0) has a later sibling: its line runs from the top through the row;
            // Beta (row 1, level 2) has a line in the level-1 column and its own at level 2.
            EXPECT_TRUE(isBlack(image, h / 2, 1)) << name;
            EXPECT_TRUE(isBlack(image, h / 2, h + h - 1)) << name;
            EXPECT_TRUE(isBlack(image, h + h / 2, h + 1)) << name;
            // Epsilon (row 4) is the last top-level item: no line below its middle.
            EXPECT_FALSE(isBlack(image, h / 2, 4 * h + h - 2)) << name;
        }
        if (views::StyleShowsPicture(style)) {
            // Alpha is expanded: the open folder's yellow is in its picture cell.
            const int x = style == views::osPictureText ? 0 : h;
            bool yellow = false;
            for (int dx = 0; dx < h; ++dx)
                for (int dy = 0; dy < h; ++dy)
                    yellow = yellow || image.pixelColor(x + dx, dy) == QColor(0xF0, 0xD0, 0x40);
            EXPECT_TRUE(yellow) << name;
        }
        // The focus rectangle: dotted, in the highlight text colour, on the selected row.
        const QColor focus = tree.palette().color(QPalette::HighlightedText);
        int dots = 0;
        for (int x = 0; x < image.width(); ++x)
            dots += image.pixelColor(x, 2 * h) == focus;
        EXPECT_GT(dots, 5) << name;
    }
    // Without the root lines the top-level column is not drawn.
    tree.SetWinTreeStyle(views::osTreeText);
    tree.SetTreeOptions(views::ooDrawFocusRect);
    const QImage image = tree.viewport()->grab().toImage();
    SaveShot(image, QStringLiteral("tree-noroot"));
    EXPECT_FALSE(isBlack(image, h / 2, 1));
    EXPECT_TRUE(isBlack(image, h / 2, h + 1));  // Beta's own line, now in the first column

    // Owner draw: each row goes to OnDrawItem at the height set, with its state.
    tree.SetStyle(views::otOwnerDraw);
    tree.SetItemHeight(20);
    std::vector<std::string> calls;
    tree.OnDrawItem = [&](TWinTree& control, QPainter& painter, int index, const QRect& rect,
                          unsigned state) {
        calls.push_back(control.Model().Items(index)->Text() + "@" + std::to_string(rect.top()) +
                        ":" + std::to_string(state));
        painter.drawText(rect, ui::FromAnsi("* " + control.Model().Items(index)->Text()));
    };
    tree.viewport()->repaint();
    EXPECT_THAT(calls,
                ElementsAre("Alpha@0:0", "Beta@20:0", "Gamma@40:3", "Delta@60:0", "Epsilon@80:0"));
    EXPECT_TRUE(SaveShot(tree.grab().toImage(), QStringLiteral("ownerdraw")));
    tree.SetStyle(views::otStandard);
    EXPECT_EQ(tree.ItemHeight(), (tree.FontHeight() * 120 + 50) / 100);
}

// ---- The application tree -------------------------------------------------------------------

class PBWinTreeTest : public cattest::CatalogueTest {
  protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        ASSERT_EQ(testsupport::BuildSampleWorkspace(prefix.PrefixPath()), 0);
        shell::OptionsForm().PBIniFileName = "c:\\sorvanti-samples\\pb.ini";
        Mgr().LoadApplications();
        tree = std::make_unique<ui::TPBWinTree>();
        tree->resize(640, 360);
        tree->setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 9));
        tree->Model().AddChildObject(0, "PowerBuilder", &Mgr());
        tree->RefreshTree();
        tree->Model().Expand(1);
    }
    void TearDown() override {
        tree.reset();
        CatalogueTest::TearDown();
    }
    // The picture cell of a row in the tree-and-picture style.
    QImage Cell(const QImage& image, int row) {
        const int h = tree->ItemHeight();
        const int level = tree->Model().NodeAtRow(row)->Level();
        return image.copy(level * h, row * h, h, h)
            .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    // The cell as it shows the bitmap.
    QImage Expected(const std::string& bitmap) {
        const int h = tree->ItemHeight();
        QImage out(h, h, QImage::Format_ARGB32_Premultiplied);
        out.fill(tree->palette().color(QPalette::Base));
        QPainter painter(&out);
        const QPixmap pixmap = ui::LoadBitmapResource(bitmap);
        painter.drawPixmap((h - 16) / 2, (h - 16) / 2, pixmap);
        return out;
    }
    std::unique_ptr<ui::TPBWinTree> tree;
};

// A synchronisation that fails half way gives the screen and the model their updates back.
TEST_F(PBWinTreeTest, AFailedSynchronisationRestoresUpdates) {
    struct FailingStatusLine : testsupport::RecordingShellUI {
        void SetStatusText(std::string_view) override { throw std::runtime_error("status"); }
    } failing;
    EXPECT_THROW(tree->RefreshTree(), std::runtime_error);
    EXPECT_TRUE(tree->updatesEnabled());
    EXPECT_FALSE(tree->Model().Updating());
}

// Drawing the tree reads only its nodes: with every entry's source still unexported and
// one node's entry freed by a refresh, a paint exports nothing, shows no status text and
// leaves the nodes as they are; the next synchronisation removes the stale one. Then the
// rows' pictures.
TEST_F(PBWinTreeTest, PaintingTouchesNeitherCatalogueNorScreen) {
    Mgr().Options = catalogue::TCatalogueOption::AncestorFromSource;  // nothing exported by itself
    catalogue::LoadNode(Mgr().Apps[1]);                               // stock
    TWinTreeNode* stock = tree->Model().Items(1)->Child(1);
    tree->RefreshNode(stock);
    stock->Expand();
    TWinTreeNode* lib = stock->FirstChild();
    lib->Expand();
    ASSERT_GT(lib->ChildCount(), 1);
    Remove("c:\\sorvanti-samples\\stock.pbl", "w_stock_items", PBORCA_WINDOW);
    catalogue::TPBLib* changed = Mgr().Libs.Find("c:\\sorvanti-samples\\stock.pbl");
    ASSERT_NE(changed, nullptr);
    changed->FileDate -= 1;
    shell::OptionsForm().AllLibRefresh.SetChecked(true);
    Mgr().RefreshAll();
    const int entries = lib->ChildCount();
    auto unexported = [this] {
        return std::ranges::all_of(Mgr().Libs, [](const auto& item) {
            return std::ranges::all_of(item.Obj->Entries,
                                       [](const auto& entry) { return entry.Obj->Source.empty(); });
        });
    };
    ASSERT_TRUE(unexported());

    screen.events.clear();
    tree->viewport()->grab();
    tree->viewport()->repaint();
    EXPECT_TRUE(screen.events.empty()) << screen.events.front();
    EXPECT_TRUE(unexported());
    EXPECT_EQ(lib->ChildCount(), entries);
    EXPECT_FALSE(lib->Child(0)->ImageName().empty());

    tree->RefreshTree();
    EXPECT_EQ(lib->ChildCount(), entries - 1);
    EXPECT_EQ(tree->Model().VerifyCounts(), "");

    // A row shows the bitmap its node names (which one that is, is the synchronisation's),
    // the open one while an expanded node has one; each name is loaded once.
    const QImage image = tree->viewport()->grab().toImage();
    EXPECT_TRUE(SaveShot(image, QStringLiteral("application-tree")));
    const std::pair<int, std::string> cells[] = {{1, "application"},  // orders, collapsed
                                                 {2, "application"},  // stock, expanded
                                                 {3, "libraryopen"},
                                                 {5, lib->Child(1)->ImageName()},  // d_stock_items
                                                 {4 + entries - 1, "libraryclosed"}};
    for (const auto& [row, bitmap] : cells)
        EXPECT_EQ(Cell(image, row), Expected(bitmap)) << bitmap;
    const int loads = tree->IconLoads();
    EXPECT_EQ(loads, tree->CachedIcons());
    tree->viewport()->grab();
    EXPECT_EQ(tree->IconLoads(), loads);
}

}  // namespace
