#include "app/shell/views/page/property_page.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "app/shell/views/page/log_list.h"

namespace kqa {
namespace {

// A long operation that ends sooner is never painted as such, so a quick
// bank read does not flash the page grey.
constexpr qint64 kRevealAfterMs = 150;

template <class... Hooks>
struct Overloaded : Hooks... {
  using Hooks::operator()...;
};

}  // namespace

PropertyPage::PropertyPage(QWidget* parent) : QWidget(parent) {}

PropertyPage::~PropertyPage() = default;

void PropertyPage::activate() {
  if (!initialised_) {
    initialised_ = true;
    onInitDialog();
    return;
  }
  onSetActive();
}

void PropertyPage::receive(const page::PageEvent& event) {
  std::visit(Overloaded{
                 [this](const page::StopActivities&) { onStopActivities(); },
                 [this](const page::ChannelChanged& e) { onChannelChanged(e); },
                 [this](const page::PathSelected& e) { onPathSelected(e); },
                 [this](const page::BandwidthSelected& e) { onBandwidthSelected(e); },
                 [this](const page::ToggleReceive&) { onToggleReceive(); },
                 [this](const page::RadioSettingsChanged&) { onRadioSettingsChanged(); },
             },
             event);
}

void PropertyPage::tellOthers(const page::PageEvent& event) {
  if (host_ != nullptr) host_->passOn(event, *this);
}

OperationGate& PropertyPage::gate() {
  return host_ != nullptr ? host_->gate() : ownGate_;
}

bool PropertyPage::run(const std::function<void()>& handler) {
  return enter(nullptr, handler);
}

std::function<void()> PropertyPage::operation(std::function<void()> handler) {
  return [this, handler = std::move(handler)] { run(handler); };
}

QPushButton* PropertyPage::button(const QString& caption, std::function<void()> handler) {
  auto* button = new QPushButton(caption, this);
  button->setAutoDefault(false);
  connect(button, &QPushButton::clicked, this, operation(std::move(handler)));
  return button;
}

bool PropertyPage::runLong(const QString& what, const std::function<void()>& work) {
  return enter(&what, work);
}

bool PropertyPage::enter(const QString* what, const std::function<void()>& work) {
  OperationGate& gate = this->gate();
  const int level = QThread::currentThread()->loopLevel();
  // A click or tick never starts while an operation runs; long work joins the
  // running operation only when called from it, not from a loop under it.
  if (gate.busy() && (what == nullptr || level != gate.loopLevel_)) return false;
  if (gate.depth_ == 0) gate.loopLevel_ = level;
  ++gate.depth_;
  const bool startsLong = what != nullptr && !long_.active;
  if (startsLong) beginLong(*what);
  struct Leave {
    PropertyPage& page;
    OperationGate& gate;
    bool endsLong;
    ~Leave() {
      if (endsLong) page.endLong();
      page.flushLogs();
      --gate.depth_;
    }
  } leave{*this, gate, startsLong};
  work();
  return true;
}

void PropertyPage::beginLong(const QString& what) {
  long_ = {};
  long_.active = true;
  long_.wasEnabled = !testAttribute(Qt::WA_ForceDisabled);
  long_.started.start();
  QWidget* focus = QApplication::focusWidget();
  if (focus != nullptr && isAncestorOf(focus)) long_.focus = focus;
  if (progress_ != nullptr) {
    progress_->setToolTip(what);
    progress_->reset();
  }
  // Disabled at once, so that nothing of the page answers while the work
  // runs; painted so only once the work proves long (showProgress).
  setEnabled(false);
  window()->setCursor(Qt::WaitCursor);  // the window's: a message box keeps the arrow
}

void PropertyPage::endLong() {
  if (progress_ != nullptr) progress_->hide();
  setEnabled(long_.wasEnabled);
  window()->unsetCursor();
  if (long_.focus) long_.focus->setFocus();
  long_ = {};
}

QProgressBar* PropertyPage::progressBar() {
  if (progress_ == nullptr) {
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("operationProgress"));
    progress_->setTextVisible(false);
    // Keeps its place in the layout while hidden, so that showing it in the
    // middle of an operation needs no layout pass (there is no event loop).
    QSizePolicy keepSpace = progress_->sizePolicy();
    keepSpace.setRetainSizeWhenHidden(true);
    progress_->setSizePolicy(keepSpace);
    // The page is disabled while the bar moves; the bar keeps its colour.
    QPalette palette = progress_->palette();
    palette.setColor(QPalette::Disabled, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    progress_->setPalette(palette);
    progress_->hide();
  }
  return progress_;
}

page::Progress PropertyPage::progressSink() {
  return [this](std::size_t done, std::size_t total) { showProgress(done, total); };
}

void PropertyPage::showProgress(std::size_t done, std::size_t total) {
  if (!long_.active || total == 0) return;
  if (progress_ != nullptr) {
    const int maximum = static_cast<int>(std::min<std::size_t>(total, 0x7FFFFFFF));
    progress_->setRange(0, maximum);
    // setValue repaints the bar itself, and only when the bar moves.
    progress_->setValue(static_cast<int>(std::min<std::size_t>(done, total)));
  }
  if (!long_.revealed && long_.started.elapsed() >= kRevealAfterMs) {
    long_.revealed = true;
    if (progress_ != nullptr) progress_->show();
    repaint();  // the page, disabled, at once
  }
}

void PropertyPage::flushLogs() {
  for (LogList* log : findChildren<LogList*>()) log->flush();
}

void PropertyPage::showLaterVersionNotice(const QString& functions) {
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(
      tr("%1\n\nThese functions arrive in a later version of kestrelqa.").arg(functions), this);
  text->setObjectName(QStringLiteral("laterVersionNotice"));
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);
  layout->addStretch(1);
  layout->addWidget(text);
  layout->addStretch(2);
}

}  // namespace kqa
