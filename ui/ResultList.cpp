// The Search page's list model.

#include "ui/ResultList.h"

#include "ui/AnsiText.h"

namespace ui {

void TResultListModel::Clear() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

void TResultListModel::Append(search::TSearchResult line) {
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(std::move(line));
    endInsertRows();
}

int TResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count() || role != Qt::DisplayRole)
        return {};
    return FromAnsi(Line(index.row()).Line);
}

}  // namespace ui
