// The Directory page's directory tree and file list.

#include "ui/DirectoryLists.h"

#include <algorithm>

#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "ui/AnsiText.h"

namespace ui {

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int FilledRole = Qt::UserRole + 1;

std::string ItemPath(const QTreeWidgetItem* item) {
    return item ? ToAnsi(item->data(0, PathRole).toString()) : std::string();
}

// The path with a backslash after it, for listing ("c:" and "c:\" both give "c:\").
std::string WithSlash(std::string path) {
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path;
}

QTreeWidgetItem* NewDirectoryItem(const std::string& text, const std::string& path) {
    auto* item = new QTreeWidgetItem(QStringList{FromAnsi(text)});
    item->setData(0, PathRole, FromAnsi(path));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

}  // namespace

TDirectoryListBox::TDirectoryListBox(QWidget* parent) : QTreeWidget(parent) {
    setObjectName("DirectoryListBox1");
    setHeaderHidden(true);
    setColumnCount(1);
    for (const std::string& drive : platform::LogicalDrives())
        addTopLevelItem(NewDirectoryItem(drive + "\\", drive + "\\"));
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { Fill(item); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] { emit DirectoryChanged(); });
}

void TDirectoryListBox::Fill(QTreeWidgetItem* item) {
    if (item->data(0, FilledRole).toBool())
        return;
    item->setData(0, FilledRole, true);
    const std::string dir = WithSlash(ItemPath(item));
    const std::vector<std::string> names = platform::SortedNames(dir + "*", true);
    for (const std::string& name : names)
        item->addChild(NewDirectoryItem(name, dir + name));
    if (names.empty())
        item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

std::string TDirectoryListBox::Directory() const {
    return ItemPath(currentItem());
}

void TDirectoryListBox::SetDirectory(const std::string& windowsPath) {
    const std::string full = platform::FullWindowsPath(windowsPath);
    if (full.size() < 2)
        return;
    QTreeWidgetItem* item = nullptr;
    const std::string drive = full.substr(0, 2) + "\\";
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (platform::AsciiSameText(ItemPath(topLevelItem(i)), drive))
            item = topLevelItem(i);
    if (!item)
        return;
    size_t start = 3;
    while (start < full.size()) {
        size_t end = full.find('\\', start);
        if (end == std::string::npos)
            end = full.size();
        const std::string name = full.substr(start, end - start);
        start = end + 1;
        if (name.empty())
            continue;
        Fill(item);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < item->childCount() && !next; ++i)
            if (platform::AsciiSameText(ToAnsi(item->child(i)->text(0)), name))
                next = item->child(i);
        if (!next)
            break;
        item->setExpanded(true);
        item = next;
    }
    setCurrentItem(item);
    scrollToItem(item);
}

TFileListBox::TFileListBox(QWidget* parent) : QListWidget(parent) {
    setObjectName("FileListBox1");
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
}

void TFileListBox::SetDirectory(const std::string& windowsPath) {
    directory_ = windowsPath;
    clear();
    if (windowsPath.empty())
        return;
    const std::vector<std::string> names =
        platform::SortedNames(WithSlash(windowsPath) + Mask, false);
    for (const std::string& name : names)
        addItem(FromAnsi(name));
}

std::string TFileListBox::FileName(int row) const {
    const QListWidgetItem* it = row < 0 ? currentItem() : item(row);
    if (!it || directory_.empty())
        return {};
    return WithSlash(directory_) + ToAnsi(it->text());
}

}  // namespace ui
