// The sorvanti program: the frame with its log window and Application Views over the
// catalogue of PowerBuilder's pb.ini. "/debug" as the first argument also writes the
// debug log beside the program.

#include <QApplication>

#include <memory>
#include <string>
#include <vector>

#include "build/Replicate.h"
#include "catalogue/Orcactrl.h"
#include "shell/OptionsForm.h"
#include "shell/ProgramGroup.h"
#include "shell/Utilities.h"
#include "ui/CheckOutForm.h"
#include "ui/Main.h"
#include "ui/Pwclient.h"
#include "ui/QtShellUI.h"
#include "ui/Ureplace.h"
#include "ui/logstat.h"
#include "ui/options.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Sorvanti 2");
    std::vector<std::string> args(argv + 1, argv + argc);

    ui::TQtShellUI screen;
    shell::SetShellUI(&screen);
    shell::InitUtilities(args);

    // The long-lived windows, in the program's order: the frame, the settings, the log.
    auto frame = std::make_unique<ui::TMainForm>();
    screen.SetFrame(frame.get());
    shell::CreateOptionsForm();
    catalogue::CreateOrcaMgr();
    build::InstallReplication(catalogue::OrcaMgr());
    auto* log = new ui::TLogForm;
    frame->SetLogForm(log);
    screen.SetLogForm(log);
    QObject::connect(log, &QObject::destroyed, [&screen] { screen.SetLogForm(nullptr); });
    // The one search dialog every view takes over when it searches.
    ui::CreateReplaceDialog(frame.get());
    ui::CreateCheckOutForm(frame.get());

    ui::TMainForm* main = frame.get();
    frame->SetViewFactory([main]() -> ui::TViewWindow* {
        auto* view = new ui::TPickwellForm;
        // pb.ini edits of one view reach every view.
        view->OnCatalogueChanged = [main] {
            for (ui::TViewWindow* other : main->Views())
                other->RefreshRequest();
        };
        return view;
    });
    frame->SetPreferencesDialog([](QWidget* parent) { ui::RunPreferences(parent); });
    screen.Preferences = [main] { ui::RunPreferences(main); };
    // The start-up registration: the program's entry in the desktop's applications menu.
    frame->OnStarted = [] { shell::RegisterProgramGroup(); };
    frame->showMaximized();

    const int result = QApplication::exec();

    frame.reset();
    screen.SetFrame(nullptr);
    screen.SetLogForm(nullptr);
    catalogue::ResetOrcaMgr();
    shell::DoneUtilities();
    shell::SetShellUI(nullptr);
    return result;
}
