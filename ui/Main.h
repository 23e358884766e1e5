#pragma once
// TMainForm: the program's frame, an MDI window holding the Application Views and the
// log window. It owns the speed bar, the menus and the status bar, opens views (numbered
// by a counter that is never reused), runs the deferred start about a second after the
// message loop starts, and sends Save All Changes, Print and Refresh to its views. It
// does no catalogue work of its own beyond asking the catalogue manager.
//
// The frame knows a view only through TViewWindow and creates views through the factory
// the program installs; a child that is not a view (the log window) ignores the frame's
// requests.

#include <QMainWindow>

#include <functional>
#include <vector>

#include "ui/ViewWindow.h"

class QAction;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QTimer;
class QToolBar;
class QToolButton;

namespace ui {

class TLogForm;
class TAboutForm;

inline constexpr const char* FrameTitle = "Sorvanti 2";

class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    // What the program installs: how views are made, the Preferences command, and what
    // runs at the end of the deferred start (the start-up registration).
    void SetViewFactory(TViewFactory factory) { viewFactory_ = std::move(factory); }
    void SetPreferencesDialog(std::function<void(QWidget*)> dialog) {
        preferences_ = std::move(dialog);
    }
    std::function<void()> OnStarted;

    // Puts the log window into the frame (visible, as at start-up).
    void SetLogForm(TLogForm* log);
    TLogForm* LogForm() const { return log_; }
    QMdiSubWindow* LogWindow() const { return logWindow_; }

    // ---- Commands ----------------------------------------------------------------------
    // Opens a new Application View; null when no pb.ini is known (nothing opens).
    TViewWindow* FileNewItemClick();
    void FileCloseItemClick();
    void FileExitItemClick();
    void RefreshOrca();
    void SpeedButton2Click();
    void PrintMenuClick();
    void PrintSetup1Click();
    void Preferences1Click();
    void Help2Click();
    void HelpAboutItemClick();
    void WindowMinimizeItemClick();
    void MenuReplicationStatusClick();
    // Enables the window items exactly when there is an MDI child.
    void UpdateMenuItems();
    // The deferred start (runs once); it also starts change detection.
    void Timer1Timer();
    // Change detection on the settings' timers: a pass marks what changed (and the
    // "Refresh Needed." label); the automatic refresh, when the settings choose it, then
    // refreshes the catalogue and every view. The timers follow the settings.
    void StartChangeDetection();
    void StopChangeDetection();
    void DetectTimerTimer();
    void AutoRefreshTimerTimer();

    // ---- State -------------------------------------------------------------------------
    unsigned ViewCounter() const { return viewCounter_; }
    // The open views, in the screen's order (front to back of the window list).
    std::vector<TViewWindow*> Views() const;
    // The view of the active child, or null (none, or the log window).
    TViewWindow* ActiveView() const;
    bool Started() const { return started_; }

    // ---- Controls ----------------------------------------------------------------------
    QMdiArea* MDIArea = nullptr;
    QToolBar* SpeedPanel = nullptr;
    QToolButton* SpeedButton2 = nullptr;  // Save All Changes (a toggle that pops up again)
    QLabel* StatusLine = nullptr;
    QLabel* RefreshNeededLabel = nullptr;
    QProgressBar* StatusGauge = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* DetectTimer = nullptr;
    QTimer* AutoRefreshTimer = nullptr;
    QMenu* FileMenu = nullptr;
    QMenu* OptionsMenu = nullptr;
    QMenu* WindowMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* FileCloseItem = nullptr;
    QAction* WindowCascadeItem = nullptr;
    QAction* WindowTileHorizontalItem = nullptr;
    QAction* WindowTileVerticalItem = nullptr;
    QAction* WindowArrangeItem = nullptr;
    QAction* WindowMinimizeItem = nullptr;
    QAction* MenuReplicationStatus = nullptr;

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void BuildMenus();
    void RefreshViews();
    void BuildSpeedBar();
    void BuildStatusBar();
    void ActiveChildChanged(QMdiSubWindow* window);
    void FillWindowMenu();
    QMdiSubWindow* AddChild(QWidget* widget);

    TViewFactory viewFactory_;
    std::function<void(QWidget*)> preferences_;
    TLogForm* log_ = nullptr;
    QMdiSubWindow* logWindow_ = nullptr;
    QAction* logMenuAction_ = nullptr;
    TAboutForm* about_ = nullptr;
    QMdiSubWindow* activeChild_ = nullptr;
    unsigned viewCounter_ = 0;
    bool started_ = false;
    bool closing_ = false;
    std::vector<QAction*> windowListActions_;
};

}  // namespace ui
