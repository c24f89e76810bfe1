#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/input_check.h"
#include "app/window_placement.h"
#include "cdda/audio_cd_page.h"
#include "cdda/dae_page.h"
#include "job/file_list.h"
#include "job/settings_page.h"
#include "platform/message_box.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_window.h"
#include "ui/art.h"
#include "ui/cd_audio_page.h"
#include "ui/dae_page.h"
#include "ui/file_page.h"
#include "ui/progress_fields.h"
#include "ui/settings_page.h"

namespace {

// Asks the window to show the Audio CD selection again after the batch advanced it.
constexpr unsigned WM_SHOW_CD_SELECTION = platform::WM_USER + 20;

constexpr const char* kPageTitles[4] = {"Files", "Audio CD", "DAE", "Settings"};

}  // namespace

// The DAE page as the job sees it: values taken over at Go.
class MainWindow::DaeView : public DaePageView {
  public:
    explicit DaeView(MainWindow& w) : w_(w) {}
    bool HasWindow() const override { return w_.daeLogic_ != nullptr; }
    profile::DaeValues Values() override { return w_.daeLogic_->Values(); }

  private:
    MainWindow& w_;
};

// The Audio CD page as the job sees it. The worker reads and advances the selection; the
// list on the screen follows on the user-interface thread.
class MainWindow::AudioCdView : public AudioCdPageView {
  public:
    explicit AudioCdView(MainWindow& w) : w_(w) {}
    bool HasWindow() const override { return w_.cdLogic_ != nullptr; }
    profile::AudioCdValues Values() override { return w_.cdLogic_->Values(); }
    int SelectedTrackFrames() const override { return w_.cdLogic_->SelectedTrackFrames(); }
    int GetSelection(CdSelection& selection) override { return w_.cdLogic_->GetSelection(selection); }
    void AdvanceSelection() override {
        w_.cdLogic_->AdvanceSelection();
        w_.handle_->Post(WM_SHOW_CD_SELECTION, 0, 0);
    }

  private:
    MainWindow& w_;
};

MainWindow::MainWindow(profile::AppProfile& profile, bool codecFound, CodecQuery* codec,
                       BatchEncoderFactory makeEncoder, EncodingSettings& settings)
    : profile_(profile), codecFound_(codecFound) {
    files_ = std::make_unique<FileListModel>(profile_.Read(profile::kLastFolder), UnreadableInputReason);
    files_->Restore(profile::ReadFileList(profile_));
    settingsModel_ = std::make_unique<CSettingsPageModel>(codecFound);
    daeView_ = std::make_unique<DaeView>(*this);
    cdView_ = std::make_unique<AudioCdView>(*this);

    MainDlgParts parts;
    parts.window = this;
    parts.files = files_.get();
    parts.settingsPage = settingsModel_.get();
    parts.daePage = daeView_.get();
    parts.audioCdPage = cdView_.get();
    parts.codec = codecFound ? codec : nullptr;
    parts.makeEncoder = std::move(makeEncoder);
    parts.profile = &profile_;
    parts.codecFound = codecFound;
    dlg_ = std::make_unique<CMainDlg>(std::move(parts), settings);

    handle_ = new platform::QtWindow(
        [this](const platform::Message& m) -> std::intptr_t {
            if (m.id == WM_SHOW_CD_SELECTION) {
                if (cdPage_) cdPage_->ShowSelection();
                return 0;
            }
            return dlg_->OnMessage(m);
        },
        this);
    dlg_->AttachWindow(*handle_);
    boxes_ = std::make_unique<platform::QtMessageBox>(handle_);

    setWindowTitle("Velto");
    setWindowIcon(ui::AppIcon());
    BuildMenu();
    BuildControls();
    dlg_->OnInitDialog();
    ShowPage(kFilesPage);
    RestoreGeometry();
}

void MainWindow::RestoreGeometry() {
    const profile::WindowGeometry kept = profile::ReadWindow(profile_);
    if (kept.width <= 0 || kept.height <= 0) return;
    std::vector<ScreenRect> screens;
    QList<QScreen*> all = QGuiApplication::screens();
    if (QScreen* primary = QGuiApplication::primaryScreen()) all.prepend(primary);
    for (QScreen* screen : all) {
        const QRect r = screen->availableGeometry();
        screens.push_back({r.x(), r.y(), r.width(), r.height()});
    }
    const ScreenRect placed = PlaceWindow({kept.left, kept.top, kept.width, kept.height}, screens);
    resize(placed.width, placed.height);
    move(placed.x, placed.y);
}

void MainWindow::SaveGeometry() {
    profile::WriteWindow(profile_, {pos().x(), pos().y(), width(), height()});
}

MainWindow::~MainWindow() {
    // The worker may still be ending: nothing it sends may wait for this window any more.
    handle_->Close();
    dlg_.reset();
}

void MainWindow::BuildMenu() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Exit", this, [this] { close(); });
    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction("&About...", this, [this] { ShowLogo(this); });
    help->addSeparator();
    help->addAction("&About Velto...", this, [this] { ShowAbout(); });
    // Escape closes the window, as it does a dialog, through the close procedure.
    new QShortcut(QKeySequence(Qt::Key_Escape), this, [this] { close(); });
    // Ctrl+Tab and Ctrl+Shift+Tab move between the pages wherever the focus is, not only
    // inside a page.
    new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this, [this] { StepPage(1); });
    new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), this, [this] { StepPage(-1); });
}

void MainWindow::BuildControls() {
    auto* central = new QWidget(this);
    tabs_ = new QTabWidget(central);
    tabs_->setObjectName("pages");
    for (int i = 0; i < 4; ++i) {
        pageHosts_[i] = new QWidget(tabs_);
        auto* hostLayout = new QVBoxLayout(pageHosts_[i]);
        hostLayout->setContentsMargins(0, 0, 0, 0);
        tabs_->addTab(pageHosts_[i], kPageTitles[i]);
    }
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) { OnPageChanged(index); });

    go_ = ui::MakeImageButton("&Go", ui::kBitmapGo, central);
    go_->setObjectName("go");
    go_->setMinimumSize(90, 40);
    connect(go_, &QPushButton::clicked, this, [this] { OnGo(); });

    fileBar_ = new QProgressBar(central);
    batchBar_ = new QProgressBar(central);
    fileBar_->setObjectName("fileProgress");
    batchBar_->setObjectName("batchProgress");
    for (QProgressBar* bar : {fileBar_, batchBar_}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    fields_ = std::make_unique<ui::ProgressFields>(central);

    auto* bars = new QGridLayout;
    bars->addWidget(new QLabel("File Progress:", central), 0, 0);
    bars->addWidget(fileBar_, 0, 1);
    bars->addWidget(new QLabel("Batch Progress:", central), 1, 0);
    bars->addWidget(batchBar_, 1, 1);
    bars->addWidget(go_, 0, 2, 2, 1);
    QHBoxLayout* times = fields_->TimesRow(central);

    auto* layout = new QVBoxLayout(central);
    layout->addWidget(tabs_, 1);
    layout->addLayout(bars);
    layout->addLayout(times);
    layout->addWidget(fields_->status);
    setCentralWidget(central);
    resize(640, 480);
}

bool MainWindow::PageHasWindow(Page page) const {
    switch (page) {
        case kFilesPage:
            return filePage_ != nullptr;
        case kAudioCdPage:
            return cdPage_ != nullptr;
        case kDaePage:
            return daePage_ != nullptr;
        case kSettingsPage:
            return settingsPage_ != nullptr;
    }
    return false;
}

void MainWindow::ShowPage(Page page) {
    QWidget* host = pageHosts_[page];
    if (!PageHasWindow(page)) {
        // A page first shown during a batch comes up as disabled as the others are.
        QWidget* made = nullptr;
        switch (page) {
            case kFilesPage:
                made = filePage_ = new ui::CFilePage(*files_, host);
                filePage_->EnablePage(pagesEnabled_);
                break;
            case kAudioCdPage:
                cdLogic_ = std::make_unique<cdda::CCDAudioPage>(profile::ReadAudioCd(profile_));
                made = cdPage_ = new ui::CCDAudioPage(*cdLogic_, host);
                cdPage_->EnablePage(pagesEnabled_);
                break;
            case kDaePage:
                daeLogic_ = std::make_unique<cdda::CDaePage>(profile::ReadDae(profile_));
                daeLogic_->Initialise();
                made = daePage_ = new ui::CDaePage(*daeLogic_, host);
                daePage_->EnablePage(pagesEnabled_);
                break;
            case kSettingsPage:
                settingsModel_->Initialise(profile_, !pagesEnabled_);
                made = settingsPage_ = new ui::CSettingsPage(*settingsModel_, host);
                break;
        }
        host->layout()->addWidget(made);
    }
    if (tabs_->currentIndex() != page) tabs_->setCurrentIndex(page);
    currentPage_ = page;
}

void MainWindow::StepPage(int step) {
    const int count = tabs_->count();
    tabs_->setCurrentIndex((tabs_->currentIndex() + step + count) % count);
}

void MainWindow::OnPageChanged(int index) {
    if (index < 0 || index == currentPage_) return;
    // Leaving the DAE page takes its fields over; a field in error keeps the page shown. The
    // page comes back to the front before the check, so that its message appears over it.
    if (currentPage_ == kDaePage && daePage_) {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(kDaePage);
        if (!TakeDaeFields()) return;
        tabs_->setCurrentIndex(index);
    }
    ShowPage(static_cast<Page>(index));
}

bool MainWindow::TakeDaeFields() {
    if (!daePage_ || daePage_->TakeOver()) return true;
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(kDaePage);
    currentPage_ = kDaePage;
    return false;
}

void MainWindow::OnGo() {
    if (!dlg_->m_bRunning) {
        if (!TakeDaeFields()) return;
        if (cdPage_) cdPage_->TakeOver();
    }
    dlg_->OnGo();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (closed_) return event->accept();
    if (!TakeDaeFields()) return event->ignore();
    if (cdPage_) cdPage_->TakeOver();
    if (!dlg_->OnClose()) return event->ignore();
    SaveGeometry();
    closed_ = true;
    event->accept();
}

void MainWindow::SetFileBar(int low, int high, int position) {
    fileBar_->setRange(low, high);
    fileBar_->setValue(position);
}

void MainWindow::SetFileBarPosition(int position) {
    fileBar_->setValue(position);
}

void MainWindow::SetBatchBar(int low, int high, int position) {
    batchBar_->setRange(low, high);
    batchBar_->setValue(position);
}

void MainWindow::SetBatchBarPosition(int position) {
    batchBar_->setValue(position);
}

std::string MainWindow::Title() const {
    return windowTitle().toStdString();
}

void MainWindow::SetTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

void MainWindow::SetGoButton(const std::string& caption, int bitmap) {
    ui::SetButtonImage(go_, QString::fromStdString(caption), bitmap);
}

void MainWindow::EnablePages(bool enable) {
    pagesEnabled_ = enable;
    if (filePage_) filePage_->EnablePage(enable);
    if (settingsPage_) settingsPage_->EnablePage(enable);
    if (cdPage_) cdPage_->EnablePage(enable);
    if (daePage_) daePage_->EnablePage(enable);
}

void MainWindow::AlertDone(const std::string& text, const std::string& details) {
    platform::Beep();
    platform::MessageBox(text, platform::kAppCaption, platform::MB_OK | platform::MB_USERICON, details);
}

void MainWindow::ShowAbout() {
    ShowAboutBox(this);
}
