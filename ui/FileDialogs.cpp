// The program's open and save file dialogs.

#include "ui/FileDialogs.h"

#include <QDir>
#include <QFileDialog>

#include <utility>

namespace ui {

namespace {

TFileChooser& InstalledChooser() {
    static TFileChooser chooser;
    return chooser;
}

}  // namespace

QString ChooseFile(QWidget* parent, const TFileRequest& request) {
    if (const TFileChooser& chooser = InstalledChooser())
        return chooser(parent, request);

    QFileDialog dialog(parent, request.title, request.directory, request.filter);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.chooseDirectory             ? QFileDialog::Directory
                       : request.save || request.mayCreate ? QFileDialog::AnyFile
                                                           : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(QDir(request.directory).filePath(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

void SetFileChooser(TFileChooser chooser) {
    InstalledChooser() = std::move(chooser);
}

}  // namespace ui
