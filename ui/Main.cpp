// The frame: menus, speed bar, status bar, the deferred start and the commands that act
// on every view.

#include "ui/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>
#include <climits>

#include "build/Replicate.h"
#include "catalogue/Orcactrl.h"
#include "catalogue/Refresh.h"
#include "shell/OptionsForm.h"
#include "shell/Utilities.h"
#include "ui/About.h"
#include "ui/Help.h"
#include "ui/Printing.h"
#include "ui/logstat.h"

namespace ui {

namespace {

// The speed bar's pictures, drawn here (20 x 20 on a 25 x 25 button).
enum class TGlyph {
    Save,
    Refresh,
    Preferences,
    Help,
    Print,
    Cascade,
    Horizontal,
    Vertical,
    Arrange,
    Exit
};

QIcon SpeedIcon(TGlyph glyph) {
    QPixmap pm(20, 20);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x20, 0x30, 0x60);
    p.setPen(QPen(ink, 1.5));
    auto window = [&](QRectF r) {
        p.setBrush(Qt::white);
        p.drawRect(r);
        p.fillRect(QRectF(r.left(), r.top(), r.width(), 3), ink);
    };
    switch (glyph) {
        case TGlyph::Save:
            p.setBrush(QColor(0x50, 0x70, 0xb0));
            p.drawRect(QRectF(3, 3, 14, 14));
            p.fillRect(QRectF(6, 3.5, 8, 5), Qt::white);
            p.fillRect(QRectF(6, 11, 8, 6), QColor(0xd0, 0xd0, 0xd0));
            break;
        case TGlyph::Refresh: {
            p.setPen(QPen(QColor(0x20, 0x80, 0x30), 2.2));
            p.drawArc(QRectF(4, 4, 12, 12), 30 * 16, 280 * 16);
            p.setBrush(QColor(0x20, 0x80, 0x30));
            p.setPen(Qt::NoPen);
            p.drawPolygon(QPolygonF({QPointF(13, 1), QPointF(18, 6), QPointF(12, 8)}));
            break;
        }
        case TGlyph::Preferences:
            p.setBrush(QColor(0x90, 0x90, 0x90));
            for (int i = 0; i < 8; ++i) {
                p.save();
                p.translate(10, 10);
                p.rotate(i * 45);
                p.drawRect(QRectF(-1.5, -9, 3, 4));
                p.restore();
            }
            p.drawEllipse(QPointF(10, 10), 6, 6);
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(10, 10), 2.5, 2.5);
            break;
        case TGlyph::Help: {
            p.setBrush(QColor(0xf0, 0xe0, 0x60));
            p.drawEllipse(QPointF(10, 10), 8.5, 8.5);
            QFont f = p.font();
            f.setBold(true);
            f.setPixelSize(13);
            p.setFont(f);
            p.drawText(QRectF(0, 0, 20, 20), Qt::AlignCenter, "?");
            break;
        }
        case TGlyph::Print:
            p.setBrush(Qt::white);
            p.drawRect(QRectF(6, 2, 8, 6));
            p.setBrush(QColor(0xa0, 0xa0, 0xa0));
            p.drawRect(QRectF(2, 8, 16, 7));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(6, 13, 8, 5));
            break;
        case TGlyph::Cascade:
            window(QRectF(2, 2, 10, 8));
            window(QRectF(5, 6, 10, 8));
            window(QRectF(8, 10, 10, 8));
            break;
        case TGlyph::Horizontal:
            window(QRectF(2, 2, 16, 7));
            window(QRectF(2, 11, 16, 7));
            break;
        case TGlyph::Vertical:
            window(QRectF(2, 2, 7, 16));
            window(QRectF(11, 2, 7, 16));
            break;
        case TGlyph::Arrange:
            window(QRectF(2, 13, 5, 5));
            window(QRectF(8, 13, 5, 5));
            window(QRectF(14, 13, 4, 5));
            break;
        case TGlyph::Exit:
            p.setBrush(QColor(0xb0, 0x80, 0x50));
            p.drawRect(QRectF(4, 2, 10, 16));
            p.setPen(QPen(QColor(0xc0, 0x20, 0x20), 2));
            p.drawLine(QPointF(10, 10), QPointF(18, 10));
            p.drawLine(QPointF(15, 7), QPointF(18, 10));
            p.drawLine(QPointF(15, 13), QPointF(18, 10));
            break;
    }
    p.end();
    return QIcon(pm);
}

QAction* AddItem(QMenu* menu, const QString& caption, const QString& hint) {
    QAction* action = menu->addAction(caption);
    if (!hint.isEmpty())
        action->setStatusTip(hint);
    return action;
}

}  // namespace

// ---- Creation -------------------------------------------------------------------------------

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setObjectName("MainForm");
    setWindowTitle(FrameTitle);
    QApplication::setApplicationDisplayName(QString());
    QApplication::setWindowIcon(QIcon(ProgramPicture(64)));
    MDIArea = new QMdiArea(this);
    MDIArea->setObjectName("MDIArea");
    MDIArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MDIArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(MDIArea);
    BuildMenus();
    BuildSpeedBar();
    BuildStatusBar();
    connect(MDIArea, &QMdiArea::subWindowActivated, this,
            [this](QMdiSubWindow* window) { ActiveChildChanged(window); });
    // The deferred start, once, about a second after the message loop starts.
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    Timer1->start();
    DetectTimer = new QTimer(this);
    DetectTimer->setObjectName("DetectTimer");
    connect(DetectTimer, &QTimer::timeout, this, [this] { DetectTimerTimer(); });
    AutoRefreshTimer = new QTimer(this);
    AutoRefreshTimer->setObjectName("AutoRefreshTimer");
    connect(AutoRefreshTimer, &QTimer::timeout, this, [this] { AutoRefreshTimerTimer(); });
    UpdateMenuItems();
}

TMainForm::~TMainForm() {
    disconnect(MDIArea, nullptr, this, nullptr);
    StopChangeDetection();
    delete about_;
}

void TMainForm::BuildMenus() {
    FileMenu = menuBar()->addMenu("&File");
    QAction* fileNew = AddItem(FileMenu, "&New", "Create a new file");
    connect(fileNew, &QAction::triggered, this, [this] { FileNewItemClick(); });
    FileCloseItem = AddItem(FileMenu, "&Close", "Close current file");
    connect(FileCloseItem, &QAction::triggered, this, [this] { FileCloseItemClick(); });
    FileMenu->addSeparator();
    connect(AddItem(FileMenu, "Print Setup...", {}), &QAction::triggered, this,
            [this] { PrintSetup1Click(); });
    connect(AddItem(FileMenu, "&Print...", {}), &QAction::triggered, this,
            [this] { PrintMenuClick(); });
    FileMenu->addSeparator();
    connect(AddItem(FileMenu, "E&xit", "Exit the application"), &QAction::triggered, this,
            [this] { FileExitItemClick(); });

    OptionsMenu = menuBar()->addMenu("Options");
    connect(AddItem(OptionsMenu, "Preferences...", {}), &QAction::triggered, this,
            [this] { Preferences1Click(); });
    QAction* refresh = AddItem(OptionsMenu, "Refresh", {});
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    connect(refresh, &QAction::triggered, this, [this] { RefreshOrca(); });

    WindowMenu = menuBar()->addMenu("&Window");
    WindowCascadeItem = AddItem(WindowMenu, "&Cascade", "Arrange windows to overlap");
    connect(WindowCascadeItem, &QAction::triggered, MDIArea, &QMdiArea::cascadeSubWindows);
    WindowTileHorizontalItem =
        AddItem(WindowMenu, "&Horizontal", "Arrange windows without overlap");
    connect(WindowTileHorizontalItem, &QAction::triggered, MDIArea, &QMdiArea::tileSubWindows);
    WindowTileVerticalItem = AddItem(WindowMenu, "Vertical", {});
    connect(WindowTileVerticalItem, &QAction::triggered, this, [this] {
        // Side by side: each child the full height, an equal share of the width.
        const QList<QMdiSubWindow*> children = MDIArea->subWindowList();
        QList<QMdiSubWindow*> shown;
        for (QMdiSubWindow* child : children)
            if (!child->isMinimized())
                shown.append(child);
        if (shown.isEmpty())
            return;
        const QRect area = MDIArea->viewport()->rect();
        const int width = area.width() / static_cast<int>(shown.size());
        int x = 0;
        for (QMdiSubWindow* child : shown) {
            child->showNormal();
            child->setGeometry(x, 0, width, area.height());
            x += width;
        }
    });
    WindowArrangeItem =
        AddItem(WindowMenu, "&Arrange Icons", "Arrange window icons at bottom of main window");
    connect(WindowArrangeItem, &QAction::triggered, this, [this] {
        // The minimised children in a row along the bottom.
        int x = 0;
        for (QMdiSubWindow* child : MDIArea->subWindowList()) {
            if (!child->isMinimized())
                continue;
            const QSize size = child->size();
            child->move(x, MDIArea->viewport()->height() - size.height());
            x += size.width();
        }
    });
    WindowMinimizeItem = AddItem(WindowMenu, "&Minimize All", "Minimize all windows");
    connect(WindowMinimizeItem, &QAction::triggered, this, [this] { WindowMinimizeItemClick(); });
    MenuReplicationStatus = AddItem(WindowMenu, "Replication Status", {});
    MenuReplicationStatus->setVisible(false);
    connect(MenuReplicationStatus, &QAction::triggered, this,
            [this] { MenuReplicationStatusClick(); });
    connect(WindowMenu, &QMenu::aboutToShow, this, [this] { FillWindowMenu(); });

    HelpMenu = menuBar()->addMenu("&Help");
    connect(AddItem(HelpMenu, "Help", {}), &QAction::triggered, this, [this] { Help2Click(); });
    connect(AddItem(HelpMenu, "&About", {}), &QAction::triggered, this,
            [this] { HelpAboutItemClick(); });
}

void TMainForm::BuildSpeedBar() {
    SpeedPanel = addToolBar("SpeedPanel");
    SpeedPanel->setObjectName("SpeedPanel");
    SpeedPanel->setMovable(false);
    SpeedPanel->setFixedHeight(29);
    SpeedPanel->setIconSize(QSize(20, 20));
    auto add = [this](const char* name, TGlyph glyph, const QString& hint,
                      std::function<void()> command) {
        auto* button = new QToolButton(SpeedPanel);
        button->setObjectName(name);
        button->setIcon(SpeedIcon(glyph));
        button->setAutoRaise(true);  // flat
        button->setFixedSize(25, 25);
        button->setToolTip(hint);
        button->setStatusTip(hint);
        connect(button, &QToolButton::clicked, this, std::move(command));
        SpeedPanel->addWidget(button);
        return button;
    };
    SpeedButton2 =
        add("SpeedButton2", TGlyph::Save, "Save All Changes", [this] { SpeedButton2Click(); });
    SpeedButton2->setCheckable(true);
    add("SpeedButton1", TGlyph::Refresh, "Refresh", [this] { RefreshOrca(); });
    add("SpeedButton3", TGlyph::Preferences, "Preferences", [this] { Preferences1Click(); });
    add("SpeedButton8", TGlyph::Help, "Help", [this] { Help2Click(); });
    add("SpeedButton10", TGlyph::Print, "Print", [this] { PrintMenuClick(); });
    add("SpeedButton4", TGlyph::Cascade, "Cascade", [this] { MDIArea->cascadeSubWindows(); });
    add("SpeedButton5", TGlyph::Horizontal, "Horizontal", [this] { MDIArea->tileSubWindows(); });
    add("SpeedButton6", TGlyph::Vertical, "Vertical",
        [this] { WindowTileVerticalItem->trigger(); });
    add("SpeedButton7", TGlyph::Arrange, "Arrange Icons", [this] { WindowArrangeItem->trigger(); });
    add("ExitBtn", TGlyph::Exit, "Exit", [this] { FileExitItemClick(); });
}

void TMainForm::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setFixedHeight(26);
    bar->setSizeGripEnabled(false);
    StatusLine = new QLabel(bar);
    StatusLine->setObjectName("StatusLine");
    StatusLine->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StatusLine->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* lineLayout = new QHBoxLayout(StatusLine);
    lineLayout->setContentsMargins(0, 0, 4, 0);
    lineLayout->addStretch();
    RefreshNeededLabel = new QLabel("Refresh Needed.", StatusLine);
    RefreshNeededLabel->setObjectName("RefreshNeededLabel");
    QFont red = RefreshNeededLabel->font();
    red.setPixelSize(13);
    RefreshNeededLabel->setFont(red);
    RefreshNeededLabel->setStyleSheet("color: red;");
    RefreshNeededLabel->hide();
    lineLayout->addWidget(RefreshNeededLabel);
    bar->addWidget(StatusLine, 1);

    auto* gaugePane = new QLabel(bar);
    gaugePane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    gaugePane->setFixedWidth(167);
    auto* gaugeLayout = new QHBoxLayout(gaugePane);
    gaugeLayout->setContentsMargins(2, 2, 2, 2);
    StatusGauge = new QProgressBar(gaugePane);
    StatusGauge->setObjectName("StatusGauge");
    StatusGauge->setTextVisible(false);
    StatusGauge->setStyleSheet(
        "QProgressBar { border: none; background: palette(button); }"
        " QProgressBar::chunk { background: navy; }");
    StatusGauge->hide();
    gaugeLayout->addWidget(StatusGauge);
    bar->addPermanentWidget(gaugePane);
    auto* emptyPane = new QLabel(bar);
    emptyPane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    emptyPane->setFixedWidth(61);
    bar->addPermanentWidget(emptyPane);
}

bool TMainForm::event(QEvent* e) {
    // Hints go to the status line (QMainWindow would show them in a message of its own).
    // The empty hint of leaving a control does not wipe what the program last said.
    if (e->type() == QEvent::StatusTip) {
        const QString tip = static_cast<QStatusTipEvent*>(e)->tip();
        if (!tip.isEmpty())
            StatusLine->setText(tip);
        return true;
    }
    return QMainWindow::event(e);
}

// ---- Children ---------------------------------------------------------------------------

QMdiSubWindow* TMainForm::AddChild(QWidget* widget) {
    QMdiSubWindow* window = MDIArea->addSubWindow(widget);
    window->setWindowIcon(QIcon(ProgramPicture(16)));
    return window;
}

void TMainForm::SetLogForm(TLogForm* log) {
    log_ = log;
    logWindow_ = AddChild(log);
    logWindow_->resize(600, 300);
    logWindow_->show();
    UpdateMenuItems();
}

std::vector<TViewWindow*> TMainForm::Views() const {
    // The stacking order lists the front window last.
    const QList<QMdiSubWindow*> windows = MDIArea->subWindowList(QMdiArea::StackingOrder);
    std::vector<TViewWindow*> views;
    views.reserve(static_cast<size_t>(windows.size()));
    for (auto i = windows.size(); i-- > 0;)
        if (auto* view = dynamic_cast<TViewWindow*>(windows[i]->widget()))
            views.push_back(view);
    return views;
}

TViewWindow* TMainForm::ActiveView() const {
    // The current child, also while another program's window has the focus.
    QMdiSubWindow* window = MDIArea->currentSubWindow();
    return window ? dynamic_cast<TViewWindow*>(window->widget()) : nullptr;
}

void TMainForm::ActiveChildChanged(QMdiSubWindow* window) {
    if (closing_)
        return;
    // The child left behind commits what its source panel holds.
    if (activeChild_ && activeChild_ != window)
        if (auto* requests = dynamic_cast<TFrameRequests*>(activeChild_->widget()))
            requests->FormDeactivate();
    if (activeChild_ != window) {
        if (activeChild_)
            disconnect(activeChild_, &QObject::destroyed, this, nullptr);
        activeChild_ = window;
        if (window)
            connect(window, &QObject::destroyed, this, [this] { activeChild_ = nullptr; });
    }
    // The log window's menu joins the frame's while it is the active child.
    const bool logActive = window && window == logWindow_ && log_;
    if (logActive && !logMenuAction_)
        logMenuAction_ = menuBar()->insertMenu(OptionsMenu->menuAction(), log_->LogMenu());
    else if (!logActive && logMenuAction_) {
        menuBar()->removeAction(logMenuAction_);
        logMenuAction_ = nullptr;
    }
    UpdateMenuItems();
}

void TMainForm::UpdateMenuItems() {
    const bool any = !MDIArea->subWindowList().isEmpty();
    for (QAction* action : {FileCloseItem, WindowCascadeItem, WindowTileHorizontalItem,
                            WindowTileVerticalItem, WindowArrangeItem, WindowMinimizeItem})
        action->setEnabled(any);
}

void TMainForm::FillWindowMenu() {
    for (QAction* action : windowListActions_) {
        WindowMenu->removeAction(action);
        delete action;
    }
    windowListActions_.clear();
    const QList<QMdiSubWindow*> children = MDIArea->subWindowList();
    if (children.isEmpty())
        return;
    windowListActions_.push_back(WindowMenu->addSeparator());
    int n = 1;
    for (QMdiSubWindow* child : children) {
        QAction* action =
            WindowMenu->addAction(QString("&%1 %2").arg(n++).arg(child->windowTitle()));
        action->setCheckable(true);
        action->setChecked(child == MDIArea->activeSubWindow());
        connect(action, &QAction::triggered, this, [this, child] {
            if (child->isMinimized())
                child->showNormal();
            MDIArea->setActiveSubWindow(child);
        });
        windowListActions_.push_back(action);
    }
}

// ---- Commands -----------------------------------------------------------------------------

TViewWindow* TMainForm::FileNewItemClick() {
    if (catalogue::OrcaMgr().GetPBIniFile().empty() || !viewFactory_)
        return nullptr;
    ++viewCounter_;
    TViewWindow* view = viewFactory_();
    if (!view)
        return nullptr;
    view->SetViewNumber(viewCounter_);
    // The subwindow owns the view: closing it frees both.
    QMdiSubWindow* window = AddChild(view->Widget());
    window->setAttribute(Qt::WA_DeleteOnClose);
    view->Populate();
    window->showMaximized();
    MDIArea->setActiveSubWindow(window);
    UpdateMenuItems();
    return view;
}

void TMainForm::FileCloseItemClick() {
    if (QMdiSubWindow* window = MDIArea->currentSubWindow())
        window->close();
    UpdateMenuItems();
}

void TMainForm::FileExitItemClick() {
    close();
}

void TMainForm::RefreshOrca() {
    catalogue::RefreshOrca([this] {
        for (TViewWindow* view : Views())
            view->RefreshRequest();
    });
}

void TMainForm::SpeedButton2Click() {
    shell::PushCursor(shell::crWaitCursor);
    if (SpeedButton2->isChecked()) {
        catalogue::SetRunFlag(true);
        // A second click while the save runs comes here with the button up: it only
        // clears the run flag, which stops the walk.
        if (TViewWindow* view = ActiveView())
            view->SaveAllRequest();
    }
    catalogue::SetRunFlag(false);
    shell::PopCursor();
    SpeedButton2->setChecked(false);
}

void TMainForm::PrintMenuClick() {
    if (TViewWindow* view = ActiveView())
        view->PrintRequest();
}

void TMainForm::PrintSetup1Click() {
    RunPrintSetup(this, ProgramPrinter());
}

void TMainForm::Preferences1Click() {
    if (preferences_)
        preferences_(this);
}

void TMainForm::Help2Click() {
    ShowHelp(HelpContents, this);
}

void TMainForm::HelpAboutItemClick() {
    if (!about_)
        about_ = new TAboutForm(this);
    about_->SetButtonsVisible(true);
    about_->show();
    about_->raise();
}

void TMainForm::WindowMinimizeItemClick() {
    const QList<QMdiSubWindow*> children = MDIArea->subWindowList();
    for (auto i = children.size(); i-- > 0;)
        children[i]->showMinimized();
}

void TMainForm::MenuReplicationStatusClick() {
    if (logWindow_) {
        logWindow_->showNormal();
        MDIArea->setActiveSubWindow(logWindow_);
    }
}

void TMainForm::Timer1Timer() {
    Timer1->stop();
    if (started_)
        return;
    started_ = true;
    shell::ShowStatus("Please Wait...");
    // The splash: the about box without its buttons.
    auto* splash = new TAboutForm(this);
    splash->SetButtonsVisible(false);
    splash->setModal(false);
    splash->show();
    splash->repaint();
    catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    if (!mgr.GetPBIniFile().empty() && mgr.LoadOrcaDll())
        mgr.LoadApplications();
    shell::ShowStatus("Ready.");
    splash->hide();
    // The log is minimised before the first view opens, so that the view is the child in
    // front (minimising it afterwards would make the log the current child).
    if (logWindow_)
        logWindow_->showMinimized();
    FileNewItemClick();
    delete splash;
    StartChangeDetection();
    if (OnStarted)
        OnStarted();
}

void TMainForm::StartChangeDetection() {
    if (!shell::HasOptionsForm())
        return;
    shell::TOptionsForm& options = shell::OptionsForm();
    const auto follow = [](QTimer* timer, shell::TTimerSettings& settings) {
        settings.OnChange = [timer, &settings] {
            timer->setInterval(
                static_cast<int>(std::min<unsigned>(settings.Interval(), INT32_MAX)));
            if (settings.Enabled() && settings.Interval() > 0)
                timer->start();
            else
                timer->stop();
        };
        settings.OnChange();
    };
    follow(DetectTimer, options.DetectTimer);
    follow(AutoRefreshTimer, options.AutoRefreshTimer);
}

void TMainForm::StopChangeDetection() {
    if (shell::HasOptionsForm()) {
        shell::OptionsForm().DetectTimer.OnChange = nullptr;
        shell::OptionsForm().AutoRefreshTimer.OnChange = nullptr;
    }
    DetectTimer->stop();
    AutoRefreshTimer->stop();
}

void TMainForm::RefreshViews() {
    for (TViewWindow* view : Views())
        view->RefreshRequest();
}

void TMainForm::DetectTimerTimer() {
    // pb.ini may have gained or lost applications: the views' trees follow.
    std::vector<const catalogue::TPBApp*> before;
    catalogue::TOrcaMgr& mgr = catalogue::OrcaMgr();
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        before.push_back(mgr.Apps[i]);
    catalogue::DetectTimerTimer();
    std::vector<const catalogue::TPBApp*> after;
    for (int i = 0; i < mgr.Apps.Count(); ++i)
        after.push_back(mgr.Apps[i]);
    if (after != before && mgr.WalksInProgress() == 0)
        RefreshViews();
}

void TMainForm::AutoRefreshTimerTimer() {
    catalogue::AutoRefreshTimerTimer();
    if (catalogue::OrcaMgr().WalksInProgress() == 0)
        RefreshViews();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Every view commits its source panel and closes; then the frame goes, saving the
    // replication links.
    closing_ = true;
    if (catalogue::HasOrcaMgr())
        build::SaveReplicationLinks(catalogue::OrcaMgr());
    StopChangeDetection();
    for (TViewWindow* view : Views())
        view->CommitSource();
    for (QMdiSubWindow* window : MDIArea->subWindowList())
        if (window != logWindow_)
            window->close();
    event->accept();
}

}  // namespace ui
