// The Application View: its pages, trees, lists, source panel, context menu and
// printing.

#include "ui/Pwclient.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListView>
#include <QListWidget>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "build/CheckOut.h"
#include "build/Executable.h"
#include "build/Rebuild.h"
#include "build/Replicate.h"
#include "catalogue/Hierarchy.h"
#include "catalogue/PbIni.h"
#include "catalogue/Source.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "ui/AnsiText.h"
#include "ui/CheckOutForm.h"
#include "ui/DirectoryLists.h"
#include "ui/Printing.h"
#include "ui/QtShellUI.h"
#include "ui/ResultList.h"
#include "ui/SourceMemo.h"
#include "ui/Ureplace.h"
#include "ui/pbwntree.h"
#include "views/PBTreeSync.h"

namespace ui {

namespace {

constexpr const char* PagePrefixes[4] = {"Application View - ", "Hierarchy View - ",
                                         "Directory View - ", "Search View - "};
constexpr const char* PageButtonCaptions[4] = {"Application", "Hierarchy", "Directory",
                                               "Search Results"};
constexpr int PageButtonWidths[4] = {76, 80, 76, 100};

// The busy cursor for the length of a command; "Ready." when it is taken away.
struct TBusy {
    explicit TBusy(shell::TCursor cursor = shell::crHourGlass) { shell::PushCursor(cursor); }
    ~TBusy() { shell::PopCursor(); }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;
};

// A column of the view: a 22-pixel bar of buttons over what fills the rest.
struct TColumn {
    QWidget* widget;
    QVBoxLayout* layout;
    QWidget* bar;
    QHBoxLayout* barLayout;
};

TColumn NewColumn(QWidget* parent) {
    TColumn c;
    c.widget = new QWidget(parent);
    c.layout = new QVBoxLayout(c.widget);
    c.layout->setContentsMargins(0, 0, 0, 0);
    c.layout->setSpacing(0);
    c.bar = new QWidget(c.widget);
    c.bar->setFixedHeight(22);
    c.barLayout = new QHBoxLayout(c.bar);
    c.barLayout->setContentsMargins(0, 0, 0, 0);
    c.barLayout->setSpacing(0);
    c.layout->addWidget(c.bar);
    return c;
}

void SetupTree(TPBWinTree* tree, const char* name) {
    tree->setObjectName(name);
    tree->setFont(CourierNew(13));
    tree->SetItemHeight(16);
    tree->SetTreeOptions(tree->GetTreeOptions() | views::ooDrawFocusRect);
}

// A left-button press and release at a point of a control (a right-click selects the
// line under the pointer as a click would).
void SimulateLeftClick(QWidget* target, const QPoint& pos) {
    const QPointF local(pos);
    const QPointF global(target->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(target, &release);
}

bool AppListed(const catalogue::TPBApp* app) {
    if (!app || !catalogue::HasOrcaMgr())
        return false;
    const catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        if (mgr.Apps[i] == app)
            return true;
    return false;
}

}  // namespace

// What a search across objects needs of the view: the Search page's lines, the program's
// dialog and its list, the question after a hit, the panel following a replace.
class TPickwellForm::TSearchHost : public search::TObjectSearchHost {
  public:
    explicit TSearchHost(TPickwellForm& view) : view_(view) {}

    std::vector<search::TSearchResult>& Results() override { return view_.ResultList->Results(); }
    void ClearResults() override { view_.ResultList->Clear(); }
    void AppendResult(search::TSearchResult&& result) override {
        view_.ResultList->Append(std::move(result));
    }
    const search::TReplaceList& List() const override { return ReplaceDialog().List(); }
    void SelectEntry(int i) override { ReplaceDialog().SelectEntry(i); }
    shell::TModalResult AskAfterHit(int row, bool replaceMode) override {
        return view_.AskAfterHit(row, replaceMode);
    }
    void SourcesReplaced() override { view_.SourcesReplaced(); }

  private:
    TPickwellForm& view_;
};

// ---- Creation -------------------------------------------------------------------------

TPickwellForm::TPickwellForm(QWidget* parent) : QWidget(parent) {
    setObjectName("PickwellForm");
    setWindowTitle("Application View");
    BuildControls();
    BuildPopupMenu();
    searchHost_ = std::make_unique<TSearchHost>(*this);
    objectSearch_ = std::make_unique<search::TObjectSearch>(*searchHost_);
}

TPickwellForm::~TPickwellForm() {
    // The program's dialog outlives the view: its events must not reach it any more.
    if (TSReplace* dialog = ExistingReplaceDialog(); dialog && dialog->EventOwner == this) {
        dialog->OnFind = dialog->OnFindAll = dialog->OnReplace = dialog->OnClose = nullptr;
        dialog->EventOwner = nullptr;
    }
    // The trees' expand handlers reach this form: take them away before the members go.
    if (Outline1)
        Outline1->Model().OnExpand = nullptr;
    if (Outline2)
        Outline2->Model().OnExpand = nullptr;
}

void TPickwellForm::BuildControls() {
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setHandleWidth(3);
    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(split);

    // Left half: the page buttons over the pages.
    const TColumn left = NewColumn(split);
    QWidget* bar = left.bar;
    QHBoxLayout* barLayout = left.barLayout;
    pageGroup_ = new QButtonGroup(this);
    pageGroup_->setExclusive(true);
    for (int i = 0; i < 4; ++i) {
        auto* button = new QToolButton(bar);
        button->setText(PageButtonCaptions[i]);
        button->setCheckable(true);
        button->setAutoRaise(true);
        button->setFixedSize(PageButtonWidths[i], 22);
        button->setObjectName(QString("SpeedButton%1").arg(5 + i));
        pageGroup_->addButton(button, i);
        barLayout->addWidget(button);
        PageButtons[i] = button;
    }
    barLayout->addStretch();
    PageButtons[0]->setChecked(true);
    connect(pageGroup_, &QButtonGroup::idClicked, this,
            [this](int id) { SetViewPage(static_cast<TViewPage>(id)); });
    Notebook = new QStackedWidget(left.widget);
    Notebook->setObjectName("NotebookApplications");
    left.layout->addWidget(Notebook);

    Outline1 = new TPBWinTree(Notebook);
    SetupTree(Outline1, "Outline1");
    Outline2 = new TPBWinTree(Notebook);
    SetupTree(Outline2, "Outline2");
    Notebook->addWidget(Outline1);
    Notebook->addWidget(Outline2);

    auto* directoryPage = new QSplitter(Qt::Horizontal, Notebook);
    directoryPage->setHandleWidth(3);
    DirectoryListBox1 = new TDirectoryListBox(directoryPage);
    FileListBox1 = new TFileListBox(directoryPage);
    ListBox1 = new QListWidget(directoryPage);
    ListBox1->setObjectName("ListBox1");
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setUniformItemSizes(true);
    directoryPage->addWidget(DirectoryListBox1);
    directoryPage->addWidget(FileListBox1);
    directoryPage->addWidget(ListBox1);
    directoryPage->setSizes({149, 125, 100});
    Notebook->addWidget(directoryPage);

    ListBox2 = new QListView(Notebook);
    ListBox2->setObjectName("ListBox2");
    ResultList = new TResultListModel(ListBox2);
    ListBox2->setModel(ResultList);
    ListBox2->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox2->setUniformItemSizes(true);  // a hundred thousand lines scroll smoothly
    ListBox2->setFont(CourierNew(11));
    Notebook->addWidget(ListBox2);

    // Right half: the "Source" button over the source panel.
    const TColumn right = NewColumn(split);
    SourceSpeedButton = new QToolButton(right.bar);
    SourceSpeedButton->setObjectName("SourceSpeedButton");
    SourceSpeedButton->setText("Source");
    SourceSpeedButton->setCheckable(true);
    SourceSpeedButton->setAutoRaise(true);
    SourceSpeedButton->setFixedSize(64, 22);
    // Shows the source page and raises the button again.
    connect(SourceSpeedButton, &QToolButton::clicked, this,
            [this] { SourceSpeedButton->setChecked(false); });
    right.barLayout->addWidget(SourceSpeedButton);
    right.barLayout->addStretch();
    SourceMemo = new TSourceMemo(right.widget);
    right.layout->addWidget(SourceMemo);

    split->addWidget(left.widget);
    split->addWidget(right.widget);
    split->setSizes({377, 600});
    split->setStretchFactor(1, 1);

    // Expanding, clicking and keys in both trees.
    for (TPBWinTree* tree : {Outline1, Outline2}) {
        tree->Model().OnExpand = [this, tree](views::TCustomWinTree&, int index) {
            Outline1Expand(tree, index);
        };
        connect(tree, &TWinTree::Click, this, [this, tree] { Outline1Click(tree); });
        tree->installEventFilter(this);
        tree->viewport()->installEventFilter(this);
    }
    // The Directory page's lists.
    connect(DirectoryListBox1, &TDirectoryListBox::DirectoryChanged, this,
            [this] { FileListBox1->SetDirectory(DirectoryListBox1->Directory()); });
    connect(DirectoryListBox1, &QTreeWidget::itemClicked, this,
            [this] { lastDirectoryControl_ = DirectoryListBox1; });
    connect(FileListBox1, &QListWidget::itemClicked, this, [this] { FileListBox1Click(); });
    connect(ListBox1, &QListWidget::itemClicked, this, [this] { ListBox1Click(); });
    connect(ListBox2, &QListView::clicked, this, [this] { ListBox2Click(); });
    for (QAbstractItemView* list : std::initializer_list<QAbstractItemView*>{
             DirectoryListBox1, FileListBox1, ListBox1, ListBox2}) {
        list->viewport()->installEventFilter(this);
        list->installEventFilter(this);
    }
}

void TPickwellForm::BuildPopupMenu() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    ReplaceMenu = PopupMenu1->addAction("Replace", this, [this] { Search1Click(true); });
    Search1 = PopupMenu1->addAction("Search", this, [this] { Search1Click(false); });
    ReplicateMenu = PopupMenu1->addAction("Quentis", this, [this] { ReplicateMenuClick(); });
    CompileMenu = PopupMenu1->addMenu("Compile");
    RegenerateMenu = CompileMenu->addAction("Regenerate", this, [this] { CompileMenuClick(true); });
    RegenerateMenu->setStatusTip("Regenerate without import");
    ImportMenu = CompileMenu->addAction("Rebuild", this, [this] { CompileMenuClick(false); });
    ImportMenu->setStatusTip("Rebuild with import");
    CreateExecutableMenu =
        CompileMenu->addAction("Create Executable", this, [this] { CreateExecutableMenuClick(); });
    CreateExecutableMenu->setStatusTip("Create Executable and Associated Dynamic Libraries");
    CreateExecutableMenu->setVisible(false);
    CreateDynamicLibraryMenu = CompileMenu->addAction("Create Dynamic Library", this,
                                                      [this] { CreateDynamicLibraryMenuClick(); });
    CreateDynamicLibraryMenu->setStatusTip("Create Dynamic Library");
    CreateDynamicLibraryMenu->setVisible(false);
    ExpandAll1 = PopupMenu1->addAction("Expand All", this, [this] { ExpandAll1Click(); });
    OpenAllLibrariesMenu =
        PopupMenu1->addAction("Open All Libraries", this, [this] { OpenAllLibrariesMenuClick(); });
    DeleteAppMenu = PopupMenu1->addMenu("Delete App From pb.ini");
    DeleteAppMenu->addAction("Comfirm Delete", this, [this] { DeleteAppMenuClick(); });
    DeleteLibMenu = PopupMenu1->addMenu("Delete Library from App in pb.ini");
    DeleteLibMenu->addAction("Comfirm Delete", this, [this] { DeleteLibMenuClick(); });
    SourceControlMenu = PopupMenu1->addMenu("Brantel");
    CheckInMenu = SourceControlMenu->addAction("Check In", this, [this] { CheckInMenuClick(); });
    CheckOutMenu = SourceControlMenu->addAction("Check Out", this, [this] { CheckOutMenuClick(); });
    ListCheckOutEntriesMenu = SourceControlMenu->addAction(
        "ListCheckOutEntries", this, [this] { ListCheckOutEntriesMenuClick(); });
    ReloadObjectMenu =
        PopupMenu1->addAction("Reload Object", this, [this] { ReloadObjectMenuClick(); });
    CopyToClipboardMenu =
        PopupMenu1->addAction("Copy To Clipboard", this, [this] { CopyToClipboardMenuClick(); });
}

// ---- What the frame asks ----------------------------------------------------------------

void TPickwellForm::SetViewNumber(unsigned number) {
    viewNumber_ = number;
    setWindowTitle(PageCaption(viewPage_));
}

QString TPickwellForm::PageCaption(TViewPage page) const {
    return QString(PagePrefixes[page]) + QString::number(viewNumber_);
}

void TPickwellForm::Populate() {
    shell::PushCursor(shell::crDefault);
    catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    shell::OptionsForm().PBIniFileName = mgr.GetPBIniFile();
    if (mgr.LoadOrcaDll()) {
        Outline1->Model().Clear();
        Outline1->Model().AddChildObject(0, "PowerBuilder", &mgr);
        Outline1->RefreshTree();
        Outline1->Model().Expand(1);
        Outline1->Model().SetSelectedItem(1);
    }
    shell::PopCursor();
    shell::ShowStatus("Ready.");
}

void TPickwellForm::CommitSource() {
    SourceMemo->Commit();
}

void TPickwellForm::FormDeactivate() {
    CommitSource();
}

void TPickwellForm::SaveAllRequest() {
    // The panel's edit goes into its object first, then every changed object back into
    // its library (the frame's second click clears the run flag, which stops the walk).
    CommitSource();
    build::SaveAllChanges(catalogue::OrcaMgr());
    shell::ShowStatus("Ready.");
}

void TPickwellForm::PrintRequest() {
    Print1Click();
}

void TPickwellForm::RefreshRequest() {
    Outline1->RefreshTree();
    // A hierarchy of an application that left pb.ini goes with it.
    if (hierarchyApp_ && !AppListed(hierarchyApp_)) {
        Outline2->Model().Clear();
        hierarchyApp_ = nullptr;
    }
}

void TPickwellForm::closeEvent(QCloseEvent* event) {
    // A running search holds this view on its stack: it stops first, and the view closes
    // when it has.
    if (Searching() || compiling_) {
        objectSearch_->Stop();
        if (compiling_)
            catalogue::SetRunFlag(false);
        closeAfterSearch_ = true;
        event->ignore();
        return;
    }
    CommitSource();
    event->accept();
}

// ---- Pages ------------------------------------------------------------------------------

void TPickwellForm::SetViewPage(TViewPage page) {
    Notebook->setCurrentIndex(page);
    PageChanged(page);
}

void TPickwellForm::PageChanged(TViewPage page) {
    PageButtons[page]->setChecked(true);
    viewPage_ = page;
    setWindowTitle(PageCaption(page));
    switch (page) {
        case PageApplication: {
            views::TWinTreeNode* node = Outline1->Model().SelectedNode();
            if (!node)
                break;
            // From the node of the selected application downwards.
            while (node->Level() > 2)
                node = node->Parent();
            SelectShownObject(Outline1, node->Index());
            break;
        }
        case PageHierarchy:
            Hierarchy1Click();
            break;
        case PageDirectory:
            SyncDirectoryToApplication();
            break;
        case PageSearch:
            break;
    }
}

catalogue::TPBApp* TPickwellForm::SelectedApp() const {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    return nd.kind == views::TPBNodeKind::App || nd.kind == views::TPBNodeKind::LibRef ||
                   nd.kind == views::TPBNodeKind::ObjRef
               ? nd.app
               : nullptr;
}

void TPickwellForm::SelectShownObject(TPBWinTree* tree, int fromIndex) {
    const catalogue::TPBObj* shown = SourceMemo->SourceObject();
    if (!shown || fromIndex < 1)
        return;
    views::TCustomWinTree& model = tree->Model();
    for (int i = fromIndex; i <= model.ItemCount(); ++i) {
        views::TWinTreeNode* node = model.Items(i);
        const views::TPBNodeData nd = tree->Sync().ResolveNode(node);
        if (nd.kind == views::TPBNodeKind::ObjRef && nd.objRef->Obj == shown) {
            for (views::TWinTreeNode* p = node->Parent(); p && !p->IsRoot(); p = p->Parent())
                if (!p->Expanded())
                    p->Expand();
            model.SelectNode(node);
            tree->Model().ScrollIntoView(model.RowOf(node), tree->PageRows());
            return;
        }
    }
}

void TPickwellForm::SyncDirectoryToApplication() {
    catalogue::TPBApp* app = SelectedApp();
    if (!app)
        return;
    const std::string dir = shell::ExtractDir(app->AppLib);
    if (!dir.empty())
        DirectoryListBox1->SetDirectory(dir);
}

void TPickwellForm::Hierarchy1Click() {
    catalogue::TPBApp* app = SelectedApp();
    if (!app)
        return;
    if (Outline2->Model().ItemCount() == 0 || hierarchyApp_ != app) {
        TBusy busy;
        catalogue::LoadNode(app);
        Outline2->Model().Clear();
        hierarchyApp_ = app;
        ++hierarchyBuilds_;
        if (app->SystemRoot) {
            Outline2->Model().AddChildObject(0, "System", app->SystemRoot);
            Outline2->Model().SetSelectedItem(1);
        }
    }
    SelectShownObject(Outline2, 1);
}

// ---- Trees ------------------------------------------------------------------------------

void TPickwellForm::Outline1Expand(TPBWinTree* tree, int index) {
    views::TWinTreeNode* node = tree->Model().Items(index);
    if (node->HasItems())
        return;
    const views::TPBNodeData nd = tree->Sync().ResolveNode(node);
    if (tree == Outline1) {
        catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
        if (nd.kind == views::TPBNodeKind::App) {
            TBusy busy;
            shell::ShowStatus("Loading Application");
            if (mgr.LoadOrcaDll()) {
                catalogue::LoadNode(nd.app);
                Outline1->RefreshNode(node);
            }
        } else if (nd.kind == views::TPBNodeKind::LibRef) {
            TBusy busy;
            if (nd.libRef->Lib->Exists) {
                catalogue::LoadNode(nd.libRef);
                Outline1->RefreshNode(node);
            }
        }
    } else if (nd.kind == views::TPBNodeKind::ObjRef) {
        // The descendants of the node being expanded, which need not be the selected
        // node (a node can be opened without being selected).
        AddDescendants(node, false);
    }
}

void TPickwellForm::AddDescendants(views::TWinTreeNode* node, bool recursive) {
    const views::TPBNodeData nd = Outline2->Sync().ResolveNode(node);
    if (nd.kind != views::TPBNodeKind::ObjRef)
        return;
    if (!node->HasItems()) {
        for (const auto& item : nd.objRef->Children) {
            catalogue::TPBObjRef* child = item.Obj;
            views::TWinTreeNode* added =
                Outline2->Model().AddChildNode(node, child->Obj->Name, child);
            added->SetImageNames(views::EntryImageName(*child));
        }
    }
    if (recursive)
        for (int i = 0; i < node->ChildCount(); ++i)
            AddDescendants(node->Child(i), true);
}

void TPickwellForm::Outline1Click(TPBWinTree* tree) {
    if (!clickEnabled_)
        return;
    const views::TPBNodeData nd = tree->Sync().ResolveNode(tree->Model().SelectedNode());
    if (nd.kind == views::TPBNodeKind::ObjRef && nd.objRef->Obj)
        ShowEntry(nd.objRef->Obj, 0, 0);
}

bool TPickwellForm::ShowEntry(catalogue::TPBObj* obj, int32_t offset, int32_t length) {
    if (!obj)
        return false;
    // The catalogue may export the source first.
    const bool exported = obj->Source.empty();
    if (exported)
        shell::PushCursor(shell::crHourGlass);
    const bool shown = SourceMemo->Show(*obj, offset, length);
    if (exported)
        shell::PopCursor();
    return shown;
}

// ---- Keys and the mouse -------------------------------------------------------------------

bool TPickwellForm::eventFilter(QObject* watched, QEvent* event) {
    const bool isTree = watched == Outline1 || watched == Outline2;
    switch (event->type()) {
        case QEvent::KeyPress:
            // Moving with a held key shows only the node reached when the key is let go.
            if (isTree)
                clickEnabled_ = false;
            break;
        case QEvent::KeyRelease: {
            // The key that is let go acts as a click (a held key repeats its release).
            if (static_cast<QKeyEvent*>(event)->isAutoRepeat())
                break;
            if (isTree) {
                clickEnabled_ = true;
                Outline1Click(static_cast<TPBWinTree*>(watched));
            } else if (watched == ListBox1) {
                ListBox1Click();
            } else if (watched == FileListBox1) {
                FileListBox1Click();
            } else if (watched == ListBox2) {
                ListBox2Click();
            }
            break;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease: {
            // The right button's release decides what the menu acts on.
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::RightButton)
                break;
            if (event->type() == QEvent::MouseButtonRelease)
                Outline1MouseUp(static_cast<QWidget*>(watched), mouse->position().toPoint());
            return true;
        }
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void TPickwellForm::Outline1MouseUp(QWidget* viewport, const QPoint& pos) {
    QWidget* control = viewport->parentWidget();
    auto* list = qobject_cast<QAbstractItemView*>(control);
    if (list && list->model() && list->model()->rowCount(list->rootIndex()) > 0) {
        const QModelIndex index = list->indexAt(pos);
        // A line that is not selected is chosen as a click would; a selected one keeps
        // the whole selection for the command.
        if (!index.isValid() || !list->selectionModel()->isSelected(index))
            SimulateLeftClick(viewport, pos);
    } else {
        SimulateLeftClick(viewport, pos);
    }
    popupComponent_ = control;
    PopupMenu1Popup(control);
    for (QAction* action : PopupMenu1->actions())
        if (action->isVisible()) {
            PopupMenu1->popup(viewport->mapToGlobal(pos));
            return;
        }
}

void TPickwellForm::PopupMenu1Popup(QWidget* control) {
    for (QAction* action : PopupMenu1->actions())
        action->setVisible(false);
    ReplaceMenu->setEnabled(false);
    ImportMenu->setEnabled(false);
    const bool tree = control == Outline1 || control == Outline2;
    ReplaceMenu->setVisible(tree);
    ReplaceMenu->setEnabled(tree);
    CompileMenu->menuAction()->setVisible(tree || control == ListBox2);
    ImportMenu->setEnabled(tree || control == ListBox2);
    SourceControlMenu->menuAction()->setVisible(tree);
    ReplicateMenu->setVisible(tree);
    Search1->setVisible(tree || control == DirectoryListBox1 || control == FileListBox1 ||
                        control == ListBox1);
    if (control == Outline1) {
        const views::TPBNodeData nd =
            Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
        ExpandAll1->setVisible(nd.kind == views::TPBNodeKind::Manager ||
                               nd.kind == views::TPBNodeKind::App);
        OpenAllLibrariesMenu->setVisible(true);
        DeleteAppMenu->menuAction()->setVisible(nd.kind == views::TPBNodeKind::App);
        DeleteLibMenu->menuAction()->setVisible(nd.kind == views::TPBNodeKind::LibRef);
        ReloadObjectMenu->setVisible(true);
    } else if (control == Outline2) {
        ExpandAll1->setVisible(true);
        OpenAllLibrariesMenu->setVisible(true);
        ReloadObjectMenu->setVisible(true);
    } else if (control == ListBox2) {
        ReloadObjectMenu->setVisible(true);
        CopyToClipboardMenu->setVisible(true);
    }
}

// ---- Context-menu commands ------------------------------------------------------------------

void TPickwellForm::ExpandAll1Click() {
    if (viewPage_ == PageHierarchy) {
        views::TWinTreeNode* node = Outline2->Model().SelectedNode();
        if (node) {
            {
                views::TCustomWinTree::UpdateScope update(Outline2->Model());
                AddDescendants(node, true);
            }
            node->FullExpand();
        }
        shell::ShowStatus("Ready.");
    }
    if (views::TWinTreeNode* node = Outline1->Model().SelectedNode()) {
        Outline1->setUpdatesEnabled(false);
        node->FullExpand();
        Outline1->setUpdatesEnabled(true);
    }
    shell::ShowStatus("Ready.");
}

void TPickwellForm::OpenAllLibrariesMenuClick() {
    // The application of the selected node: the application itself, or the application
    // of a library or an entry; nothing for the root.
    catalogue::TPBApp* app = SelectedApp();
    views::TWinTreeNode* appNode = Outline1->Model().SelectedNode();
    if (!app || !appNode)
        return;
    while (appNode->Level() > 2)
        appNode = appNode->Parent();
    TBusy busy;
    if (app->LibRefs.Count() == 0 && catalogue::OrcaMgr().LoadOrcaDll())
        catalogue::LoadNode(app);
    for (int i = 0; i < app->LibRefs.Count(); ++i) {
        catalogue::TPBLibRef* libRef = app->LibRef(i);
        if (!libRef->Lib->Exists)
            continue;
        if (libRef->Lib->Entries.Count() == 0)
            libRef->Lib->EnsureLoaded();
        libRef->SyncObjRefs();
    }
    Outline1->RefreshNode(appNode);
    appNode->FullExpand();
    Outline1->Model().SelectNode(appNode);
}

void TPickwellForm::ReloadObject(catalogue::TPBObj* obj) {
    // Only objects whose source was loaded before.
    if (!obj || !obj->Lib || obj->Source.empty())
        return;
    if (obj->Modified) {
        shell::LogMessage("Reloaded " + obj->Name + " from " + obj->Lib->Name +
                          ": its unsaved edit was discarded.");
        obj->Modified = false;
    }
    obj->LoadSource();
}

void TPickwellForm::ReloadObjectMenuClick() {
    TBusy busy;
    catalogue::TPBObj* shown = SourceMemo->SourceObject();
    const bool shownUnedited = shown && !SourceMemo->document()->isModified();
    if (viewPage_ == PageApplication) {
        const views::TPBNodeData nd =
            Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
        if (nd.kind == views::TPBNodeKind::App) {
            for (int i = 0; i < nd.app->LibRefs.Count(); ++i)
                for (int j = 0; j < nd.app->LibRef(i)->ObjRefs.Count(); ++j)
                    ReloadObject(nd.app->LibRef(i)->ObjRef(j)->Obj);
        } else if (nd.kind == views::TPBNodeKind::LibRef) {
            for (int j = 0; j < nd.libRef->ObjRefs.Count(); ++j)
                ReloadObject(nd.libRef->ObjRef(j)->Obj);
        } else if (nd.kind == views::TPBNodeKind::ObjRef) {
            ReloadObject(nd.objRef->Obj);
        }
    } else if (viewPage_ == PageHierarchy) {
        const views::TPBNodeData nd =
            Outline2->Sync().ResolveNode(Outline2->Model().SelectedNode());
        if (nd.kind == views::TPBNodeKind::ObjRef) {
            catalogue::SetRunFlag(true);
            catalogue::WalkDescendants(
                *nd.objRef, [this](catalogue::TPBObjRef& ref) { ReloadObject(ref.Obj); });
        }
    } else if (viewPage_ == PageSearch) {
        const QModelIndexList rows = ListBox2->selectionModel()->selectedRows();
        for (const QModelIndex& index : rows)
            ReloadObject(ResultList->Line(index.row()).Object());
    }
    // The panel follows a reload of what it shows, unless the user is editing it.
    if (shownUnedited && SourceMemo->SourceObject() == shown)
        SourceMemo->Show(*shown, SourceMemo->SourceOffset(), 0);
}

void TPickwellForm::CopyToClipboardMenuClick() {
    QModelIndexList rows = ListBox2->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::string text;
    for (const QModelIndex& index : rows)
        text += ResultList->Line(index.row()).Line.str() + "\r\n";
    QApplication::clipboard()->setText(FromAnsi(text));
}

void TPickwellForm::CatalogueChanged() {
    if (OnCatalogueChanged)
        OnCatalogueChanged();
    else
        RefreshRequest();
}

void TPickwellForm::DeleteAppMenuClick() {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    if (nd.kind != views::TPBNodeKind::App)
        return;
    if (nd.app == hierarchyApp_) {
        Outline2->Model().Clear();
        hierarchyApp_ = nullptr;
    }
    if (catalogue::DeleteAppFromPBIni(nd.app))
        CatalogueChanged();
}

void TPickwellForm::DeleteLibMenuClick() {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    if (nd.kind != views::TPBNodeKind::LibRef)
        return;
    if (catalogue::DeleteLibFromPBIni(nd.libRef))
        CatalogueChanged();
}

// ---- Directory and Search pages -------------------------------------------------------------

void TPickwellForm::FileListBox1Click() {
    lastDirectoryControl_ = FileListBox1;
    const std::string file = FileListBox1->FileName();
    if (file.empty())
        return;
    TBusy busy;
    catalogue::TPBLib* lib = catalogue::OrcaMgr().FindLibrary(file);
    if (lib->Exists && lib->Entries.Count() == 0 && catalogue::OrcaMgr().LoadOrcaDll())
        lib->EnsureLoaded();
    ListBox1->clear();
    entryLines_.clear();
    for (int i = 0; i < lib->Entries.Count(); ++i) {
        const catalogue::TPBObj* obj = lib->Entries[i];
        entryLines_.push_back({lib, obj->Name, obj->EntryType});
        ListBox1->addItem(FromAnsi(obj->Name));
    }
}

void TPickwellForm::ListBox1Click() {
    lastDirectoryControl_ = ListBox1;
    for (int row = 0; row < ListBox1->count(); ++row) {
        if (!ListBox1->item(row)->isSelected() || row >= static_cast<int>(entryLines_.size()))
            continue;
        const TEntryLine& line = entryLines_[static_cast<size_t>(row)];
        const int index = line.lib->IndexOfEntry(line.name, line.type);
        if (index >= 0)
            ShowEntry(line.lib->Entries[index], 0, 0);
    }
}

void TPickwellForm::ListBox2Click() {
    const QModelIndex index = ListBox2->currentIndex();
    if (!index.isValid())
        return;
    const search::TSearchResult& line = ResultList->Line(index.row());
    if (catalogue::TPBObj* obj = line.Object())
        ShowEntry(obj, line.SelStart, line.SelLength);
}

// ---- Printing -------------------------------------------------------------------------------

int TPickwellForm::RowsPerPage(int pageHeightDots, int screenPpi, int rowHeight, int printerDpi) {
    if (rowHeight <= 0 || printerDpi <= 0)
        return 1;
    const long long rows = static_cast<long long>(pageHeightDots) * screenPpi /
                           (static_cast<long long>(rowHeight) * printerDpi);
    return static_cast<int>(std::max(1LL, rows));
}

bool TPickwellForm::Print1Click() {
    lastPrintPages_ = 0;
    TPBWinTree* tree = viewPage_ == PageApplication ? Outline1
                       : viewPage_ == PageHierarchy ? Outline2
                                                    : nullptr;
    if (!tree)
        return false;
    QPrinter& printer = ProgramPrinter();
    if (!RunPrintDialog(this, printer))
        return false;
    QPainter painter;
    if (!painter.begin(&printer)) {
        shell::ShowNotice("The printer could not start the print job.");
        return false;
    }
    const int dpiX = printer.resolution();
    const int dpiY = printer.resolution();
    const int ppiX = tree->logicalDpiX();
    const int ppiY = tree->logicalDpiY();
    const int rowHeight = tree->ItemHeight();
    const int pageHeight = printer.pageLayout().paintRectPixels(dpiY).height();
    const int perPage = RowsPerPage(pageHeight, ppiY, rowHeight, dpiY);
    const int rows = tree->Model().RowCount();
    const QColor background = tree->viewport()->palette().color(QPalette::Base);
    bool ok = true;
    for (int first = 0; first < rows && ok; first += perPage) {
        const int count = std::min(perPage, rows - first);
        painter.save();
        painter.scale(static_cast<double>(dpiX) / ppiX, static_cast<double>(dpiY) / ppiY);
        painter.fillRect(QRect(0, 0, printer.width() * ppiX / dpiX, count * rowHeight), background);
        tree->PaintRows(painter, first, count);
        painter.restore();
        ++lastPrintPages_;
        if (first + count < rows)
            ok = printer.newPage();
    }
    if (!painter.end() || !ok) {
        shell::ShowNotice("The printer failed while printing the tree.");
        return false;
    }
    return true;
}

// ---- Searching ------------------------------------------------------------------------------

void TPickwellForm::Search1Click(bool replace) {
    TSReplace& dialog = ReplaceDialog();
    // The view the user searches from takes the dialog's events over, unless a search of
    // another view is still running through them.
    if (dialog.EventOwner != this && !dialog.Running()) {
        dialog.OnFind = [this](TSReplace& sender) { FindDialog1Find(sender); };
        dialog.OnFindAll = [this](TSReplace& sender) { FindDialog1Find(sender); };
        dialog.OnReplace = [this](TSReplace& sender) { FindDialog1Replace(sender); };
        dialog.OnClose = [this](TSReplace& sender) { FindDialog1Close(sender); };
        dialog.EventOwner = this;
    }
    // Hidden and shown again, so that the dialog changes mode while it is on screen.
    dialog.hide();
    dialog.Options().Set(search::srReplaceDlg, replace);
    dialog.show();
}

search::TSearchScope TPickwellForm::CurrentScope() const {
    search::TSearchScope scope;
    if (searchScope_ == PageApplication) {
        const views::TPBNodeData nd =
            Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
        if (nd.kind == views::TPBNodeKind::App) {
            scope.Kind = search::TSearchScope::Application;
            scope.App = nd.app;
        } else if (nd.kind == views::TPBNodeKind::LibRef) {
            scope.Kind = search::TSearchScope::LibraryRef;
            scope.LibRef = nd.libRef;
        } else if (nd.kind == views::TPBNodeKind::ObjRef) {
            scope.Kind = search::TSearchScope::ObjectRef;
            scope.ObjRef = nd.objRef;
        }
    } else if (searchScope_ == PageHierarchy) {
        const views::TPBNodeData nd =
            Outline2->Sync().ResolveNode(Outline2->Model().SelectedNode());
        if (nd.kind == views::TPBNodeKind::ObjRef) {
            scope.Kind = search::TSearchScope::Hierarchy;
            scope.ObjRef = nd.objRef;
        }
    } else if (searchScope_ == PageDirectory) {
        if (lastDirectoryControl_ == DirectoryListBox1) {
            scope.Kind = search::TSearchScope::DirectoryTree;
            scope.Directory = DirectoryListBox1->Directory();
        } else if (lastDirectoryControl_ == FileListBox1) {
            scope.Kind = search::TSearchScope::Libraries;
            for (int row = 0; row < FileListBox1->count(); ++row)
                if (FileListBox1->item(row)->isSelected())
                    scope.Libs.push_back(
                        catalogue::OrcaMgr().FindLibrary(FileListBox1->FileName(row)));
        } else if (lastDirectoryControl_ == ListBox1) {
            scope.Kind = search::TSearchScope::Objects;
            for (int row = 0; row < ListBox1->count() && row < static_cast<int>(entryLines_.size());
                 ++row) {
                if (!ListBox1->item(row)->isSelected())
                    continue;
                const TEntryLine& line = entryLines_[static_cast<size_t>(row)];
                const int index = line.lib->IndexOfEntry(line.name, line.type);
                if (index >= 0)
                    scope.Objs.push_back(line.lib->Entries[index]);
            }
        }
    }
    return scope;
}

void TPickwellForm::FindDialog1Find(TSReplace& dialog) {
    if (Searching())
        return;
    // An edit in the panel goes into its object first: it is searched as the user sees it.
    CommitSource();
    if (viewPage_ != PageSearch)
        searchScope_ = viewPage_;
    const search::TSearchScope scope = CurrentScope();
    SetViewPage(PageSearch);
    dialog.show();
    dialog.raise();
    objectSearch_->Run(scope);
    CloseIfAsked();
}

void TPickwellForm::CloseIfAsked() {
    if (!closeAfterSearch_)
        return;
    closeAfterSearch_ = false;
    QTimer::singleShot(0, this, [this] {
        if (auto* window = qobject_cast<QMdiSubWindow*>(parentWidget()))
            window->close();
        else
            close();
    });
}

void TPickwellForm::FindDialog1Replace(TSReplace& dialog) {
    if (Searching())
        return;
    CommitSource();
    TBusy busy;
    std::vector<int> rows;
    for (const QModelIndex& index : ListBox2->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    const search::TReplaceUndoCount done =
        search::ReplaceUndo(ResultList->Results(), rows, dialog.List());
    if (done.Refused > 0)
        shell::LogMessage(std::to_string(done.Refused) +
                          " hits were left alone: their sources changed since the search.");
    SourcesReplaced();
}

void TPickwellForm::FindDialog1Close(TSReplace&) {
    objectSearch_->Stop();
}

shell::TModalResult TPickwellForm::AskAfterHit(int row, bool replaceMode) {
    const QModelIndex index = ResultList->index(row);
    ListBox2->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    ListBox2->scrollTo(index);
    ListBox2Click();
    shell::TModalResult answer = shell::mrNone;
    if (AnswerAfterHit) {
        answer = AnswerAfterHit(row, replaceMode);
    } else {
        // Beside the hit: at the left of the screen, level with the hit's line.
        QTextCursor hit(SourceMemo->document());
        hit.setPosition(SourceMemo->textCursor().selectionStart());
        const int y =
            SourceMemo->viewport()->mapToGlobal(SourceMemo->cursorRect(hit).topLeft()).y();
        shell::PushCursor(shell::crDefault);
        answer =
            replaceMode
                ? MessageBoxAt(this, "Replace/Undo item?", shell::TMsgDlgType::mtConfirmation,
                               shell::mbYes | shell::mbNo | shell::mbCancel | shell::mbAll, 0,
                               QPoint(20, y))
                : MessageBoxAt(this, "Find next item?", shell::TMsgDlgType::mtConfirmation,
                               shell::mbYes | shell::mbCancel | shell::mbAll, 0, QPoint(20, y));
        shell::PopCursor();
    }
    ListBox2->selectionModel()->select(index, QItemSelectionModel::Deselect);
    return answer;
}

void TPickwellForm::SourcesReplaced() {
    catalogue::TPBObj* shown = SourceMemo->SourceObject();
    if (shown && !SourceMemo->document()->isModified() &&
        !SourceMemo->Window().ShowsCurrentSource())
        SourceMemo->Show(*shown, SourceMemo->SourceOffset(), 0);
}

// ---- Writing back ---------------------------------------------------------------------------

namespace {

// An application's libraries read, so that its entries can be compiled.
void LoadLibraries(catalogue::TPBApp& app) {
    if (!catalogue::OrcaMgr().LoadOrcaDll())
        return;
    if (app.LibRefs.Count() == 0)
        app.LoadLibraryList();
    for (int i = 0; i < app.LibRefs.Count(); ++i)
        if (app.LibRef(i)->Lib->Exists && app.LibRef(i)->Lib->Entries.Count() == 0)
            catalogue::LoadNode(app.LibRef(i));
}

}  // namespace

void TPickwellForm::CompileMenuClick(bool regenerate) {
    if (build::TemporaryLibrary().empty()) {
        shell::ShowNotice("A Temporary Library is required.  See Preferences.");
        shell::ShellUI().OpenPreferences();
        return;
    }
    if (build::CompileInProgress()) {
        catalogue::SetRunFlag(false);
        CompileMenu->setTitle("Compile");
        return;
    }
    CommitSource();
    std::vector<catalogue::TPBObjRef*> refs;
    bool noMaster = false;
    if (viewPage_ == PageHierarchy) {
        const views::TPBNodeData nd =
            Outline2->Sync().ResolveNode(Outline2->Model().SelectedNode());
        if (nd.kind == views::TPBNodeKind::ObjRef)
            refs = build::EntriesOfBranch(*nd.objRef);
    } else if (viewPage_ == PageApplication) {
        const views::TPBNodeData nd =
            Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
        if (nd.kind == views::TPBNodeKind::App) {
            LoadLibraries(*nd.app);
            refs = build::EntriesOfApp(*nd.app);
        } else if (nd.kind == views::TPBNodeKind::LibRef) {
            refs = build::EntriesOfLibRef(*nd.libRef);
        } else if (nd.kind == views::TPBNodeKind::ObjRef && nd.objRef->LibRef) {
            refs = {nd.objRef};
        }
    } else if (viewPage_ == PageSearch) {
        std::vector<int> rows;
        for (const QModelIndex& index : ListBox2->selectionModel()->selectedRows())
            rows.push_back(index.row());
        std::sort(rows.begin(), rows.end());
        refs = build::EntriesOfHits(ResultList->Results(), rows, &noMaster);
    }
    catalogue::SetRunFlag(true);
    CompileMenu->setTitle("Stop Compile");
    shell::PushCursor(shell::crWaitCursor);
    compiling_ = true;
    build::CompileEntries(refs, regenerate);
    compiling_ = false;
    shell::PopCursor();
    catalogue::SetRunFlag(false);
    CompileMenu->setTitle("Compile");
    if (noMaster)
        shell::ShowNotice(std::string(build::NoMasterMessage));
    // The panel shows what the library now holds for an entry it shows unedited.
    SourcesReplaced();
    CloseIfAsked();
}

void TPickwellForm::CreateExecutableMenuClick() {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    if (nd.kind != views::TPBNodeKind::App) {
        shell::ShowStatus("Create Executable: select an application.", true);
        return;
    }
    TBusy busy;
    LoadLibraries(*nd.app);
    build::CreateExecutable(*nd.app);
}

void TPickwellForm::CreateDynamicLibraryMenuClick() {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    if (nd.kind != views::TPBNodeKind::LibRef) {
        shell::ShowStatus("Create Dynamic Library: select a library.", true);
        return;
    }
    TBusy busy;
    build::CreateDynamicLibrary(*nd.libRef);
}

void TPickwellForm::ReplicateMenuClick() {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    if (nd.kind != views::TPBNodeKind::App)
        return;
    {
        TBusy busy;
        build::ReplicateApplication(catalogue::OrcaMgr(), *nd.app);
    }
    // The replica is a new application of pb.ini: every view shows it.
    CatalogueChanged();
    shell::ShowStatus("Ready.");
}

catalogue::TPBObjRef* TPickwellForm::PopupObjRef() const {
    TPBWinTree* tree = popupComponent_ == Outline2 ? Outline2 : Outline1;
    const views::TPBNodeData nd = tree->Sync().ResolveNode(tree->Model().SelectedNode());
    return nd.kind == views::TPBNodeKind::ObjRef && nd.objRef->LibRef ? nd.objRef : nullptr;
}

void TPickwellForm::CheckOutMenuClick() {
    catalogue::TPBObjRef* ref = PopupObjRef();
    if (!ref)
        return;
    TCheckOutForm& form = CheckOutForm();
    form.SetCheckOutEntryRef(ref);
    form.hide();
    form.show();
}

void TPickwellForm::CheckInMenuClick() {
    if (catalogue::TPBObjRef* ref = PopupObjRef()) {
        TBusy busy;
        build::CheckInEntry(*ref);
    }
}

void TPickwellForm::ListCheckOutEntriesMenuClick() {
    const views::TPBNodeData nd = Outline1->Sync().ResolveNode(Outline1->Model().SelectedNode());
    if (nd.kind == views::TPBNodeKind::LibRef) {
        TBusy busy;
        build::ListCheckOutEntries(*nd.libRef);
    }
}

}  // namespace ui
