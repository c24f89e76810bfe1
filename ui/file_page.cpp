#include "ui/file_page.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "input/extensions.h"
#include "job/file_list.h"
#include "ui/art.h"

namespace ui {

std::vector<std::string> LocalFiles(const QList<QUrl>& urls) {
    std::vector<std::string> paths;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
    return paths;
}

FileListWidget::FileListWidget(QWidget* parent) : QTreeWidget(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDropIndicatorShown(false);
}

void FileListWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void FileListWidget::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return event->ignore();
    event->acceptProposedAction();
    if (onDrop) onDrop(LocalFiles(event->mimeData()->urls()));
}

CFilePage::CFilePage(FileListModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    list_ = new FileListWidget(this);
    list_->setObjectName("fileList");
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setAllColumnsShowFocus(true);
    list_->setColumnCount(4);
    list_->setHeaderLabels(
        {kFileListColumns[0], kFileListColumns[1], kFileListColumns[2], kFileListColumns[3]});
    const int widths[4] = {180, 60, 75, 60};
    for (int c = 0; c < 4; ++c)
        list_->setColumnWidth(c, widths[c]);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < 4; ++c)
        list_->header()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    list_->onDrop = [this](const std::vector<std::string>& paths) { DropFiles(paths); };

    add_ = MakeImageButton("&Add ...", kBitmapAdd, this);
    remove_ = MakeImageButton("&Remove", kBitmapRemove, this);
    clear_ = MakeImageButton("&Clear All", kBitmapClearAll, this);
    add_->setObjectName("add");
    remove_->setObjectName("remove");
    clear_->setObjectName("clearAll");
    connect(add_, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(remove_, &QPushButton::clicked, this, [this] { RemoveSelected(); });
    connect(clear_, &QPushButton::clicked, this, [this] { ClearAll(); });

    BuildContextMenu();

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(add_);
    buttons->addWidget(remove_);
    buttons->addWidget(clear_);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    Reload();
}

void CFilePage::BuildContextMenu() {
    const auto action = [this](const char* text, auto slot) {
        auto* a = new QAction(text, list_);
        connect(a, &QAction::triggered, this, slot);
        list_->addAction(a);
        return a;
    };
    addAction_ = action("&Add ...", [this] { OnAdd(); });
    addFolderAction_ = action("Add &Folder...", [this] { OnAddFolder(); });
    removeAction_ = action("&Remove", [this] { RemoveSelected(); });
    clearAction_ = action("&Clear All", [this] { ClearAll(); });
    // Delete removes the selected files while the list has the focus.
    removeAction_->setShortcut(QKeySequence::Delete);
    removeAction_->setShortcutContext(Qt::WidgetShortcut);
    list_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CFilePage::EnablePage(bool enable) {
    for (QWidget* button : {add_, remove_, clear_})
        button->setEnabled(enable);
    for (QAction* a : {addAction_, addFolderAction_, removeAction_, clearAction_})
        a->setEnabled(enable);
}

void CFilePage::OnAddFolder() {
    const QString chosen = QFileDialog::getExistingDirectory(
        this, "Add Folder", QString::fromStdString(model_.LastFolder()), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) AddFolder(chosen.toStdString());
}

void CFilePage::AddFolder(const std::string& folder) {
    model_.AddFolder(folder);
    Reload();
}

void CFilePage::OnAdd() {
    const QStringList chosen = QFileDialog::getOpenFileNames(
        this, "Open", QString::fromStdString(model_.LastFolder()),
        QString::fromStdString(input::AudioFileDialogFilter()), nullptr, QFileDialog::HideNameFilterDetails);
    if (chosen.isEmpty()) return;
    std::vector<std::string> paths;
    for (const QString& f : chosen)
        paths.push_back(f.toStdString());
    AddFiles(paths);
}

void CFilePage::AddFiles(const std::vector<std::string>& paths) {
    model_.Add(paths);
    Reload();
}

void CFilePage::DropFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    model_.Drop(paths);
    Reload();
}

void CFilePage::RemoveSelected() {
    std::vector<int> rows;
    for (QTreeWidgetItem* item : list_->selectedItems())
        rows.push_back(list_->indexOfTopLevelItem(item));
    model_.Remove(rows);
    Reload();
}

void CFilePage::ClearAll() {
    model_.Clear();
    Reload();
}

void CFilePage::Reload() {
    list_->clear();
    const QIcon icon = ListImage(kListImageFile);
    for (const FileListEntry& e : model_.Entries()) {
        auto* item =
            new QTreeWidgetItem(list_, {QString::fromStdString(e.path), QString::fromStdString(e.length),
                                        QString::fromStdString(e.rate), QString::fromStdString(e.mode)});
        item->setIcon(0, icon);
        item->setData(0, Qt::UserRole, e.frames);
    }
}

}  // namespace ui
