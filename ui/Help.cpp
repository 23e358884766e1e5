// The help window.

#include "ui/Help.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>
#include <QWidget>

// A static library's resources are registered explicitly before their first use.
static void InitHelpPages() {
    Q_INIT_RESOURCE(help);
}

namespace ui {

namespace {

// One help window for the program, made on first use and kept until the program ends or
// its parent goes.
class THelpWindow : public QWidget {
  public:
    explicit THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
        setWindowTitle(QStringLiteral("Sorvanti 2 Help"));
        setAttribute(Qt::WA_DeleteOnClose, false);
        Browser = new QTextBrowser(this);
        Browser->setOpenExternalLinks(false);
        Browser->setSearchPaths({QStringLiteral(":/help")});
        auto* back = new QPushButton(QStringLiteral("&Back"), this);
        auto* forward = new QPushButton(QStringLiteral("&Forward"), this);
        auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
        back->setEnabled(false);
        forward->setEnabled(false);
        connect(back, &QPushButton::clicked, Browser, &QTextBrowser::backward);
        connect(forward, &QPushButton::clicked, Browser, &QTextBrowser::forward);
        connect(contents, &QPushButton::clicked, this, [this] { Open(HelpContents); });
        connect(Browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
        connect(Browser, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(contents);
        buttons->addWidget(back);
        buttons->addWidget(forward);
        buttons->addStretch();
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(buttons);
        layout->addWidget(Browser);
        resize(640, 520);
    }

    void Open(int context) {
        Browser->setSource(QUrl(QStringLiteral("qrc:/help/") + QLatin1String(HelpPage(context))));
    }

    QTextBrowser* Browser = nullptr;
};

// The help window, or null before the first use and after its parent took it down.
THelpWindow*& Window() {
    static THelpWindow* window = nullptr;
    return window;
}

}  // namespace

const char* HelpPage(int context) {
    switch (context) {
        case HelpPreferences:
            return "preferences.html";
        default:
            return "index.html";
    }
}

void ShowHelp(int context, QWidget* parent) {
    InitHelpPages();
    if (QWidget* modal = QApplication::activeModalWidget())
        parent = modal;
    THelpWindow*& window = Window();
    if (window && window->parentWidget() != parent) {
        // Re-parented so that it stays usable over the dialog that is up now.
        window->setParent(parent, Qt::Window);
    }
    if (!window) {
        window = new THelpWindow(parent);
        QObject::connect(window, &QObject::destroyed, [] { Window() = nullptr; });
    }
    window->Open(context);
    window->show();
    window->raise();
    window->activateWindow();
}

}  // namespace ui
