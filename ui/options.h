#pragma once
// The Preferences dialog: a modal form over a temporary copy of the settings in use
// (shell::OptionsForm()). OK copies them into the settings in use, applies a changed
// PowerBuilder version or pb.ini path and stores everything; Cancel changes nothing.
// Only the General page is offered; the "Quentis" and "Library Refresh" pages keep
// their values (loaded, carried and stored) with their controls disabled.

#include <QDialog>

#include <memory>

#include "shell/OptionsForm.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QToolButton;

namespace ui {

// The texts of the dialog's messages.
inline constexpr const char* SetupCompleteNotice = "Setup complete.  Please restart program.";
inline constexpr const char* CreateLibraryQuestion =
    "Library does not exists.  Do you wish to create the new library?";

class TOptionsForm : public QDialog {
    Q_OBJECT
  public:
    // Loads the stored settings into a temporary form, takes the values in use from
    // shell::OptionsForm() and shows them.
    explicit TOptionsForm(QWidget* parent = nullptr);
    ~TOptionsForm() override;

    // The temporary settings: what the controls showed when last shown or stored.
    shell::TOptionsForm& Settings() { return *settings_; }
    // The settings into the controls, and the controls back into the settings.
    void ShowSettings();
    void StoreSettings();

    // What OK does after the dialog closes: the controls into the temporary settings,
    // those into shell::OptionsForm(), then the version change (the program's App Paths
    // key deleted and set up anew, pb.ini to be located again) or the pb.ini notice,
    // then the settings stored. A failure to store them is reported.
    void ApplySettings();

    // The browse buttons and the refresh choice.
    void PBIniFileButtonClick();
    void TempLibraryButtonClick();
    void CheckOutLibraryButtonClick();
    void ReplicationPathButtonClick();
    void RefreshChoiceClick();

    // Page selection: the three toggle buttons over the notebook.
    QToolButton* GeneralSpeedButton;
    QToolButton* QuentisSpeedButton;
    QToolButton* RefreshSpeedButton;
    QStackedWidget* OptionsNotebook;

    // General.
    QLineEdit* PBIniFileName;
    QPushButton* PBIniFileButton;
    QComboBox* PBVersion;
    QLineEdit* TempLibrary;
    QPushButton* TempLibraryButton;
    QLabel* OrcaDllLabel;
    QLineEdit* OrcaDll;
    // Quentis.
    QLineEdit* ReplicationPath;
    QPushButton* ReplicationPathButton;
    QGroupBox* ReplicateMode;
    QRadioButton* SingleDirectory;
    QRadioButton* MirrorSourceDirectory;
    QLineEdit* RelativePath;
    QLineEdit* CheckOutLibrary;
    QPushButton* CheckOutLibraryButton;
    // Library Refresh.
    QLineEdit* RefreshInterval;
    QRadioButton* AutoRefreshRadioButton;
    QRadioButton* UserRefreshRadioButton;
    QLineEdit* PostDetectionRefreshTimeEdit;
    QGroupBox* RefreshScope;
    QRadioButton* AllLibRefresh;
    QRadioButton* QuentisRefresh;

    QPushButton* OKButton;
    QPushButton* CancelButton;
    QPushButton* HelpButton;

  private:
    // Select-or-create for the temporary and the check-out library.
    void ChooseLibrary(QLineEdit* edit, const char* comment);

    std::unique_ptr<shell::TOptionsForm> settings_;
    QButtonGroup* replicateModeGroup_;
    QButtonGroup* refreshChoiceGroup_;
    QButtonGroup* refreshScopeGroup_;
};

// The Preferences command: the dialog over the settings in use; on OK, ApplySettings.
void RunPreferences(QWidget* parent);

}  // namespace ui
