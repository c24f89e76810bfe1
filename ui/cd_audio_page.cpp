#include "ui/cd_audio_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "cdda/audio_cd_page.h"
#include "ui/art.h"

namespace ui {

CCDAudioPage::CCDAudioPage(cdda::CCDAudioPage& logic, QWidget* parent) : QWidget(parent), logic_(logic) {
    drives = new QComboBox(this);
    drives->setObjectName("drives");
    tracks = new QTreeWidget(this);
    tracks->setObjectName("tracks");
    tracks->setRootIsDecorated(false);
    tracks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tracks->setColumnCount(2);
    tracks->setHeaderLabels({"Track", "Length"});
    tracks->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    tracks->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    tracks->setColumnWidth(0, 75);
    tracks->setColumnWidth(1, 55);
    tracks->header()->setStretchLastSection(false);
    refresh = MakeImageButton("&Refresh", kBitmapRefresh, this);
    all = MakeImageButton("&All", kBitmapAll, this);
    refresh->setObjectName("refresh");
    all->setObjectName("all");
    folder = new QLineEdit(this);
    folder->setObjectName("folder");
    browse = MakeImageButton("", kBitmapFolder, this);
    browse->setObjectName("browse");
    browse->setToolTip("Select a folder for extracted CD tracks.");
    keep = new QCheckBox("Keep Extracted Files", this);
    keep->setObjectName("keep");
    dontEncode = new QCheckBox("Don't Encode Them", this);
    dontEncode->setObjectName("dontEncode");

    auto* driveRow = new QHBoxLayout;
    driveRow->addWidget(drives, 1);
    driveRow->addWidget(refresh);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(tracks, 1);
    auto* side = new QVBoxLayout;
    side->addWidget(all);
    side->addStretch(1);
    side->addWidget(keep);
    side->addWidget(dontEncode);
    listRow->addLayout(side);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder, 1);
    folderRow->addWidget(browse);
    driveProblem = new QLabel(this);
    driveProblem->setObjectName("driveProblem");
    driveProblem->setWordWrap(true);
    driveProblem->hide();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(driveRow);
    layout->addWidget(driveProblem);
    layout->addLayout(listRow, 1);
    layout->addLayout(folderRow);

    logic_.Initialise();
    const QString problem = QString::fromStdString(logic_.DriveProblem());
    driveProblem->setText(problem);
    driveProblem->setVisible(!problem.isEmpty());
    const profile::AudioCdValues v = logic_.Values();
    folder->setText(QString::fromStdString(v.extractedWavsFolder));
    keep->setChecked(v.dontErase != 0);
    dontEncode->setChecked(v.dontEncode != 0);
    ShowDrives();
    ShowTracks();

    connect(drives, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (showing_) return;
        logic_.SelectDrive(index);
        ShowTracks();
    });
    connect(refresh, &QPushButton::clicked, this, [this] {
        logic_.RefreshTracks();
        ShowTracks();
    });
    connect(all, &QPushButton::clicked, this, [this] {
        logic_.SelectAll();
        ShowSelection();
    });
    connect(browse, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(tracks, &QTreeWidget::itemSelectionChanged, this, [this] { OnSelectionChanged(); });
}

void CCDAudioPage::ShowDrives() {
    showing_ = true;
    drives->clear();
    for (const cdda::DriveInfo& d : logic_.Drives())
        drives->addItem(QString::fromStdString(d.name), d.target);
    drives->setCurrentIndex(logic_.SelectedDrive());
    showing_ = false;
}

void CCDAudioPage::ShowTracks() {
    showing_ = true;
    tracks->clear();
    const QIcon icon = ListImage(kListImageTrack);
    for (const cdda::TrackItem& t : logic_.Items()) {
        auto* item =
            new QTreeWidgetItem(tracks, {QString::fromStdString(t.text), QString::fromStdString(t.length)});
        item->setTextAlignment(0, Qt::AlignCenter);
        item->setTextAlignment(1, Qt::AlignCenter);
        item->setIcon(0, icon);
        item->setData(0, Qt::UserRole, t.track);
    }
    showing_ = false;
    ShowSelection();
}

void CCDAudioPage::ShowSelection() {
    showing_ = true;
    const std::vector<cdda::TrackItem> items = logic_.Items();
    if (static_cast<int>(items.size()) != tracks->topLevelItemCount()) {
        showing_ = false;
        return ShowTracks();
    }
    for (int i = 0; i < tracks->topLevelItemCount(); ++i)
        tracks->topLevelItem(i)->setSelected(items[static_cast<std::size_t>(i)].selected);
    if (const int visible = logic_.VisibleItem(); visible >= 0 && visible < tracks->topLevelItemCount())
        tracks->scrollToItem(tracks->topLevelItem(visible));
    showing_ = false;
}

void CCDAudioPage::OnSelectionChanged() {
    if (showing_) return;
    for (int i = 0; i < tracks->topLevelItemCount(); ++i)
        logic_.SetSelected(i, tracks->topLevelItem(i)->isSelected());
}

void CCDAudioPage::OnBrowse() {
    const QString chosen = QFileDialog::getExistingDirectory(this, "Select a folder for extracted CD tracks.",
                                                             folder->text(), QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) SetFolder(chosen);
}

void CCDAudioPage::SetFolder(const QString& chosen) {
    folder->setText(chosen);
    TakeOver();
}

void CCDAudioPage::TakeOver() {
    profile::AudioCdValues v = logic_.Values();
    v.extractedWavsFolder = folder->text().toStdString();
    v.dontErase = keep->isChecked() ? 1 : 0;
    v.dontEncode = dontEncode->isChecked() ? 1 : 0;
    logic_.SetValues(v);
}

void CCDAudioPage::EnablePage(bool enable) {
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(enable);
}

}  // namespace ui
