#include "app/compact_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_window.h"
#include "ui/art.h"
#include "ui/progress_fields.h"

CompactWindow::CompactWindow(const CMakerCommandLineInfo& commandLine, EncodingSettings& settings,
                             EncoderFactory makeEncoder) {
    dlg_ = std::make_unique<CProgressDlg>(commandLine, settings, *this, std::move(makeEncoder));
    handle_ = new platform::QtWindow([this](const platform::Message& m) { return dlg_->OnMessage(m); }, this);
    boxes_ = std::make_unique<platform::QtMessageBox>(handle_);

    setWindowTitle("Velto");
    setWindowIcon(ui::AppIcon());
    bar_ = new QProgressBar(this);
    bar_->setObjectName("progress");
    bar_->setRange(0, 1000);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    fields_ = std::make_unique<ui::ProgressFields>(this);
    fields_->status->setMinimumWidth(340);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setObjectName("cancel");
    cancel_->setDefault(true);
    connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });

    QHBoxLayout* times = fields_->TimesRow(this);
    times->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    layout->addWidget(fields_->status);
    layout->addLayout(times);
    setFixedSize(sizeHint());
}

CompactWindow::~CompactWindow() {
    handle_->Close();
    dlg_.reset();
}

void CompactWindow::Start() {
    dlg_->OnInitDialog(*handle_);
}

void CompactWindow::reject() {
    dlg_->OnCancel();
}

void CompactWindow::End() {
    done(dlg_->Completed() ? QDialog::Accepted : QDialog::Rejected);
}

void CompactWindow::SetBarRange(int low, int high) {
    bar_->setRange(low, high);
}

void CompactWindow::SetBarPosition(int position) {
    bar_->setValue(position);
}

std::string CompactWindow::Title() const {
    return windowTitle().toStdString();
}

void CompactWindow::SetTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}
