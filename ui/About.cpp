// The about box and its picture.

#include "ui/About.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/Utilities.h"
#include "ui/AnsiText.h"

namespace ui {

QPixmap ProgramPicture(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 64.0;
    p.scale(s, s);
    // Three stacked library books.
    const QColor colours[] = {QColor(0x2f, 0x5f, 0xa8), QColor(0x3c, 0x8d, 0x4f),
                              QColor(0xb8, 0x4a, 0x2e)};
    for (int i = 0; i < 3; ++i) {
        const QRectF book(6, 40 - i * 13, 40, 11);
        p.setPen(QPen(colours[i].darker(140), 1.5));
        p.setBrush(colours[i]);
        p.drawRoundedRect(book, 2, 2);
        p.setPen(QPen(QColor(255, 255, 255, 200), 1.2));
        p.drawLine(QPointF(book.left() + 5, book.center().y()),
                   QPointF(book.right() - 5, book.center().y()));
    }
    // A magnifying glass over them: searching the libraries.
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(50, 50), QPointF(60, 60));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 3));
    p.setBrush(QColor(200, 230, 255, 170));
    p.drawEllipse(QPointF(42, 42), 11, 11);
    return pixmap;
}

TAboutForm::TAboutForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    ProgramIcon = new QLabel(this);
    ProgramIcon->setPixmap(ProgramPicture(64));
    ProgramIcon->setFixedSize(64, 64);
    ProductName = new QLabel(QStringLiteral("Sorvanti 2"), this);
    QFont titleFont = ProductName->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
    titleFont.setBold(true);
    ProductName->setFont(titleFont);
    Comments = new QLabel(QStringLiteral("A tool for PowerBuilder developers: browse the "
                                         "applications and libraries of pb.ini, search and "
                                         "replace in their sources, rebuild libraries."),
                          this);
    Comments->setWordWrap(true);
    Version = new QLabel(QStringLiteral("Version %1").arg(QLatin1String(ProgramVersion)), this);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setDefault(true);
    CreditsButton = new QPushButton(QStringLiteral("Credits"), this);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CreditsButton, &QPushButton::clicked, this, &TAboutForm::CreditsButtonClick);

    auto* text = new QVBoxLayout;
    text->addWidget(ProductName);
    text->addWidget(Comments);
    text->addWidget(Version);
    text->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(ProgramIcon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CreditsButton);
    buttons->addWidget(OKButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedWidth(380);
}

void TAboutForm::SetButtonsVisible(bool visible) {
    OKButton->setVisible(visible);
    CreditsButton->setVisible(visible);
}

QString TAboutForm::CreditsText() {
    return QStringLiteral(
        "Sorvanti 2\n\n"
        "The sample sources come from the PowerBuilder Foundation Classes, published under "
        "the MIT licence.\n\n"
        "Built with Qt, used under the GNU Lesser General Public License (LGPL) version 3.");
}

void TAboutForm::CreditsButtonClick() {
    shell::ShowNotice(ToAnsi(CreditsText()));
}

}  // namespace ui
