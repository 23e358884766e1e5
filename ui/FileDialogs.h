#pragma once
// The program's open and save file dialogs. Every form asks through ChooseFile, so a
// test (or another front end) can answer all of them at one place.

#include <QString>

#include <functional>

class QWidget;

namespace ui {

// What a form asks the user to choose.
struct TFileRequest {
    bool save = false;       // a save dialog (any name) rather than an open one (existing file)
    QString title;           // the dialog's caption
    QString filter;          // "Description (*.ext)"
    QString defaultSuffix;   // appended to a typed name without an extension
    QString directory;       // host path the dialog starts in
    QString fileName;        // file name proposed in a save dialog
    bool mayCreate = false;  // an open dialog that also takes a name not existing yet
    bool chooseDirectory = false;  // a directory (new ones may be made), not a file
};

// Gives the host path of the chosen file, or an empty text when the user cancels.
using TFileChooser = std::function<QString(QWidget* parent, const TFileRequest&)>;

// Asks through the installed chooser, or through a Qt file dialog when none is installed.
QString ChooseFile(QWidget* parent, const TFileRequest& request);
// Installs the program-wide chooser; an empty one brings the Qt dialogs back.
void SetFileChooser(TFileChooser chooser);

}  // namespace ui
