#pragma once
// TCheckOutForm: the check-out dialog. Modeless; it asks for the destination library with
// a file dialog as it opens, takes a user id, and on Ok checks the entry out into the
// library its Destination field names when Ok is pressed (what the user typed counts).
// One dialog serves the whole program.

#include <QDialog>

#include <string>

#include "catalogue/Orcactrl.h"

class QLineEdit;
class QPushButton;

namespace ui {

class TCheckOutForm : public QDialog {
    Q_OBJECT

  public:
    explicit TCheckOutForm(QWidget* parent = nullptr);

    // The entry to check out, found again when Ok is pressed (it may have left the
    // catalogue while the dialog was open).
    void SetCheckOutEntryRef(catalogue::TPBObjRef* ref);
    catalogue::TPBObjRef* CheckOutEntryRef() const;

    QLineEdit* UserIDEdit = nullptr;
    QLineEdit* DestLibraryEdit = nullptr;
    QPushButton* OpenButton = nullptr;
    QPushButton* CancelButton = nullptr;

    // Checks the entry out (Ok); false when it was not (no entry, ORCA failed).
    bool OpenButtonClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::string appKey_;
    catalogue::TPBLib* lib_ = nullptr;
    std::string name_;
    int type_ = 0;
};

// The program's check-out dialog, created at start-up with the frame as parent (on first
// use without one when the program made none).
TCheckOutForm* CreateCheckOutForm(QWidget* parent);
TCheckOutForm& CheckOutForm();
void FreeCheckOutForm();

}  // namespace ui
