// The "Files" page: the list of WAV files to encode, with Add, Remove and Clear All, and files
// dropped from a file manager.
#pragma once

#include <QTreeWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class FileListModel;
class QAction;
class QPushButton;

namespace ui {

// The list control: takes file URLs dropped onto it.
class FileListWidget : public QTreeWidget {
  public:
    explicit FileListWidget(QWidget* parent);
    std::function<void(const std::vector<std::string>&)> onDrop;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

class CFilePage : public QWidget {
  public:
    CFilePage(FileListModel& model, QWidget* parent);

    // The three buttons follow the flag; the list stays usable.
    void EnablePage(bool enable);
    // What the Add dialog hands back when the user confirms: the files in selection order.
    void AddFiles(const std::vector<std::string>& paths);
    void DropFiles(const std::vector<std::string>& paths);
    // What the folder dialog of "Add Folder..." hands back.
    void AddFolder(const std::string& folder);
    void RemoveSelected();
    void ClearAll();

    FileListWidget* List() const { return list_; }
    QPushButton* AddButton() const { return add_; }
    QPushButton* RemoveButton() const { return remove_; }
    QPushButton* ClearButton() const { return clear_; }
    // The list's context menu: Add, Add Folder, Remove (also the Delete key), Clear All.
    QAction* AddFolderAction() const { return addFolderAction_; }
    QAction* RemoveAction() const { return removeAction_; }

  private:
    void OnAdd();
    void OnAddFolder();
    void BuildContextMenu();
    // Shows the model's entries.
    void Reload();

    FileListModel& model_;
    FileListWidget* list_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* clear_;
    QAction* addAction_ = nullptr;
    QAction* addFolderAction_ = nullptr;
    QAction* removeAction_ = nullptr;
    QAction* clearAction_ = nullptr;
};

// The local files among dropped URLs, in drop order.
std::vector<std::string> LocalFiles(const QList<QUrl>& urls);

}  // namespace ui
