// The Search page's list model.

#include "ui/ResultList.h"

#include "ui/AnsiText.h"

namespace ui {

catalogue::TPBObj* TResultLine::Object() const {
    if (!Lib)
        return nullptr;
    const int index = Lib->IndexOfEntry(EntryName, EntryType);
    return index < 0 ? nullptr : Lib->Entries[index];
}

void TResultListModel::Clear() {
    beginResetModel();
    lines_.clear();
    endResetModel();
}

void TResultListModel::Append(TResultLine line) {
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row);
    lines_.push_back(std::move(line));
    endInsertRows();
}

void TResultListModel::Append(std::vector<TResultLine> lines) {
    if (lines.empty())
        return;
    const int row = Count();
    beginInsertRows(QModelIndex(), row, row + static_cast<int>(lines.size()) - 1);
    for (TResultLine& line : lines)
        lines_.push_back(std::move(line));
    endInsertRows();
}

int TResultListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Count();
}

QVariant TResultListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Count() || role != Qt::DisplayRole)
        return {};
    return FromAnsi(Line(index.row()).Text);
}

}  // namespace ui
