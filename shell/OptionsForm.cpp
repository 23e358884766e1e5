#include "shell/OptionsForm.h"

#include <charconv>
#include <climits>
#include <memory>
#include <utility>

#include "platform/Files.h"
#include "platform/LastError.h"
#include "platform/Paths.h"
#include "platform/Prefix.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "shell/Utilities.h"

namespace shell {

std::string ProgramAppPathsKey() {
    return std::string(AppPathsKey) + platform::ProgramFileName();
}

unsigned IntervalMilliseconds(std::string_view secondsText, unsigned defaultSeconds) {
    secondsText = platform::Trim(secondsText, [](char c) { return c == ' '; });
    // The front end's timers take a signed 32-bit count of milliseconds.
    constexpr unsigned long long maxSeconds = INT_MAX / 1000;
    unsigned long long seconds = 0;
    const char* end = secondsText.data() + secondsText.size();
    auto [ptr, ec] = std::from_chars(secondsText.data(), end, seconds);
    if (secondsText.empty() || ec != std::errc() || ptr != end || seconds > maxSeconds)
        seconds = defaultSeconds;
    return static_cast<unsigned>(seconds * 1000);
}

// ---- TOptionsForm -------------------------------------------------------------------

TOptionsForm::TOptionsForm() {
    for (auto [a, b] : {std::pair{&SingleDirectory, &MirrorSourceDirectory},
                        std::pair{&AutoRefreshRadioButton, &UserRefreshRadioButton},
                        std::pair{&AllLibRefresh, &QuentisRefresh}}) {
        a->partner_ = b;
        b->partner_ = a;
    }
    // The choices checked on the form before anything is loaded.
    MirrorSourceDirectory.SetChecked(true);
    AutoRefreshRadioButton.SetChecked(true);
    QuentisRefresh.SetChecked(true);
    for (const auto& row : PBVersionTable)
        PBVersion.Items.emplace_back(row.Label);
    LoadSettings();
}

const TPBVersionInfo& TOptionsForm::SelectedPBVersion() const {
    int index = PBVersion.ItemIndex;
    if (index < 0 || index >= static_cast<int>(PBVersionTable.size()))
        index = DefaultPBVersion;
    return PBVersionTable[static_cast<size_t>(index)];
}

void TOptionsForm::SetTimerIntervals() {
    DetectTimer.SetInterval(IntervalMilliseconds(RefreshInterval, DefaultRefreshInterval));
    AutoRefreshTimer.SetInterval(
        IntervalMilliseconds(PostDetectionRefreshTimeEdit, DefaultPostDetectionRefreshTime));
}

void TOptionsForm::LoadSettings() {
    const platform::TRegIniFile& reg = RegIniFile();
    const std::string_view s = ProductTitle;
    PBIniFileName = reg.ReadString(s, "PBIniFile", "");
    // A version index outside the table would select no ORCA library at all.
    long version = reg.ReadInteger(s, "PBVersion", DefaultPBVersion);
    if (version < 0 || version >= static_cast<long>(PBVersionTable.size()))
        version = DefaultPBVersion;
    PBVersion.ItemIndex = static_cast<int>(version);
    RefreshInterval = reg.ReadString(s, "RefreshInterval", "30");
    PostDetectionRefreshTimeEdit = reg.ReadString(s, "PostDetectionRefreshTime", "60");
    CheckOutLibrary = reg.ReadString(s, "CheckOutLibrary", "");
    ReplicationPath = reg.ReadString(s, "ReplicationPath", "");
    SingleDirectory.SetChecked(reg.ReadBool(s, "SingleDirectory", false));
    MirrorSourceDirectory.SetChecked(reg.ReadBool(s, "MirrorSourceDirectory", true));
    AutoRefreshRadioButton.SetChecked(reg.ReadBool(s, "AutoRefresh", true));
    UserRefreshRadioButton.SetChecked(reg.ReadBool(s, "UserRefresh", false));
    AllLibRefresh.SetChecked(reg.ReadBool(s, "AllLibRefresh", false));
    QuentisRefresh.SetChecked(reg.ReadBool(s, "QuentisRefresh", true));
    OrcaDll = reg.ReadString(s, "OrcaDLL", "c:\\");
    TempLibrary = reg.ReadString(s, "TempLibrary", "");
    SetTimerIntervals();
}

bool TOptionsForm::SaveSettings() {
    platform::TRegIniFile& reg = RegIniFile();
    const std::string_view s = ProductTitle;
    const long version = static_cast<long>(&SelectedPBVersion() - PBVersionTable.data());
    bool ok = true;
    ok &= reg.WriteString(s, "PBIniFile", PBIniFileName);
    ok &= reg.WriteInteger(s, "PBVersion", version);
    ok &= reg.WriteString(s, "RefreshInterval", RefreshInterval);
    ok &= reg.WriteString(s, "PostDetectionRefreshTime", PostDetectionRefreshTimeEdit);
    ok &= reg.WriteString(s, "CheckOutLibrary", CheckOutLibrary);
    ok &= reg.WriteString(s, "ReplicationPath", ReplicationPath);
    ok &= reg.WriteBool(s, "SingleDirectory", SingleDirectory.Checked());
    ok &= reg.WriteBool(s, "MirrorSourceDirectory", MirrorSourceDirectory.Checked());
    ok &= reg.WriteBool(s, "AutoRefresh", AutoRefreshRadioButton.Checked());
    ok &= reg.WriteBool(s, "UserRefresh", UserRefreshRadioButton.Checked());
    ok &= reg.WriteBool(s, "AllLibRefresh", AllLibRefresh.Checked());
    ok &= reg.WriteBool(s, "QuentisRefresh", QuentisRefresh.Checked());
    ok &= reg.WriteString(s, "OrcaDLL", OrcaDll);
    ok &= reg.WriteString(s, "TempLibrary", TempLibrary);
    SetTimerIntervals();
    return ok;
}

void TOptionsForm::AssignSettings(const TOptionsForm& source) {
    if (&source == this)
        return;
    PBIniFileName = source.PBIniFileName;
    PBVersion.ItemIndex = source.PBVersion.ItemIndex;
    RefreshInterval = source.RefreshInterval;
    CheckOutLibrary = source.CheckOutLibrary;
    ReplicationPath = source.ReplicationPath;
    SingleDirectory.SetChecked(source.SingleDirectory.Checked());
    MirrorSourceDirectory.SetChecked(source.MirrorSourceDirectory.Checked());
    PostDetectionRefreshTimeEdit = source.PostDetectionRefreshTimeEdit;
    AutoRefreshRadioButton.SetChecked(source.AutoRefreshRadioButton.Checked());
    UserRefreshRadioButton.SetChecked(source.UserRefreshRadioButton.Checked());
    AllLibRefresh.SetChecked(source.AllLibRefresh.Checked());
    QuentisRefresh.SetChecked(source.QuentisRefresh.Checked());
    OrcaDll = source.OrcaDll;
    TempLibrary = source.TempLibrary;
}

namespace {
std::unique_ptr<TOptionsForm> g_optionsForm;
}

TOptionsForm& OptionsForm() {
    if (!g_optionsForm)
        g_optionsForm = std::make_unique<TOptionsForm>();
    return *g_optionsForm;
}

TOptionsForm& CreateOptionsForm() {
    g_optionsForm = std::make_unique<TOptionsForm>();
    return *g_optionsForm;
}

bool HasOptionsForm() {
    return g_optionsForm != nullptr;
}

void ResetOptionsForm() {
    g_optionsForm.reset();
}

// ---- Messages -----------------------------------------------------------------------

std::string BadInstallMessage(int version) {
    const std::string n = std::to_string(version);
    return "PowerBuilder " + n +
           " was not installed properly.  Please reinstall Powerbuilder to correct the "
           "problem.  " +
           "The PB" + n + " Upgrade disk only updates files that are installed, thus..." +
           "Make sure you reinstall from the original PB" + n + " CD, then install the upgrade CD.";
}

std::string SetupCompleteMessage(int version) {
    return "Setup for PowerBuilder Version " + std::to_string(version) +
           " complete.  Please restart program.";
}

std::string PBIniNotFoundMessage(int version) {
    return "Could not find pb.ini for PowerBuilder " + std::to_string(version) +
           ".  Please see options.";
}

// ---- TPBLocation --------------------------------------------------------------------

const TOptionsForm& TPBLocation::Form() const {
    return form_ ? *form_ : OptionsForm();
}

void TPBLocation::Clear() {
    pbIniFile_.clear();
    setupMessageShown_ = false;
}

std::string TPBLocation::GetPBIniFile(bool notify) {
    if (pbIniFile_.empty())
        pbIniFile_ = LocatePBIni(notify);
    return pbIniFile_;
}

std::string TPBLocation::LocatePBIni(bool notify) {
    const TOptionsForm& form = Form();
    const TPBVersionInfo& row = form.SelectedPBVersion();
    if (FileFound(form.PBIniFileName))
        return form.PBIniFileName;

    std::string path =
        platform::GetProfileString("PowerBuilder", row.WinIniKey, "hello", 1000) + "\\pb.ini";
    if (path == "hello\\pb.ini" || !platform::FileExists(path)) {
        bool found = false;
        platform::TRegistry reg(platform::TRootKey::LocalMachine);
        if (reg.OpenKey(std::string(AppPathsKey) + std::string(row.PBProgram), false)) {
            path = ExtractDir(reg.ReadString("")) + "\\pb.ini";
            reg.CloseKey();
            found = platform::FileExists(path);
        }
        if (!found) {
            if (notify)
                ShowNotice(PBIniNotFoundMessage(row.Number));
            return {};
        }
    }
    return path;
}

bool TPBLocation::SetupPBAppPath() {
    const TPBVersionInfo& row = Form().SelectedPBVersion();
    platform::TRegistry reg(platform::TRootKey::LocalMachine);

    if (!reg.OpenKey(std::string(AppPathsKey) + std::string(row.PBProgram), false)) {
        ShowNotice(BadInstallMessage(row.Number));
        return false;
    }
    const std::string pbPath = reg.ReadString("Path");
    reg.CloseKey();

    // Our own entry already naming PowerBuilder's directories means set-up ran before,
    // so the ORCA library's absence is a broken PowerBuilder installation.
    const std::string ownKey = ProgramAppPathsKey();
    std::string previousPath;
    if (reg.OpenKey(ownKey, false)) {
        previousPath = reg.ReadString("Path");
        reg.CloseKey();
        if (previousPath == pbPath && !setupMessageShown_) {
            ShowNotice(BadInstallMessage(row.Number));
            setupMessageShown_ = true;
        }
    }

    bool written = false;
    if (reg.OpenKey(ownKey, true)) {
        written = reg.WriteString("", platform::WindowsPath(platform::ProgramFileHostPath())) &&
                  reg.WriteString("Path", pbPath);
        reg.CloseKey();
    }
    if (!written) {
        // Telling the user set-up is complete would send them into a restart that cannot
        // help.
        ShowNotice("Could not register the program for PowerBuilder Version " +
                   std::to_string(row.Number) + ": " + platform::LastErrorText());
        setupMessageShown_ = true;
        return false;
    }
    if (previousPath != pbPath) {
        ShowNotice(SetupCompleteMessage(row.Number));
        setupMessageShown_ = true;
    }
    return false;
}

}  // namespace shell
