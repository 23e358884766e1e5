#pragma once
// The program's help: our own user guide, HTML pages built into the program, shown in a
// help window inside it (no browser needed).

class QWidget;

namespace ui {

// The help contexts the forms ask for.
inline constexpr int HelpContents = 1;     // the frame's Help command and speed button
inline constexpr int HelpPreferences = 7;  // the Preferences dialog's Help button

// The page shown for a help context ("index.html" for one without a page of its own).
const char* HelpPage(int context);

// Shows the help window at the context's page, raised over the program's windows. Over a
// modal dialog it is parented to that dialog so it can be used while the dialog is up.
void ShowHelp(int context, QWidget* parent = nullptr);

}  // namespace ui
