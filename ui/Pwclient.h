#pragma once
// TPickwellForm: the Application View, an MDI child of the frame. Its left half is a
// stack of four pages chosen by four grouped buttons: the application tree (Outline1),
// the inheritance hierarchy of one application (Outline2), the Directory page (a
// directory tree, the *.pbl files of the chosen directory, the entries of the chosen
// library) and the Search page (ListBox2, the lines of a search). Its right half is the
// source panel, which shows the source of the object chosen on any page.
//
// Tree nodes and list lines only refer to catalogue objects, which a refresh may free:
// every use goes through the tree's synchronisation (TPBTreeSync::ResolveNode) or finds
// the entry again through its library, never through a stored pointer alone.

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/Orcactrl.h"
#include "search/ObjectSearch.h"
#include "shell/ShellUI.h"
#include "ui/ViewWindow.h"

class QAction;
class QButtonGroup;
class QListView;
class QListWidget;
class QMenu;
class QStackedWidget;
class QToolButton;

namespace views {
class TWinTreeNode;
}

namespace ui {

class TDirectoryListBox;
class TFileListBox;
class TPBWinTree;
class TResultListModel;
class TSourceMemo;
class TSReplace;

class TPickwellForm : public QWidget, public TViewWindow {
    Q_OBJECT

  public:
    enum TViewPage : uint8_t {
        PageApplication = 0,
        PageHierarchy = 1,
        PageDirectory = 2,
        PageSearch = 3
    };

    explicit TPickwellForm(QWidget* parent = nullptr);
    ~TPickwellForm() override;

    // TViewWindow
    void SetViewNumber(unsigned number) override;
    unsigned ViewNumber() const override { return viewNumber_; }
    void Populate() override;
    void CommitSource() override;
    QWidget* Widget() override { return this; }
    void SaveAllRequest() override;
    void PrintRequest() override;
    void RefreshRequest() override;
    void FormDeactivate() override;

    // Called after the view changed pb.ini (an application or a library deleted from
    // it), so that the frame brings every view in line. Unset: this view alone follows.
    std::function<void()> OnCatalogueChanged;

    // ---- Pages -----------------------------------------------------------------------
    TViewPage ViewPage() const { return viewPage_; }
    // Shows a page as its button does.
    void SetViewPage(TViewPage page);
    // The caption of a page, with the view number.
    QString PageCaption(TViewPage page) const;
    catalogue::TPBApp* HierarchyApp() const { return hierarchyApp_; }
    // Times the hierarchy tree was built anew.
    int HierarchyBuilds() const { return hierarchyBuilds_; }

    // ---- Handlers (the menu's and the lists') ------------------------------------------
    void Outline1Click(TPBWinTree* tree);
    void Hierarchy1Click();
    void ExpandAll1Click();
    void OpenAllLibrariesMenuClick();
    void ReloadObjectMenuClick();
    void CopyToClipboardMenuClick();
    void DeleteAppMenuClick();
    void DeleteLibMenuClick();
    // Prints the current tree; false when nothing was printed (cancelled, no tree, a
    // printer that failed, which is reported).
    bool Print1Click();
    void FileListBox1Click();
    void ListBox1Click();
    void ListBox2Click();
    // "Search" and "Replace": takes the program's search dialog over for this view and
    // shows it in find or in replace mode.
    void Search1Click(bool replace);
    // The dialog's events: Find Next and Find All run a search of the scope of the page
    // shown (from the Search page, the scope of the last search), Replace/Undo toggles
    // the selected hits, Cancel and closing the dialog stop a running search.
    void FindDialog1Find(TSReplace& dialog);
    void FindDialog1Replace(TSReplace& dialog);
    void FindDialog1Close(TSReplace& dialog);
    // "Regenerate" and "Rebuild": compiles the entries of the selection of the page shown
    // (a second click, in any view, stops the run before its next entry).
    void CompileMenuClick(bool regenerate);
    // The executable of the selected application, the dynamic library of the selected
    // library (items the menu keeps hidden; the command line reaches the same operations).
    void CreateExecutableMenuClick();
    void CreateDynamicLibraryMenuClick();
    // "Quentis": replicates the application selected in the application tree.
    void ReplicateMenuClick();
    // Check-out and check-in of the entry selected in the tree the menu opened on, and the
    // checked-out entries of the selected library, on the log.
    void CheckOutMenuClick();
    void CheckInMenuClick();
    void ListCheckOutEntriesMenuClick();
    // Sets the context menu's items for a control, as it opens there.
    void PopupMenu1Popup(QWidget* control);

    // Rows per printed page: page height x screen pixels per inch / (row height x
    // printer dots per inch), multiplied before dividing.
    static int RowsPerPage(int pageHeightDots, int screenPpi, int rowHeight, int printerDpi);
    // Pages the last print produced.
    int LastPrintPages() const { return lastPrintPages_; }

    // ---- Searching -------------------------------------------------------------------
    bool Searching() const { return objectSearch_->Searching(); }
    // The page the last search took its scope from.
    TViewPage SearchScope() const { return searchScope_; }
    // What a search started now would search.
    search::TSearchScope CurrentScope() const;
    const search::TObjectSearch& ObjectSearch() const { return *objectSearch_; }
    // Answers the question after each hit of Find Next instead of a message box when set
    // (tests): gets the line and whether the search replaces.
    std::function<shell::TModalResult(int row, bool replaceMode)> AnswerAfterHit;

    // ---- Controls --------------------------------------------------------------------
    TPBWinTree* Outline1 = nullptr;
    TPBWinTree* Outline2 = nullptr;
    TDirectoryListBox* DirectoryListBox1 = nullptr;
    TFileListBox* FileListBox1 = nullptr;
    QListWidget* ListBox1 = nullptr;
    QListView* ListBox2 = nullptr;
    TResultListModel* ResultList = nullptr;
    TSourceMemo* SourceMemo = nullptr;
    QStackedWidget* Notebook = nullptr;
    QToolButton* PageButtons[4] = {};
    QToolButton* SourceSpeedButton = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* ReplaceMenu = nullptr;
    QAction* Search1 = nullptr;
    QAction* ReplicateMenu = nullptr;
    QMenu* CompileMenu = nullptr;
    QAction* RegenerateMenu = nullptr;
    QAction* ImportMenu = nullptr;
    QAction* CreateExecutableMenu = nullptr;
    QAction* CreateDynamicLibraryMenu = nullptr;
    QMenu* SourceControlMenu = nullptr;
    QAction* CheckInMenu = nullptr;
    QAction* CheckOutMenu = nullptr;
    QAction* ListCheckOutEntriesMenu = nullptr;
    QAction* ExpandAll1 = nullptr;
    QAction* OpenAllLibrariesMenu = nullptr;
    QMenu* DeleteAppMenu = nullptr;
    QMenu* DeleteLibMenu = nullptr;
    QAction* ReloadObjectMenu = nullptr;
    QAction* CopyToClipboardMenu = nullptr;
    // The control the context menu last opened on.
    QWidget* PopupComponent() const { return popupComponent_; }
    // The control of the Directory page clicked last (the search scope on that page).
    QWidget* LastDirectoryControl() const { return lastDirectoryControl_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    class TSearchHost;
    friend class TSearchHost;

    void BuildControls();
    void BuildPopupMenu();
    void PageChanged(TViewPage page);
    void Outline1Expand(TPBWinTree* tree, int index);
    void Outline1MouseUp(QWidget* control, const QPoint& pos);
    bool ShowEntry(catalogue::TPBObj* obj, int32_t offset, int32_t length);
    // Adds a node per direct descendant under a hierarchy node that has no children
    // yet, and with recursive to the last generation.
    void AddDescendants(views::TWinTreeNode* node, bool recursive);
    void ReloadObject(catalogue::TPBObj* obj);
    // pb.ini changed under the catalogue: every view follows (this one alone when the
    // frame installed nothing).
    void CatalogueChanged();
    void SelectShownObject(TPBWinTree* tree, int fromIndex);
    void SyncDirectoryToApplication();
    catalogue::TPBApp* SelectedApp() const;
    // Find Next's question after the hit of line row, the box beside the hit.
    shell::TModalResult AskAfterHit(int row, bool replaceMode);
    // The panel follows a replace in the source it shows, unless the user is editing it.
    void SourcesReplaced();
    // Closes the view once a search or compile that held it open is over.
    void CloseIfAsked();
    // The entry reference selected in the tree the context menu opened on, or null.
    catalogue::TPBObjRef* PopupObjRef() const;

    TViewPage viewPage_ = PageApplication;
    unsigned viewNumber_ = 0;
    catalogue::TPBApp* hierarchyApp_ = nullptr;
    bool clickEnabled_ = true;
    int hierarchyBuilds_ = 0;
    QWidget* popupComponent_ = nullptr;
    QWidget* lastDirectoryControl_ = nullptr;
    QButtonGroup* pageGroup_ = nullptr;
    int lastPrintPages_ = 0;
    // The entries of ListBox1, line by line: library, name and type.
    struct TEntryLine {
        catalogue::TPBLib* lib;
        std::string name;
        int type;
    };
    std::vector<TEntryLine> entryLines_;
    std::unique_ptr<TSearchHost> searchHost_;
    std::unique_ptr<search::TObjectSearch> objectSearch_;
    TViewPage searchScope_ = PageApplication;
    // The view was asked to close while a search or a compile ran: it closes when that
    // is over.
    bool closeAfterSearch_ = false;
    bool compiling_ = false;
};

}  // namespace ui
