#pragma once
// The stored settings and the PowerBuilder version they select.
//
// TOptionsForm holds the settings while the program runs, one field per control of the
// Preferences form (the Qt dialog copies them in and out). One instance, OptionsForm(),
// holds the settings in use; the Preferences dialog edits a temporary one. Settings live
// in HKEY_CURRENT_USER\Software\Vellanor\Sorvanti 2 as strings: numbers in decimal,
// booleans "0"/"1"; a value that is missing or does not parse takes its default.
//
// TPBLocation finds PowerBuilder's pb.ini for the chosen version and registers the
// program's own App Paths entry beside PowerBuilder's; the catalogue manager owns one.

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace shell {

// The product title: the registry subkey of the settings under Software\Vellanor.
inline constexpr std::string_view ProductTitle = "Sorvanti 2";

// One supported PowerBuilder version.
struct TPBVersionInfo {
    std::string_view Label;      // in the version list
    std::string_view OrcaDll;    // the ORCA library's Windows file name
    std::string_view PBProgram;  // PowerBuilder's program: its App Paths subkey
    std::string_view WinIniKey;  // key of section "PowerBuilder" in WIN.INI
    int Number;                  // the version number shown in messages
    bool Unicode;                // its ORCA library creates Unicode libraries
};

// PowerBuilder 10 and later write Unicode libraries; one ORCA library serves them all.
inline constexpr std::array<TPBVersionInfo, 4> PBVersionTable{{
    {"PB4 32-bit", "PBOrc040.dll", "PB040.exe", "InitPath040", 4, false},
    {"PB5 32-bit", "Pborc050.dll", "PB050.exe", "InitPath050", 5, false},
    {"PB6 32-bit", "PBOrc60.dll", "PB60.exe", "InitPath60", 6, false},
    {"PB10+ Unicode", "PBOrc100.dll", "PB100.exe", "InitPath100", 10, true},
}};
inline constexpr int DefaultPBVersion = 1;

// The App Paths key prefix under HKEY_LOCAL_MACHINE. Value "Path" is a program's search
// directories, the unnamed default value its full path.
inline constexpr std::string_view AppPathsKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// The App Paths key of the running program (the prefix and its file name).
std::string ProgramAppPathsKey();

// A radio button of a pair: checking it unchecks its partner; unchecking it leaves the
// partner as it is.
class TRadioButton {
  public:
    bool Checked() const { return checked_; }
    void SetChecked(bool value) {
        checked_ = value;
        if (value && partner_)
            partner_->checked_ = false;
    }

  private:
    friend class TOptionsForm;
    bool checked_ = false;
    TRadioButton* partner_ = nullptr;
};

// The drop-down list of versions.
struct TComboBox {
    std::vector<std::string> Items;
    int ItemIndex = -1;
    // The selected label, or empty.
    std::string Text() const {
        return ItemIndex >= 0 && ItemIndex < static_cast<int>(Items.size())
                   ? Items[static_cast<size_t>(ItemIndex)]
                   : std::string();
    }
};

// What the front end's timer needs: whether it runs and its interval. OnChange (set by
// the front end) is called after every change so that the real timer follows.
class TTimerSettings {
  public:
    explicit TTimerSettings(bool enabled) : enabled_(enabled) {}
    bool Enabled() const { return enabled_; }
    unsigned Interval() const { return interval_; }  // milliseconds
    void SetEnabled(bool value) {
        enabled_ = value;
        Changed();
    }
    void SetInterval(unsigned milliseconds) {
        interval_ = milliseconds;
        Changed();
    }
    std::function<void()> OnChange;

  private:
    void Changed() {
        if (OnChange)
            OnChange();
    }
    bool enabled_;
    unsigned interval_ = 1000;
};

// Seconds between change-detection passes and between a detected change and the
// automatic refresh, when the stored text is not a number.
inline constexpr unsigned DefaultRefreshInterval = 30;
inline constexpr unsigned DefaultPostDetectionRefreshTime = 60;

// A timer interval from the seconds typed into an interval edit: decimal digits with
// blanks around them allowed. Any other text, and a number too large for a timer (more
// than a 32-bit count of milliseconds holds), gives the default; "0" gives 0, a timer
// that never fires.
unsigned IntervalMilliseconds(std::string_view secondsText, unsigned defaultSeconds);

class TOptionsForm {
  public:
    // Fills the version list and loads the stored settings.
    TOptionsForm();
    TOptionsForm(const TOptionsForm&) = delete;
    TOptionsForm& operator=(const TOptionsForm&) = delete;

    // Reads every stored value (its default when missing or bad) into its control, then
    // sets the two timer intervals.
    void LoadSettings();
    // Writes every value from the controls, then sets the two timer intervals again.
    // False when a value could not be written (the rest are still tried).
    bool SaveSettings();
    // Copies every setting from another form; the timers are left alone.
    void AssignSettings(const TOptionsForm& source);

    // The selected row of the version table (the default row when nothing valid is
    // selected, which loading never leaves).
    const TPBVersionInfo& SelectedPBVersion() const;

    // The controls, named as on the Preferences form.
    std::string PBIniFileName;  // value "PBIniFile"
    TComboBox PBVersion;
    std::string RefreshInterval;               // seconds, as typed
    std::string PostDetectionRefreshTimeEdit;  // seconds, as typed
    std::string CheckOutLibrary;
    std::string ReplicationPath;
    TRadioButton SingleDirectory;
    TRadioButton MirrorSourceDirectory;
    TRadioButton AutoRefreshRadioButton;
    TRadioButton UserRefreshRadioButton;
    TRadioButton AllLibRefresh;
    TRadioButton QuentisRefresh;
    std::string OrcaDll;
    std::string TempLibrary;

    // Change detection runs for the whole run; the automatic refresh is armed by it.
    TTimerSettings DetectTimer{true};
    TTimerSettings AutoRefreshTimer{false};

  private:
    void SetTimerIntervals();
};

// The settings in use, created (and loaded) on first use.
TOptionsForm& OptionsForm();
// Creates the settings holder anew from the registry (start-up).
TOptionsForm& CreateOptionsForm();
// Whether the settings holder exists (OptionsForm() would create it).
bool HasOptionsForm();
// Forgets the settings holder (exit, tests).
void ResetOptionsForm();

// Locating pb.ini and setting up the App Paths entry for the selected version. Reads
// the settings from the given form, the program-wide OptionsForm() when none is given.
class TPBLocation {
  public:
    explicit TPBLocation(const TOptionsForm* form = nullptr) : form_(form) {}

    // The cached pb.ini path; locates it while the cache is empty (an empty result
    // leaves the cache empty, so the next call tries, and reports, again).
    std::string GetPBIniFile(bool notify = true);
    // The pb.ini path from the settings, WIN.INI or PowerBuilder's App Paths entry;
    // empty (after saying so in a message box, unless notify is false: the caller then
    // reports it) when none names an existing file.
    std::string LocatePBIni(bool notify = true);
    // Registers the program's App Paths entry with PowerBuilder's search directories so
    // that the ORCA library can be found after a restart; tells the user what happened.
    // Always false: the ORCA library is not usable in this run.
    bool SetupPBAppPath();

    // Forgets the cached path and the shown message (start of a run).
    void Clear();
    bool SetupMessageShown() const { return setupMessageShown_; }
    const std::string& CachedPBIniFile() const { return pbIniFile_; }

  private:
    const TOptionsForm& Form() const;
    const TOptionsForm* form_;
    std::string pbIniFile_;
    bool setupMessageShown_ = false;
};

// The messages of this unit.
std::string BadInstallMessage(int version);
std::string SetupCompleteMessage(int version);
std::string PBIniNotFoundMessage(int version);

}  // namespace shell
