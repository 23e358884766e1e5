// The program's printer and its dialogs.

#include "ui/Printing.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>

#include <memory>
#include <utility>

namespace ui {

namespace {

TPrintDialogHook& InstalledHook() {
    static TPrintDialogHook hook;
    return hook;
}

}  // namespace

QPrinter& ProgramPrinter() {
    static const std::unique_ptr<QPrinter> printer =
        std::make_unique<QPrinter>(QPrinter::HighResolution);
    return *printer;
}

bool RunPrintDialog(QWidget* parent, QPrinter& printer) {
    if (const TPrintDialogHook& hook = InstalledHook())
        return hook(printer);
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

void SetPrintDialogHook(TPrintDialogHook hook) {
    InstalledHook() = std::move(hook);
}

void RunPrintSetup(QWidget* parent, QPrinter& printer) {
    QPageSetupDialog dialog(&printer, parent);
    dialog.exec();
}

}  // namespace ui
