// The check-out dialog.

#include "ui/CheckOutForm.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include "build/CheckOut.h"
#include "platform/Paths.h"
#include "shell/Utilities.h"
#include "ui/AnsiText.h"
#include "ui/FileDialogs.h"

namespace ui {

TCheckOutForm::TCheckOutForm(QWidget* parent) : QDialog(parent) {
    setObjectName("CheckOutForm");
    setWindowTitle("Check Out");
    setWindowFlags(Qt::Dialog | Qt::WindowMinimizeButtonHint);
    setModal(false);
    auto* grid = new QGridLayout(this);
    UserIDEdit = new QLineEdit(this);
    UserIDEdit->setObjectName("UserIDEdit");
    DestLibraryEdit = new QLineEdit(this);
    DestLibraryEdit->setObjectName("DestLibraryEdit");
    DestLibraryEdit->setMinimumWidth(320);
    grid->addWidget(new QLabel("User ID:", this), 0, 0);
    grid->addWidget(UserIDEdit, 0, 1);
    grid->addWidget(new QLabel("Destination:", this), 1, 0);
    grid->addWidget(DestLibraryEdit, 1, 1);
    auto* buttons = new QHBoxLayout;
    OpenButton = new QPushButton("&Ok", this);
    OpenButton->setObjectName("OpenButton");
    CancelButton = new QPushButton("&Cancel", this);
    CancelButton->setObjectName("CancelButton");
    for (QPushButton* b : {OpenButton, CancelButton}) {
        b->setToolTip("Click to Select Destination Library");
        buttons->addWidget(b);
    }
    OpenButton->setDefault(true);
    grid->addLayout(buttons, 2, 0, 1, 2);
    connect(OpenButton, &QPushButton::clicked, this, [this] { OpenButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::close);
}

void TCheckOutForm::SetCheckOutEntryRef(catalogue::TPBObjRef* ref) {
    appKey_ = ref ? ref->App.AppKey() : std::string();
    lib_ = ref && ref->Obj ? ref->Obj->Lib : nullptr;
    name_ = ref && ref->Obj ? ref->Obj->Name : std::string();
    type_ = ref && ref->Obj ? ref->Obj->EntryType : 0;
}

catalogue::TPBObjRef* TCheckOutForm::CheckOutEntryRef() const {
    if (!lib_ || !catalogue::HasOrcaMgr())
        return nullptr;
    catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    for (int i = 0; i < mgr.Apps.Count(); ++i) {
        if (mgr.Apps[i]->AppKey() != appKey_)
            continue;
        for (int j = 0; j < mgr.Apps[i]->LibRefs.Count(); ++j)
            if (mgr.Apps[i]->LibRef(j)->Lib == lib_)
                return mgr.Apps[i]->LibRef(j)->FindObjRef(name_, type_);
    }
    return nullptr;
}

void TCheckOutForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    // Once the dialog is on screen: the file dialog opens over it.
    QTimer::singleShot(0, this, [this] {
        TFileRequest request;
        request.title = "Destination Library";
        request.filter = "PowerBuilder Library (*.pbl)";
        request.mayCreate = true;
        if (lib_)
            request.directory = FromAnsi(platform::HostPath(shell::ExtractDir(lib_->Name)));
        const QString chosen = ChooseFile(this, request);
        if (!chosen.isEmpty())
            DestLibraryEdit->setText(FromAnsi(platform::WindowsPath(ToAnsi(chosen))));
    });
}

bool TCheckOutForm::OpenButtonClick() {
    catalogue::TPBObjRef* ref = CheckOutEntryRef();
    bool ok = false;
    if (ref)
        ok = build::CheckOutEntry(*ref, ToAnsi(DestLibraryEdit->text().trimmed()),
                                  ToAnsi(UserIDEdit->text()));
    else
        shell::LogMessage("Not checked out: " + name_ + " is no longer in its library.");
    close();
    return ok;
}

namespace {
TCheckOutForm* programForm = nullptr;
}

TCheckOutForm* CreateCheckOutForm(QWidget* parent) {
    FreeCheckOutForm();
    programForm = new TCheckOutForm(parent);
    QObject::connect(programForm, &QObject::destroyed, [] { programForm = nullptr; });
    return programForm;
}

TCheckOutForm& CheckOutForm() {
    if (!programForm)
        CreateCheckOutForm(nullptr);
    return *programForm;
}

void FreeCheckOutForm() {
    delete programForm;
    programForm = nullptr;
}

}  // namespace ui
