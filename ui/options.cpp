// The Preferences dialog and its command.

#include "ui/options.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "catalogue/Orcactrl.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "shell/Utilities.h"
#include "ui/AnsiText.h"
#include "ui/FileDialogs.h"
#include "ui/Help.h"

namespace ui {

namespace {

// Host paths cross the boundary in the host's own encoding.
QString HostName(const std::string& hostPath) {
    return QFile::decodeName(QByteArray::fromStdString(hostPath));
}
// The shortest Windows form of a host path chosen in a dialog.
std::string WindowsName(const QString& hostPath) {
    return platform::WindowsPath(QFile::encodeName(hostPath).toStdString());
}
// The host folder a dialog starts in for a Windows path's directory part.
QString StartDirectory(const std::string& windowsPath) {
    const std::string dir = shell::ExtractDir(windowsPath);
    if (dir.empty())
        return {};
    const std::string host = platform::HostPath(dir + "\\");
    return host.empty() ? QString() : HostName(host);
}
// The file name part of a Windows path.
QString FileNamePart(const std::string& windowsPath) {
    const size_t cut = windowsPath.find_last_of("\\:/");
    return FromAnsi(cut == std::string::npos ? windowsPath : windowsPath.substr(cut + 1));
}
bool HasPblExtension(const std::string& name) {
    const size_t dot = name.find_last_of(".\\:");
    if (dot == std::string::npos || name[dot] != '.')
        return false;
    std::string ext = name.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return ext == ".PBL";
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setReadOnly(true);
    edit->setMinimumWidth(260);
    return edit;
}
QPushButton* BrowseButton(QWidget* parent, const char* name) {
    auto* button = new QPushButton(QStringLiteral("..."), parent);
    button->setObjectName(QLatin1String(name));
    button->setFixedWidth(28);
    return button;
}
QRadioButton* Radio(const QString& caption, QWidget* parent, const char* name) {
    auto* button = new QRadioButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}
// Shows a pair of choices as stored: either may be on, or neither.
void ShowPair(QButtonGroup* group, QRadioButton* first, bool firstOn, QRadioButton* second,
              bool secondOn) {
    group->setExclusive(false);
    first->setChecked(firstOn);
    second->setChecked(secondOn);
    group->setExclusive(true);
}

}  // namespace

TOptionsForm::TOptionsForm(QWidget* parent)
    : QDialog(parent), settings_(std::make_unique<shell::TOptionsForm>()) {
    setObjectName(QStringLiteral("OptionsForm"));
    setWindowTitle(QStringLiteral("Preferences"));
    setModal(true);

    // The page buttons.
    auto* pageButtons = new QButtonGroup(this);
    auto pageButton = [&](const char* caption, const char* name, int page) {
        auto* button = new QToolButton(this);
        button->setText(QLatin1String(caption));
        button->setObjectName(QLatin1String(name));
        button->setCheckable(true);
        button->setAutoRaise(true);
        pageButtons->addButton(button, page);
        return button;
    };
    GeneralSpeedButton = pageButton("General", "GeneralSpeedButton", 0);
    QuentisSpeedButton = pageButton("Quentis", "QuentisSpeedButton", 1);
    RefreshSpeedButton = pageButton("Library Refresh", "RefreshSpeedButton", 2);
    GeneralSpeedButton->setChecked(true);
    OptionsNotebook = new QStackedWidget(this);
    OptionsNotebook->setObjectName(QStringLiteral("OptionsNotebook"));
    connect(pageButtons, &QButtonGroup::idClicked, OptionsNotebook,
            &QStackedWidget::setCurrentIndex);

    // General.
    auto* general = new QWidget(OptionsNotebook);
    auto* g = new QGridLayout(general);
    PBIniFileName = ReadOnlyEdit(general, "PBIniFileName");
    PBIniFileButton = BrowseButton(general, "PBIniFileButton");
    PBVersion = new QComboBox(general);
    PBVersion->setObjectName(QStringLiteral("PBVersion"));
    for (const std::string& label : settings_->PBVersion.Items)
        PBVersion->addItem(FromAnsi(label));
    TempLibrary = ReadOnlyEdit(general, "TempLibrary");
    TempLibraryButton = BrowseButton(general, "TempLibraryButton");
    OrcaDllLabel = new QLabel(QStringLiteral("Orca DLL Location"), general);
    OrcaDll = ReadOnlyEdit(general, "OrcaDll");
    OrcaDllLabel->hide();
    OrcaDll->hide();
    g->addWidget(new QLabel(QStringLiteral("PB Ini File"), general), 0, 0);
    g->addWidget(PBIniFileName, 0, 1);
    g->addWidget(PBIniFileButton, 0, 2);
    g->addWidget(new QLabel(QStringLiteral("PB Version"), general), 1, 0);
    g->addWidget(PBVersion, 1, 1, Qt::AlignLeft);
    g->addWidget(new QLabel(QStringLiteral("Temporary Library"), general), 2, 0);
    g->addWidget(TempLibrary, 2, 1);
    g->addWidget(TempLibraryButton, 2, 2);
    g->addWidget(OrcaDllLabel, 3, 0);
    g->addWidget(OrcaDll, 3, 1);
    g->setRowStretch(4, 1);
    OptionsNotebook->addWidget(general);

    // Quentis: not offered, its values carried.
    auto* quentis = new QWidget(OptionsNotebook);
    auto* q = new QGridLayout(quentis);
    ReplicationPath = ReadOnlyEdit(quentis, "ReplicationPath");
    ReplicationPathButton = BrowseButton(quentis, "ReplicationPathButton");
    ReplicateMode = new QGroupBox(QStringLiteral("Replicate Mode"), quentis);
    SingleDirectory = Radio(QStringLiteral("Single Directory"), ReplicateMode, "SingleDirectory");
    MirrorSourceDirectory =
        Radio(QStringLiteral("Mirror Source Directory"), ReplicateMode, "MirrorSourceDirectory");
    auto* modeLayout = new QVBoxLayout(ReplicateMode);
    modeLayout->addWidget(SingleDirectory);
    modeLayout->addWidget(MirrorSourceDirectory);
    ReplicateMode->hide();
    replicateModeGroup_ = new QButtonGroup(this);
    replicateModeGroup_->addButton(SingleDirectory);
    replicateModeGroup_->addButton(MirrorSourceDirectory);
    RelativePath = new QLineEdit(quentis);
    RelativePath->setObjectName(QStringLiteral("RelativePath"));
    RelativePath->hide();
    CheckOutLibrary = ReadOnlyEdit(quentis, "CheckOutLibrary");
    CheckOutLibraryButton = BrowseButton(quentis, "CheckOutLibraryButton");
    q->addWidget(new QLabel(QStringLiteral("Replication Directory"), quentis), 0, 0);
    q->addWidget(ReplicationPath, 0, 1);
    q->addWidget(ReplicationPathButton, 0, 2);
    q->addWidget(ReplicateMode, 1, 1);
    q->addWidget(RelativePath, 2, 1);
    q->addWidget(new QLabel(QStringLiteral("Check Out Library"), quentis), 3, 0);
    q->addWidget(CheckOutLibrary, 3, 1);
    q->addWidget(CheckOutLibraryButton, 3, 2);
    q->setRowStretch(4, 1);
    OptionsNotebook->addWidget(quentis);

    // Library Refresh: not offered, its values carried.
    auto* refresh = new QWidget(OptionsNotebook);
    auto* r = new QGridLayout(refresh);
    RefreshInterval = new QLineEdit(refresh);
    RefreshInterval->setObjectName(QStringLiteral("RefreshInterval"));
    AutoRefreshRadioButton =
        Radio(QStringLiteral("Auto Refresh"), refresh, "AutoRefreshRadioButton");
    UserRefreshRadioButton =
        Radio(QStringLiteral("User Refresh"), refresh, "UserRefreshRadioButton");
    refreshChoiceGroup_ = new QButtonGroup(this);
    refreshChoiceGroup_->addButton(AutoRefreshRadioButton);
    refreshChoiceGroup_->addButton(UserRefreshRadioButton);
    PostDetectionRefreshTimeEdit = new QLineEdit(refresh);
    PostDetectionRefreshTimeEdit->setObjectName(QStringLiteral("PostDetectionRefreshTimeEdit"));
    RefreshScope = new QGroupBox(QStringLiteral("Refresh Scope"), refresh);
    AllLibRefresh = Radio(QStringLiteral("All Libraries"), RefreshScope, "AllLibRefresh");
    QuentisRefresh = Radio(QStringLiteral("Replication Only"), RefreshScope, "QuentisRefresh");
    auto* scopeLayout = new QVBoxLayout(RefreshScope);
    scopeLayout->addWidget(AllLibRefresh);
    scopeLayout->addWidget(QuentisRefresh);
    refreshScopeGroup_ = new QButtonGroup(this);
    refreshScopeGroup_->addButton(AllLibRefresh);
    refreshScopeGroup_->addButton(QuentisRefresh);
    r->addWidget(new QLabel(QStringLiteral("Library Change Detection Interval"), refresh), 0, 0);
    r->addWidget(RefreshInterval, 0, 1);
    r->addWidget(new QLabel(QStringLiteral("Sec"), refresh), 0, 2);
    r->addWidget(AutoRefreshRadioButton, 1, 0);
    r->addWidget(UserRefreshRadioButton, 2, 0);
    r->addWidget(new QLabel(QStringLiteral("Post Detection Refresh Time"), refresh), 3, 0);
    r->addWidget(PostDetectionRefreshTimeEdit, 3, 1);
    r->addWidget(new QLabel(QStringLiteral("Sec"), refresh), 3, 2);
    r->addWidget(RefreshScope, 4, 0, 1, 3);
    OptionsNotebook->addWidget(refresh);
    connect(AutoRefreshRadioButton, &QRadioButton::toggled, this,
            &TOptionsForm::RefreshChoiceClick);
    connect(UserRefreshRadioButton, &QRadioButton::toggled, this,
            &TOptionsForm::RefreshChoiceClick);

    // Only the General page is offered.
    QuentisSpeedButton->hide();
    RefreshSpeedButton->hide();
    quentis->setEnabled(false);
    refresh->setEnabled(false);
    // The pages not offered do not size the dialog (the notebook takes its largest page).
    quentis->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    refresh->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("CancelButton"));
    HelpButton = new QPushButton(QStringLiteral("&Help"), this);
    HelpButton->setObjectName(QStringLiteral("HelpButton"));
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, [this] { ShowHelp(HelpPreferences, this); });
    connect(PBIniFileButton, &QPushButton::clicked, this, &TOptionsForm::PBIniFileButtonClick);
    connect(TempLibraryButton, &QPushButton::clicked, this, &TOptionsForm::TempLibraryButtonClick);
    connect(CheckOutLibraryButton, &QPushButton::clicked, this,
            &TOptionsForm::CheckOutLibraryButtonClick);
    connect(ReplicationPathButton, &QPushButton::clicked, this,
            &TOptionsForm::ReplicationPathButtonClick);

    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    top->addWidget(GeneralSpeedButton);
    top->addWidget(QuentisSpeedButton);
    top->addWidget(RefreshSpeedButton);
    top->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(CancelButton);
    buttons->addWidget(HelpButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(OptionsNotebook);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed border

    // The values in use, not only what was last stored.
    settings_->AssignSettings(shell::OptionsForm());
    ShowSettings();
}

TOptionsForm::~TOptionsForm() = default;

void TOptionsForm::ShowSettings() {
    const shell::TOptionsForm& s = *settings_;
    PBIniFileName->setText(FromAnsi(s.PBIniFileName));
    PBVersion->setCurrentIndex(s.PBVersion.ItemIndex);
    RefreshInterval->setText(FromAnsi(s.RefreshInterval));
    PostDetectionRefreshTimeEdit->setText(FromAnsi(s.PostDetectionRefreshTimeEdit));
    CheckOutLibrary->setText(FromAnsi(s.CheckOutLibrary));
    ReplicationPath->setText(FromAnsi(s.ReplicationPath));
    ShowPair(replicateModeGroup_, SingleDirectory, s.SingleDirectory.Checked(),
             MirrorSourceDirectory, s.MirrorSourceDirectory.Checked());
    ShowPair(refreshChoiceGroup_, AutoRefreshRadioButton, s.AutoRefreshRadioButton.Checked(),
             UserRefreshRadioButton, s.UserRefreshRadioButton.Checked());
    ShowPair(refreshScopeGroup_, AllLibRefresh, s.AllLibRefresh.Checked(), QuentisRefresh,
             s.QuentisRefresh.Checked());
    OrcaDll->setText(FromAnsi(s.OrcaDll));
    TempLibrary->setText(FromAnsi(s.TempLibrary));
    RefreshChoiceClick();
}

void TOptionsForm::StoreSettings() {
    shell::TOptionsForm& s = *settings_;
    s.PBIniFileName = ToAnsi(PBIniFileName->text());
    s.PBVersion.ItemIndex = PBVersion->currentIndex();
    s.RefreshInterval = ToAnsi(RefreshInterval->text());
    s.PostDetectionRefreshTimeEdit = ToAnsi(PostDetectionRefreshTimeEdit->text());
    s.CheckOutLibrary = ToAnsi(CheckOutLibrary->text());
    s.ReplicationPath = ToAnsi(ReplicationPath->text());
    // In the order of the stored values: a pair shown with neither on stays so.
    s.SingleDirectory.SetChecked(SingleDirectory->isChecked());
    s.MirrorSourceDirectory.SetChecked(MirrorSourceDirectory->isChecked());
    s.AutoRefreshRadioButton.SetChecked(AutoRefreshRadioButton->isChecked());
    s.UserRefreshRadioButton.SetChecked(UserRefreshRadioButton->isChecked());
    s.AllLibRefresh.SetChecked(AllLibRefresh->isChecked());
    s.QuentisRefresh.SetChecked(QuentisRefresh->isChecked());
    s.OrcaDll = ToAnsi(OrcaDll->text());
    s.TempLibrary = ToAnsi(TempLibrary->text());
}

void TOptionsForm::ApplySettings() {
    StoreSettings();
    shell::TOptionsForm& inUse = shell::OptionsForm();
    const bool pbIniChanged = settings_->PBIniFileName != inUse.PBIniFileName;
    const bool versionChanged = settings_->PBVersion.Text() != inUse.PBVersion.Text();
    inUse.AssignSettings(*settings_);
    if (versionChanged) {
        // Register the new version; pb.ini is located anew for it.
        platform::TRegistry reg(platform::TRootKey::LocalMachine);
        reg.DeleteKey(shell::ProgramAppPathsKey());
        catalogue::OrcaMgr().Location.SetupPBAppPath();
        inUse.PBIniFileName.clear();
    } else if (pbIniChanged) {
        shell::ShowNotice(SetupCompleteNotice);
    }
    if (!inUse.SaveSettings())
        shell::AskUser("The settings could not be stored: " + platform::LastErrorText(),
                       shell::TMsgDlgType::mtError, shell::mbOK);
}

void TOptionsForm::PBIniFileButtonClick() {
    const std::string current = ToAnsi(PBIniFileName->text());
    TFileRequest request;
    request.title = QStringLiteral("PB INI File");
    request.filter = QStringLiteral("Initialization Files (*.ini)");
    request.directory = StartDirectory(current);
    request.fileName = FileNamePart(current);
    const QString chosen = ChooseFile(this, request);
    if (!chosen.isEmpty())
        PBIniFileName->setText(FromAnsi(WindowsName(chosen)));
}

void TOptionsForm::TempLibraryButtonClick() {
    ChooseLibrary(TempLibrary, "Temporary library");
}

void TOptionsForm::CheckOutLibraryButtonClick() {
    ChooseLibrary(CheckOutLibrary, "Check out library");
}

void TOptionsForm::ChooseLibrary(QLineEdit* edit, const char* comment) {
    TFileRequest request;
    request.title = QStringLiteral("Library Select/Create");
    request.filter = QStringLiteral("PBL (*.pbl)");
    request.defaultSuffix = QStringLiteral("pbl");
    request.mayCreate = true;
    request.directory = StartDirectory(ToAnsi(edit->text()));
    const QString chosen = ChooseFile(this, request);
    if (chosen.isEmpty())
        return;
    std::string name = WindowsName(chosen);
    if (!shell::FileFound(name)) {
        // The library is created, and named, with its extension: the setting names the
        // file that exists. A name whose library already exists with the extension
        // takes that library.
        std::string library = name;
        if (!HasPblExtension(library))
            library += ".pbl";
        if (shell::FileFound(library)) {
            name = library;
        } else if (shell::AskUser(CreateLibraryQuestion, shell::TMsgDlgType::mtConfirmation,
                                  shell::mbYes | shell::mbNo) == shell::mrYes) {
            catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
            // A library that cannot be created is reported by the ORCA session (and a
            // missing ORCA library by its set-up); the edit takes the name all the same.
            if (mgr.LoadOrcaDll())
                mgr.GetSession().LibraryCreate(library, comment);
            name = library;
        }
    }
    edit->setText(FromAnsi(name));
}

void TOptionsForm::ReplicationPathButtonClick() {
    const std::string current = ToAnsi(ReplicationPath->text());
    TFileRequest request;
    request.title = QStringLiteral("Replication Directory");
    request.chooseDirectory = true;
    if (!current.empty()) {
        const std::string host = platform::HostPath(current);
        if (!host.empty())
            request.directory = HostName(host);
    }
    const QString chosen = ChooseFile(this, request);
    if (!chosen.isEmpty())
        ReplicationPath->setText(FromAnsi(WindowsName(chosen)));
}

void TOptionsForm::RefreshChoiceClick() {
    // Auto Refresh: the post-detection time applies; User Refresh: it does not.
    const bool on = !UserRefreshRadioButton->isChecked();
    PostDetectionRefreshTimeEdit->setEnabled(on);
    QPalette pal = PostDetectionRefreshTimeEdit->palette();
    pal.setColor(QPalette::Base, palette().color(on ? QPalette::Base : QPalette::Button));
    PostDetectionRefreshTimeEdit->setPalette(pal);
}

void RunPreferences(QWidget* parent) {
    TOptionsForm dialog(parent);
    if (dialog.exec() == QDialog::Accepted)
        dialog.ApplySettings();
}

}  // namespace ui
