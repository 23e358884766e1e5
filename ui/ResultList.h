#pragma once
// The Search page's list: a model over the result lines of a search across objects, so
// that a search with a hundred thousand hits scrolls as smoothly as one with ten (no
// widget item per line). The lines and their hits are the core's (search::TSearchResult);
// Replace/Undo changes the hits in place and never the lines' texts.

#include <QAbstractListModel>

#include <vector>

#include "search/ObjectSearch.h"

namespace ui {

class TResultListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    using QAbstractListModel::QAbstractListModel;

    void Clear();
    void Append(search::TSearchResult line);
    int Count() const { return static_cast<int>(lines_.size()); }
    const search::TSearchResult& Line(int row) const { return lines_[static_cast<size_t>(row)]; }
    // The lines for Replace/Undo, which changes hits but adds or removes no line.
    std::vector<search::TSearchResult>& Results() { return lines_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    std::vector<search::TSearchResult> lines_;
};

}  // namespace ui
