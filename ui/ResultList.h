#pragma once
// The Search page's list: a model-backed list of result lines, so that a search with a
// hundred thousand hits scrolls as smoothly as one with ten (no widget item per line).
// Each line may carry a hit: the entry (found again through its library by name and
// type, never trusted across the message loop) and the stretch of its source it found.

#include <QAbstractListModel>

#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/Orcactrl.h"

namespace ui {

struct TResultLine {
    std::string Text;
    // The hit, when the line has one.
    catalogue::TPBLib* Lib = nullptr;
    std::string EntryName;
    int EntryType = 0;
    int32_t SelStart = 0;
    int32_t SelLength = 0;

    // The entry of the hit, or null (no hit, or the entry left its library).
    catalogue::TPBObj* Object() const;
};

class TResultListModel : public QAbstractListModel {
    Q_OBJECT

  public:
    using QAbstractListModel::QAbstractListModel;

    void Clear();
    void Append(TResultLine line);
    void Append(std::vector<TResultLine> lines);
    int Count() const { return static_cast<int>(lines_.size()); }
    const TResultLine& Line(int row) const { return lines_[static_cast<size_t>(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    std::vector<TResultLine> lines_;
};

}  // namespace ui
