#include "ui/Ureplace.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/Paths.h"
#include "shell/Utilities.h"
#include "ui/AnsiText.h"
#include "ui/FileDialogs.h"

namespace ui {

namespace {

using search::TReplaceCheckBox;

// File names cross the boundary in the host's own encoding, not as text of the program.
std::string HostBytes(const QString& hostPath) {
    return QFile::encodeName(hostPath).toStdString();
}

// Captions of the check boxes, in TReplaceCheckBox order.
constexpr std::array<const char*, search::ReplaceCheckBoxCount> CheckBoxCaptions = {
    "A&LL",
    "&Application",
    "&Datawindow",
    "&Function",
    "&Menu",
    "&Query",
    "&Structure",
    "&UserObject",
    "&Window",
    "&Pipeline",
    "Pr&oject",
    "Pro&xy",
    "Match whole word onl&y",
    "Match &case",
    "R&eplace Upon Find",
};

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption,
                        const char* hint = nullptr) {
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    if (hint)
        button->setToolTip(QString::fromLatin1(hint));
    return button;
}

QComboBox* MakeEdit(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    // The items are the entries' texts and change only through the list: Return adds
    // nothing and never jumps to another entry with the same text, and typing is not
    // completed from the other entries.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setDuplicatesEnabled(true);
    box->setCompleter(nullptr);
    box->setMinimumContentsLength(28);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    return box;
}

// Runs its action when the scope ends, however it ends.
template <class F>
struct TAtExit {
    F action;
    ~TAtExit() { action(); }
};

}  // namespace

// ---- Creation -----------------------------------------------------------------------

TSReplace::TSReplace(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("SReplace"));
    setModal(false);
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    CreateControls();
    // The list starts with one empty entry and ALL checked, so Options holds srDown and
    // the eleven type options.
    ShowList();
    ShowMode();
    FindEdit->setFocus();
}

TSReplace::~TSReplace() = default;

void TSReplace::CreateControls() {
    FindLabel = new QLabel(QStringLiteral("Find w&hat:"), this);
    FindLabel->setObjectName(QStringLiteral("FindLabel"));
    FindEdit = MakeEdit(this, "FindEdit");
    FindLabel->setBuddy(FindEdit);
    ReplaceLabel = new QLabel(QStringLiteral("Replace wi&th:"), this);
    ReplaceLabel->setObjectName(QStringLiteral("ReplaceLabel"));
    ReplaceEdit = MakeEdit(this, "ReplaceEdit");
    ReplaceLabel->setBuddy(ReplaceEdit);

    GroupBoxAllObjects = new QGroupBox(QStringLiteral("Object Selection"), this);
    GroupBoxAllObjects->setObjectName(QStringLiteral("GroupBoxAllObjects"));
    for (int b = 0; b < search::ReplaceCheckBoxCount; ++b) {
        auto* box = new QCheckBox(QString::fromLatin1(CheckBoxCaptions[b]), this);
        box->setObjectName(
            QString::fromLatin1(search::CheckBoxNames[b].data(),
                                static_cast<qsizetype>(search::CheckBoxNames[b].size())));
        const auto which = static_cast<TReplaceCheckBox>(b);
        connect(box, &QCheckBox::clicked, this,
                [this, which](bool on) { CheckBoxClick(which, on); });
        CheckBoxes[b] = box;
    }
    // ALL and the eleven types, three to a row.
    auto* types = new QGridLayout(GroupBoxAllObjects);
    for (int b = search::cbAllOptions; b <= search::cbProxy; ++b) {
        CheckBoxes[b]->setParent(GroupBoxAllObjects);
        types->addWidget(CheckBoxes[b], b / 3, b % 3);
    }

    FindNextButton = MakeButton(this, "FindNextButton", "F&ind Next");
    ReplaceButton = MakeButton(this, "ReplaceButton", "&Replace/Undo", "Replace Selected Items");
    FindAllButton = MakeButton(this, "FindAllButton", "Find All");
    FindAllButton->setDefault(true);
    CancelButton = MakeButton(this, "CancelButton", "Cancel");

    GroupBoxMultiSReplace = new QGroupBox(QStringLiteral("Talmore: Multi-Search/Replace"), this);
    GroupBoxMultiSReplace->setObjectName(QStringLiteral("GroupBoxMultiSReplace"));
    AddButton =
        MakeButton(GroupBoxMultiSReplace, "AddButton", "Add", "Add Current Item to DropDown List");
    InsertButton = MakeButton(GroupBoxMultiSReplace, "InsertButton", "Insert",
                              "Add Current Item to DropDown List");
    DeleteButton = MakeButton(GroupBoxMultiSReplace, "DeleteButton", "Delete",
                              "Delete Current Item From DropDown List");
    LoadButton = MakeButton(GroupBoxMultiSReplace, "LoadButton", "Load",
                            "Load Global Search and Replace File");
    SaveButton = MakeButton(GroupBoxMultiSReplace, "SaveButton", "Save",
                            "Save Global Search and Replace File");
    Clear = MakeButton(GroupBoxMultiSReplace, "Clear", "Clear", "Clear Items from DropDown List");
    auto* listButtons = new QGridLayout(GroupBoxMultiSReplace);
    listButtons->addWidget(AddButton, 0, 0);
    listButtons->addWidget(InsertButton, 0, 1);
    listButtons->addWidget(DeleteButton, 1, 0);
    listButtons->addWidget(Clear, 1, 1);
    listButtons->addWidget(LoadButton, 2, 0);
    listButtons->addWidget(SaveButton, 2, 1);

    // Left: the texts, the object selection and the text options; right: the commands
    // and the replace-list buttons.
    auto* texts = new QGridLayout;
    texts->addWidget(FindLabel, 0, 0);
    texts->addWidget(FindEdit, 0, 1);
    texts->addWidget(ReplaceLabel, 1, 0);
    texts->addWidget(ReplaceEdit, 1, 1);
    texts->setColumnStretch(1, 1);
    auto* textOptions = new QHBoxLayout;
    textOptions->addWidget(CheckBoxes[search::cbWholeWord]);
    textOptions->addWidget(CheckBoxes[search::cbMatchCase]);
    textOptions->addWidget(CheckBoxes[search::cbReplaceOnFind]);
    textOptions->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addLayout(texts);
    left->addWidget(GroupBoxAllObjects);
    left->addLayout(textOptions);
    left->addStretch(1);

    auto* right = new QVBoxLayout;
    right->addWidget(FindNextButton);
    right->addWidget(ReplaceButton);
    right->addWidget(FindAllButton);
    right->addWidget(CancelButton);
    right->addSpacing(8);
    right->addWidget(GroupBoxMultiSReplace);
    right->addStretch(1);

    auto* main = new QHBoxLayout(this);
    main->addLayout(left, 1);
    main->addLayout(right);
    main->setSizeConstraint(QLayout::SetFixedSize);

    connect(FindNextButton, &QPushButton::clicked, this, [this] { FindNextButtonClick(); });
    connect(ReplaceButton, &QPushButton::clicked, this, [this] { ReplaceButtonClick(); });
    connect(FindAllButton, &QPushButton::clicked, this, [this] { FindAllButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
    connect(AddButton, &QPushButton::clicked, this, [this] { AddButtonClick(); });
    connect(InsertButton, &QPushButton::clicked, this, [this] { InsertButtonClick(); });
    connect(DeleteButton, &QPushButton::clicked, this, [this] { DeleteButtonClick(); });
    connect(LoadButton, &QPushButton::clicked, this, [this] { LoadButtonClick(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { SaveButtonClick(); });
    connect(Clear, &QPushButton::clicked, this, [this] { ClearClick(); });

    for (QComboBox* box : {FindEdit, ReplaceEdit}) {
        connect(box, &QComboBox::editTextChanged, this,
                [this, box](const QString&) { EditChange(box, box == FindEdit); });
        connect(box, &QComboBox::currentIndexChanged, this,
                [this, box](int index) { EditChosen(box, index); });
    }
}

// ---- Showing ------------------------------------------------------------------------

void TSReplace::ShowMode() {
    const bool replace = ReplaceMode();
    ReplaceLabel->setVisible(replace);
    ReplaceEdit->setVisible(replace);
    ReplaceButton->setVisible(replace);
    CheckBoxes[search::cbReplaceOnFind]->setVisible(replace);
    setWindowTitle(replace ? QStringLiteral("Replace") : QStringLiteral("Search"));
}

void TSReplace::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    ShowMode();
    FindNextButton->setFocus();
    FindEdit->setFocus();
    raise();
    activateWindow();
}

void TSReplace::ShowList() {
    ++showing_;
    const int count = list_.Count();
    for (QComboBox* box : {FindEdit, ReplaceEdit}) {
        const bool findBox = box == FindEdit;
        bool same = box->count() == count;
        for (int i = 0; same && i < count; ++i)
            same = box->itemText(i) == FromAnsi(findBox ? list_.FindText(i) : list_.ReplaceText(i));
        if (!same) {
            box->clear();
            for (int i = 0; i < count; ++i)
                box->addItem(FromAnsi(findBox ? list_.FindText(i) : list_.ReplaceText(i)));
        }
        box->setCurrentIndex(list_.CurrentEntry());
        const QString text = box->itemText(list_.CurrentEntry());
        if (box->currentText() != text)
            box->setEditText(text);
    }
    --showing_;
    ShowCheckBoxes();
}

void TSReplace::ShowCheckBoxes() {
    ++showing_;
    for (int b = 0; b < search::ReplaceCheckBoxCount; ++b)
        CheckBoxes[b]->setChecked(list_.Checked(static_cast<TReplaceCheckBox>(b)));
    --showing_;
}

void TSReplace::SelectEntry(int i) {
    list_.SelectEntry(i);
    ShowList();
}

// ---- Texts --------------------------------------------------------------------------

void TSReplace::EditChange(QComboBox* box, bool findBox) {
    if (showing_ > 0)
        return;
    // Choosing an item from the drop-down sets the edit text before the index change is
    // announced: the chosen entry becomes current.
    const int index = box->currentIndex();
    if (index >= 0 && index != list_.CurrentEntry()) {
        SelectEntry(index);
        return;
    }
    // The user typed: the current entry takes the text, as a line can hold it.
    QLineEdit* edit = box->lineEdit();
    const int caret = edit->cursorPosition();
    const std::string text = ToAnsi(box->currentText());
    if (findBox)
        list_.SetFindText(text);
    else
        list_.SetReplaceText(text);
    const QString stored = FromAnsi(findBox ? list_.CurrentFindText() : list_.CurrentReplaceText());
    ++showing_;
    if (box->currentText() == stored) {
        // Only the drop-down item follows: changing the current item sets the edit's
        // text again, which would clear its undo history (Ctrl+Z) at every keystroke.
        const QSignalBlocker quiet(box->model());
        box->setItemText(list_.CurrentEntry(), stored);
    } else {
        // The entry could not hold what was typed (a control character, a character
        // the code page lacks): the edit shows what it holds.
        box->setItemText(list_.CurrentEntry(), stored);
        if (box->currentText() != stored)
            box->setEditText(stored);
        edit->setCursorPosition(std::min<int>(caret, static_cast<int>(stored.size())));
        edit->deselect();
    }
    --showing_;
}

void TSReplace::EditChosen(QComboBox* /*box*/, int index) {
    if (showing_ > 0 || index < 0 || index == list_.CurrentEntry())
        return;
    SelectEntry(index);
}

// ---- Check boxes --------------------------------------------------------------------

void TSReplace::CheckBoxClick(TReplaceCheckBox box, bool checked) {
    if (showing_ > 0)
        return;
    if (running_) {
        ShowCheckBoxes();  // the search keeps the options it runs with
        return;
    }
    // The list keeps ALL and the types in step and puts the box's option (found through
    // its name) into Options or takes it out.
    list_.SetChecked(box, checked);
    ShowCheckBoxes();
}

// ---- Commands -----------------------------------------------------------------------

void TSReplace::SetRunning(bool on) {
    running_ = on;
    for (QWidget* control : {AddButton, InsertButton, DeleteButton, Clear, LoadButton})
        control->setEnabled(!on);
    for (QCheckBox* box : CheckBoxes)
        box->setEnabled(!on);
}

bool TSReplace::Fire(const TEvent& event, search::TSearchOption option) {
    // A search lets the user interface run between objects; a second command while one
    // runs would start a search inside the search. Cancel stays available.
    if (running_)
        return false;
    // Replace Upon Find belongs to replace mode: its box is hidden in find mode, so a
    // search started there never replaces.
    const bool dropReplaceOnFind = !ReplaceMode();
    if (dropReplaceOnFind)
        Options().Exclude(search::srReplaceOnFind);
    Options().Include(option);
    SetRunning(true);
    // However the event ends (finished, cancelled or by an exception).
    const TAtExit done{[&] {
        Options().Exclude(option);
        if (dropReplaceOnFind)
            Options().Set(search::srReplaceOnFind, list_.Checked(search::cbReplaceOnFind));
        SetRunning(false);
    }};
    if (event)
        event(*this);
    return true;
}

void TSReplace::FindNextButtonClick() {
    if (running_)
        return;
    CancelButton->setFocus();
    Fire(OnFind, search::srFindNext);
    FindNextButton->setFocus();
}

void TSReplace::ReplaceButtonClick() {
    Fire(OnReplace, search::srReplace);
}

void TSReplace::FindAllButtonClick() {
    if (running_)
        return;
    CancelButton->setFocus();
    Fire(OnFindAll, search::srFindAll);
    FindAllButton->setFocus();
}

void TSReplace::CancelButtonClick() {
    if (OnClose)
        OnClose(*this);
}

void TSReplace::reject() {
    // Closing the dialog (its close box or Escape) stops a running search too; the
    // dialog is only hidden.
    if (OnClose)
        OnClose(*this);
    QDialog::reject();
}

void TSReplace::AddButtonClick() {
    if (running_)
        return;
    list_.Add();
    ShowList();
    FindEdit->setFocus();
}

void TSReplace::InsertButtonClick() {
    if (running_)
        return;
    list_.Insert();
    ShowList();
    FindEdit->setFocus();
}

void TSReplace::DeleteButtonClick() {
    if (running_)
        return;
    list_.Delete();
    ShowList();
}

void TSReplace::ClearClick() {
    if (running_)
        return;
    list_.Clear();
    ShowList();
}

// ---- Replace-list files -------------------------------------------------------------

QString TSReplace::ChooseFile(bool save) {
    TFileRequest request;
    request.save = save;
    request.title = save ? QStringLiteral("Save Global Search and Replace File")
                         : QStringLiteral("Load Global Search and Replace File");
    request.filter = QStringLiteral("Global Search and Replace Files (*.gsr)");
    request.defaultSuffix = QStringLiteral("gsr");
    request.directory = QFile::decodeName(QByteArray::fromStdString(
        shell::ProgramDir().empty() ? std::string() : platform::HostPath(shell::ProgramDir())));
    if (fileChooser_)
        return fileChooser_(this, request);

    return ui::ChooseFile(this, request);
}

void TSReplace::LoadButtonClick() {
    if (running_)
        return;
    const QString chosen = ChooseFile(false);
    if (!chosen.isEmpty()) {
        // A file that is no replace list leaves the list as it was.
        const std::string error = list_.LoadFromFile(platform::WindowsPath(HostBytes(chosen)));
        if (!error.empty()) {
            ShowList();
            shell::AskUser(error, shell::TMsgDlgType::mtError, shell::mbOK);
            return;
        }
    } else {
        list_.SelectEntry(0);
    }
    ShowList();
}

void TSReplace::SaveButtonClick() {
    const QString chosen = ChooseFile(true);
    if (chosen.isEmpty())
        return;
    const std::string error = list_.SaveToFile(platform::WindowsPath(HostBytes(chosen)));
    if (!error.empty())
        shell::AskUser(error, shell::TMsgDlgType::mtError, shell::mbOK);
}

// ---- The program's dialog ------------------------------------------------------------

namespace {
TSReplace* programDialog = nullptr;
}

TSReplace* CreateReplaceDialog(QWidget* parent) {
    FreeReplaceDialog();
    programDialog = new TSReplace(parent);
    QObject::connect(programDialog, &QObject::destroyed, [] { programDialog = nullptr; });
    return programDialog;
}

TSReplace& ReplaceDialog() {
    if (!programDialog)
        CreateReplaceDialog(nullptr);
    return *programDialog;
}

TSReplace* ExistingReplaceDialog() {
    return programDialog;
}

void FreeReplaceDialog() {
    delete programDialog;
    programDialog = nullptr;
}

}  // namespace ui
