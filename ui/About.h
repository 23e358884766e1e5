#pragma once
// The about box: the product title, what the program is for, its version and its
// picture. With its buttons hidden it is the splash shown while the program starts.

#include <QDialog>

class QLabel;
class QPushButton;

namespace ui {

// The version shown in the about box.
inline constexpr const char* ProgramVersion = "2.0";

class TAboutForm : public QDialog {
    Q_OBJECT
  public:
    explicit TAboutForm(QWidget* parent = nullptr);

    // Shows or hides both buttons (hidden for the splash).
    void SetButtonsVisible(bool visible);

    QPushButton* OKButton;       // closes the box
    QPushButton* CreditsButton;  // shows the credits
    QLabel* ProgramIcon;
    QLabel* ProductName;
    QLabel* Comments;
    QLabel* Version;

    // The credits text the Credits button shows.
    static QString CreditsText();
    // Shows the credits in a message box.
    void CreditsButtonClick();
};

// The program's picture, drawn here: a library drum with a magnifying glass.
QPixmap ProgramPicture(int size);

}  // namespace ui
