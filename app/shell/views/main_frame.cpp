#include "app/shell/views/main_frame.h"

#include <QApplication>
#include <QEventLoop>

#include "app/shell/views/property_sheet.h"

CMainFrame::CMainFrame(kqa::shell::PageServices& services, Device device,
                       std::span<const kqa::shell::PageRow> pages)
    : services_(services),
      device_(std::move(device)),
      pages_(pages),
      presence_(device_.ensureOpen) {
  setObjectName(QString::fromLatin1(kCaption));
  timer_.setInterval(kPresencePeriodMs);
  connect(&timer_, &QTimer::timeout, this, &CMainFrame::onTimer);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::start() {
  sheet_ = std::make_unique<CQAPropertySheet>(services_, pages_);
  connect(sheet_.get(), &QDialog::finished, this, [this] { sheetClosed_ = true; });
  if (setup_) setup_(*sheet_);
  sheet_->show();
  if (device_.ensureOpen()) sheet_->setActivePage(kqa::shell::Page::TxRx);
  running_ = true;
  timer_.start();
}

void CMainFrame::run() {
  QEventLoop loop;
  connect(this, &CMainFrame::ended, &loop, &QEventLoop::quit);
  if (running_) loop.exec();
}

void CMainFrame::onTimer() {
  if (!running_ || ticking_) return;
  // A page's operation runs (a message box or file dialog of it may be up,
  // with its own event loop): the sheet is left alone until it ends.
  if (QApplication::activeModalWidget() != nullptr) return;
  if (sheet_ && sheet_->busy()) return;
  ticking_ = true;
  if (sheet_ && sheetClosed_) {
    sheet_.reset();
  } else {
    const kqa::shell::PresenceAction action = presence_.check();
    if (sheet_) sheet_->applyPresence(action);
  }
  ticking_ = false;
  if (!sheet_) end();
}

void CMainFrame::end() {
  timer_.stop();
  running_ = false;
  if (device_.close) device_.close();
  emit ended();
}
