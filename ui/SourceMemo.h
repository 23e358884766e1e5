#pragma once
// TSourceMemo: the source panel of an Application View. It shows one object's source (a
// long one through a window around the point of interest, views::TSourceWindow), with a
// stretch selected and centred, and lets the user edit it. The edit is committed into
// the object the panel shows, and only into it, when the panel loses the focus, when its
// view is deactivated, before every Show and before Save All Changes.
//
// When the object's source changed after it was shown (a reload, a refresh, a replace)
// or the object left its library, the edit is not spliced into it: the user's text is
// written to a file of its own in c:\sorvanti-edits, and the user is told where.

#include <QFont>
#include <QPlainTextEdit>

#include <cstdint>
#include <string>

#include "views/SourceWindow.h"

namespace ui {

// Courier New at a pixel size, with the fixed-pitch hint so that columns line up where
// the font is missing: the font of the sources, the trees and the search lines.
QFont CourierNew(int pixelSize);

class TSourceMemo : public QPlainTextEdit {
    Q_OBJECT

  public:
    explicit TSourceMemo(QWidget* parent = nullptr);

    // Shows the object's source at offset with length characters selected. False, with
    // the panel unchanged, when the object has no source text.
    bool Show(catalogue::TPBObj& obj, int32_t offset, int32_t length);
    // Commits the user's edit (see above). True when nothing is left unwritten.
    bool Commit();

    // The object shown (null when none is, or it left its library) and its offset.
    catalogue::TPBObj* SourceObject() const { return window_.Object(); }
    int32_t SourceOffset() const { return window_.Offset(); }
    const views::TSourceWindow& Window() const { return window_; }
    // Times a source was put into the panel.
    int ShowCount() const { return shows_; }
    // Where the last edit that could not be committed was kept (Windows path), or empty.
    const std::string& KeptEditPath() const { return keptEdit_; }

    // Lines of the panel that show at once, as the centring counts them.
    int VisibleLines() const;

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void KeepEdit(views::TSourceWindow::TCommit why, const std::string& bytes);

    views::TSourceWindow window_;
    int shows_ = 0;
    bool committing_ = false;
    std::string keptEdit_;
};

}  // namespace ui
