#pragma once
// What the frame asks of its MDI children. The frame knows a view only through this
// interface, and creates views through a factory the program installs, so the frame and
// the Application View are built and tested apart. A child that does not implement it
// (the log window) ignores the frame's requests.

#include <functional>

class QWidget;

namespace ui {

class TFrameRequests {
  public:
    virtual ~TFrameRequests() = default;
    // Save All Changes: commit the source panel, then write every changed object back.
    virtual void SaveAllRequest() = 0;
    // Print: print what the child shows (the current tree of a view).
    virtual void PrintRequest() = 0;
    // The catalogue was refreshed (or shrank): follow it, dropping what is gone.
    virtual void RefreshRequest() = 0;
    // Another child became the current one (a view commits its source panel).
    virtual void FormDeactivate() = 0;
};

// An Application View as the frame drives it.
class TViewWindow : public TFrameRequests {
  public:
    // The number of "Application View - N", kept across the view's pages.
    virtual void SetViewNumber(unsigned number) = 0;
    virtual unsigned ViewNumber() const = 0;
    // Fills the view from the catalogue, once, after it is numbered.
    virtual void Populate() = 0;
    // Commits the source panel (before the frame closes, before save-all).
    virtual void CommitSource() = 0;
    // The widget the frame puts into its MDI subwindow.
    virtual QWidget* Widget() = 0;
};

// Creates a new view, parented by the frame's subwindow later. Installed by the program.
using TViewFactory = std::function<TViewWindow*()>;

}  // namespace ui
