#include "ui/cd_audio_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "cdda/audio_cd_page.h"
#include "lookup/disc_id.h"
#include "ui/art.h"

namespace ui {

CCDAudioPage::CCDAudioPage(cdda::CCDAudioPage& logic, QWidget* parent) : QWidget(parent), logic_(logic) {
    drives = new QComboBox(this);
    drives->setObjectName("drives");
    tracks = new QTreeWidget(this);
    tracks->setObjectName("tracks");
    tracks->setRootIsDecorated(false);
    tracks->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tracks->setColumnCount(3);
    tracks->setHeaderLabels({"Track", "Length", "Title"});
    // Only the title is edited, by F2 or a double click on the track.
    tracks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tracks->headerItem()->setTextAlignment(0, Qt::AlignCenter);
    tracks->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    tracks->setColumnWidth(0, 75);
    tracks->setColumnWidth(1, 55);
    tracks->header()->setStretchLastSection(true);
    album = new QLineEdit(this);
    album->setObjectName("album");
    artist = new QLineEdit(this);
    artist->setObjectName("artist");
    lookUp = new QPushButton("Look &Up", this);
    lookUp->setObjectName("lookUp");
    lookupStatus = new QLabel(this);
    lookupStatus->setObjectName("lookupStatus");
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
    auto* namesRow = new QGridLayout;
    auto* albumLabel = new QLabel("Al&bum:", this);
    albumLabel->setBuddy(album);
    auto* artistLabel = new QLabel("Ar&tist:", this);
    artistLabel->setBuddy(artist);
    namesRow->addWidget(albumLabel, 0, 0);
    namesRow->addWidget(album, 0, 1);
    namesRow->addWidget(lookUp, 0, 2);
    namesRow->addWidget(artistLabel, 1, 0);
    namesRow->addWidget(artist, 1, 1);
    // Under the fields, and only while it says something: a text beside them would change the
    // width of the fields and of the button as it comes and goes.
    namesRow->addWidget(lookupStatus, 2, 1, 1, 2);
    lookupStatus->hide();
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
    layout->addLayout(namesRow);
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
    connect(tracks, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { tracks->editItem(item, 2); });
    auto* edit = new QShortcut(QKeySequence(Qt::Key_F2), tracks, nullptr, nullptr, Qt::WidgetShortcut);
    connect(edit, &QShortcut::activated, this, [this] {
        if (QTreeWidgetItem* item = tracks->currentItem()) tracks->editItem(item, 2);
    });
    connect(tracks, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (showing_ || column != 2) return;
        logic_.SetTypedTitle(item->data(0, Qt::UserRole).toInt(), item->text(2).toStdString());
    });
    connect(album, &QLineEdit::textEdited, this,
            [this](const QString& text) { logic_.SetTypedAlbum(text.toStdString()); });
    connect(artist, &QLineEdit::textEdited, this,
            [this](const QString& text) { logic_.SetTypedArtist(text.toStdString()); });
    connect(lookUp, &QPushButton::clicked, this, [this] { StartLookUp(); });
}

// The lookup runs on the page's lookup thread and comes back as a call queued to the page: the
// window never waits for the network, and a call still queued when the page goes is dropped
// with it.
void CCDAudioPage::StartLookUp() {
    const int number = ++lookups_;
    lookingUp_ = true;
    lookUp->setEnabled(false);
    SetLookupStatus("Looking up...");
    lookupThread_.Start(cdda::TrackTable(), [this, number](lookup::LookupResult result) {
        QMetaObject::invokeMethod(
            this, [this, number, result = std::move(result)] { OnLookedUp(number, result); },
            Qt::QueuedConnection);
    });
}

void CCDAudioPage::OnLookedUp(int number, const lookup::LookupResult& result) {
    if (number != lookups_) return;  // a later lookup took its place
    lookingUp_ = false;
    UpdateLookUpButton();
    // The names of a disc that is no longer listed would land on another.
    if (result.discId != listedDisc_) {
        SetLookupStatus("");
        return;
    }
    ShowLookup(result);
}

void CCDAudioPage::ShowLookup(const lookup::LookupResult& result) {
    if (result.releases.empty()) {
        SetLookupStatus(lookup::kNoDiscInformation);
        return;
    }
    const int chosen = result.releases.size() == 1 ? 0
                       : chooseRelease             ? chooseRelease(result.releases)
                                                   : AskForRelease(result.releases);
    if (chosen < 0 || chosen >= static_cast<int>(result.releases.size())) {
        SetLookupStatus("");
        return;
    }
    logic_.SetFoundNames(result.releases[static_cast<std::size_t>(chosen)].names);
    SetLookupStatus("");
    ShowNames();
}

void CCDAudioPage::SetLookupStatus(const QString& text) {
    lookupStatus->setText(text);
    lookupStatus->setVisible(!text.isEmpty());
}

int CCDAudioPage::AskForRelease(const std::vector<lookup::Release>& releases) {
    QStringList choices;
    for (const lookup::Release& r : releases)
        choices << QString::fromStdString(r.title + " - " + r.artist + " (" + r.country + " " +
                                          r.date.substr(0, 4) + ")");
    bool ok = false;
    const QString choice = QInputDialog::getItem(
        this, "Releases", "Several releases hold this disc. Which is it?", choices, 0, false, &ok);
    return ok ? static_cast<int>(choices.indexOf(choice)) : -1;
}

// The titles, album and artist as the logic has them now.
void CCDAudioPage::ShowNames() {
    showing_ = true;
    const std::vector<cdda::TrackItem> items = logic_.Items();
    for (int i = 0; i < tracks->topLevelItemCount() && i < static_cast<int>(items.size()); ++i)
        tracks->topLevelItem(i)->setText(2, QString::fromStdString(items[static_cast<std::size_t>(i)].title));
    const cdda::DiscNames names = logic_.Names();
    album->setText(QString::fromStdString(names.album.album));
    artist->setText(QString::fromStdString(names.album.artist));
    showing_ = false;
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
            new QTreeWidgetItem(tracks, {QString::fromStdString(t.text), QString::fromStdString(t.length),
                                         QString::fromStdString(t.title)});
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        item->setTextAlignment(0, Qt::AlignCenter);
        item->setTextAlignment(1, Qt::AlignCenter);
        item->setIcon(0, icon);
        item->setData(0, Qt::UserRole, t.track);
    }
    showing_ = false;
    if (!lookingUp_) SetLookupStatus("");
    ShowNames();
    ShowSelection();
    // A disc listed for the first time is looked up by itself; the names arrive later.
    listedDisc_ = logic_.Items().empty() ? std::string() : lookup::DiscIdOf(cdda::TrackTable());
    UpdateLookUpButton();
    if (!listedDisc_.empty() && listedDisc_ != lookedUpDisc_ && !lookup::DiscLookup::Server().empty()) {
        lookedUpDisc_ = listedDisc_;
        StartLookUp();
    }
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
    enabled_ = enable;
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(enable);
    UpdateLookUpButton();
}

// Look Up asks about the listed disc: not while the page is disabled, a lookup is under way or
// no disc is listed.
void CCDAudioPage::UpdateLookUpButton() {
    lookUp->setEnabled(enabled_ && !lookingUp_ && !listedDisc_.empty());
}

}  // namespace ui
