#pragma once
// The program's printer: one for the whole program, so that Print Setup in any window
// sets up what every Print uses.

#include <functional>

class QPrinter;
class QWidget;

namespace ui {

QPrinter& ProgramPrinter();

// Asks where and what to print (Qt's print dialog on the program printer); false when the
// user cancels. A hook installed by SetPrintDialogHook answers instead (tests set a PDF
// file as the output).
bool RunPrintDialog(QWidget* parent, QPrinter& printer);
using TPrintDialogHook = std::function<bool(QPrinter& printer)>;
void SetPrintDialogHook(TPrintDialogHook hook);

// Print Setup: the page set-up dialog on the program printer.
void RunPrintSetup(QWidget* parent, QPrinter& printer);

}  // namespace ui
