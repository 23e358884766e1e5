#pragma once
// The search-and-replace dialog: find and replacement texts with their drop-down
// histories, whole-word and case options, the object-type filter and the replace list
// (several find/replace pairs, each with its own options, loaded from and saved to .gsr
// files). One dialog serves the whole program; it is modeless, stays on top, and is
// hidden and shown again between searches. It only collects texts and options: the
// search itself runs in the application view that handles its events.
//
// The list and the check boxes are a search::TReplaceList; the widgets show it and pass
// the user's changes on, so the object search can read the same model.

#include <QDialog>
#include <QString>
#include <array>
#include <functional>
#include <string>

#include "search/ReplaceList.h"
#include "ui/FileDialogs.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace ui {

class TSReplace : public QDialog {
    Q_OBJECT

  public:
    explicit TSReplace(QWidget* parent = nullptr);
    ~TSReplace() override;

    // ---- The model ----
    const search::TReplaceList& List() const { return list_; }
    // The dialog's options: the check boxes' options plus what the opener puts in
    // (srReplaceDlg selects replace mode for the next show) and what the buttons put in
    // while their events run (srFindNext, srReplace, srFindAll).
    search::TSearchOptions& Options() { return list_.Options; }
    const search::TSearchOptions& Options() const { return list_.Options; }
    bool ReplaceMode() const { return list_.Options.Contains(search::srReplaceDlg); }
    int CurrentEntry() const { return list_.CurrentEntry(); }
    // Makes entry i current and applies it: its texts fill both boxes and its option
    // fields set the check boxes (and so Options). Out of range does nothing.
    void SelectEntry(int i);
    // The current entry's texts, as typed (not yet prepared for the engine).
    std::string FindText() const { return list_.CurrentFindText(); }
    std::string ReplaceText() const { return list_.CurrentReplaceText(); }

    // ---- Events ----
    // Each is called only when set, with the dialog as sender. A view takes them over by
    // assigning its own handlers, and clears them when it goes away. While a find or
    // replace event runs (a search lets the user interface run between objects), the
    // list it works through and the options stay as they are: the list buttons but Save
    // and the check boxes are disabled and their handlers do nothing; the texts stay
    // editable and Cancel works.
    using TEvent = std::function<void(TSReplace& sender)>;
    TEvent OnFind;     // Find Next (srFindNext is in Options while it runs)
    TEvent OnReplace;  // Replace/Undo (srReplace is in Options while it runs)
    TEvent OnFindAll;  // Find All (srFindAll is in Options while it runs)
    TEvent OnClose;    // Cancel, and closing the dialog: stop a running search
    // Who set the events (the view that took the dialog over), or null.
    const void* EventOwner = nullptr;
    // True while a find or replace event runs.
    bool Running() const { return running_; }

    // ---- File dialogs ----
    // What the Load and Save buttons ask for goes to this dialog's own chooser when one is
    // set (tests, other front ends), else to the program's file dialogs.
    using TFileRequest = ui::TFileRequest;
    using TFileChooser = ui::TFileChooser;
    void SetFileChooser(TFileChooser chooser) { fileChooser_ = std::move(chooser); }

    // ---- Controls (named as the program's forms name them) ----
    QLabel* FindLabel = nullptr;
    QComboBox* FindEdit = nullptr;
    QLabel* ReplaceLabel = nullptr;
    QComboBox* ReplaceEdit = nullptr;
    QGroupBox* GroupBoxAllObjects = nullptr;
    QGroupBox* GroupBoxMultiSReplace = nullptr;
    // Indexed by search::TReplaceCheckBox; each box's object name is its entry in
    // search::CheckBoxNames.
    std::array<QCheckBox*, search::ReplaceCheckBoxCount> CheckBoxes{};
    QCheckBox* CheckBox(search::TReplaceCheckBox box) const { return CheckBoxes[box]; }
    QPushButton* FindNextButton = nullptr;
    QPushButton* ReplaceButton = nullptr;
    QPushButton* FindAllButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* InsertButton = nullptr;
    QPushButton* DeleteButton = nullptr;
    QPushButton* LoadButton = nullptr;
    QPushButton* SaveButton = nullptr;
    QPushButton* Clear = nullptr;

    // ---- Handlers (what the controls do; callable directly) ----
    void FindNextButtonClick();
    void ReplaceButtonClick();
    void FindAllButtonClick();
    void CancelButtonClick();
    void AddButtonClick();
    void InsertButtonClick();
    void DeleteButtonClick();
    void LoadButtonClick();
    void SaveButtonClick();
    void ClearClick();
    void CheckBoxClick(search::TReplaceCheckBox box, bool checked);

  protected:
    void showEvent(QShowEvent* event) override;
    void reject() override;

  private:
    void CreateControls();
    // Shows or hides the replace controls and sets the caption from Options.
    void ShowMode();
    // Puts the model on screen: both drop-downs' items, the current item, the boxes.
    void ShowList();
    void ShowCheckBoxes();
    void EditChange(QComboBox* box, bool findBox);
    void EditChosen(QComboBox* box, int index);
    // Fires an event with option in Options while it runs. Returns false (and fires
    // nothing) while another find or replace event is still running.
    bool Fire(const TEvent& event, search::TSearchOption option);
    void SetRunning(bool on);
    QString ChooseFile(bool save);

    search::TReplaceList list_;
    TFileChooser fileChooser_;
    int showing_ = 0;  // > 0 while the widgets are being set from the model
    bool running_ = false;
};

// The program's one search dialog, created at start-up with the frame as its parent; the
// first use creates a parentless one when the program made none (tests, other front
// ends). The dialog is freed with its parent; FreeReplaceDialog frees it before that.
TSReplace* CreateReplaceDialog(QWidget* parent);
TSReplace& ReplaceDialog();
// The program's dialog when there is one, else null (nothing is created).
TSReplace* ExistingReplaceDialog();
void FreeReplaceDialog();

}  // namespace ui
