#pragma once
// The Directory page's first two lists: a directory tree over the drives of the prefix,
// showing Windows paths (c:\apps\sales), read a level at a time as the user opens it;
// and the list of the library files (*.pbl) of the chosen directory.

#include <QListWidget>
#include <QTreeWidget>

#include <string>

namespace ui {

class TDirectoryListBox : public QTreeWidget {
    Q_OBJECT

  public:
    explicit TDirectoryListBox(QWidget* parent = nullptr);

    // The chosen directory (Windows path, "c:\" for a drive), or empty.
    std::string Directory() const;
    // Opens the tree down to the directory and chooses it; as far as it exists.
    void SetDirectory(const std::string& windowsPath);

  signals:
    void DirectoryChanged();

  private:
    void Fill(QTreeWidgetItem* item);
};

class TFileListBox : public QListWidget {
    Q_OBJECT

  public:
    explicit TFileListBox(QWidget* parent = nullptr);

    // Lists the files of the directory that match the mask.
    void SetDirectory(const std::string& windowsPath);
    const std::string& Directory() const { return directory_; }
    std::string Mask = "*.pbl";
    // The path of the file of a row, or of the current row (-1); empty when none.
    std::string FileName(int row = -1) const;

  private:
    std::string directory_;
};

}  // namespace ui
