#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>

#include "app/shell/page/page_events.h"
#include "app/shell/page/progress.h"
#include "app/shell/views/page/page_host.h"

class QProgressBar;
class QPushButton;

namespace kqa {

// The base of every page of the property sheet: the page's life on the sheet,
// the hooks for what passes between pages, and the running of operations.
//
// Life: a page is created with the sheet but touches nothing on the device
// until it is first shown: onInitDialog() runs once, on the first activation,
// and onSetActive() on every activation after it. The caption comes from the
// page table (app/shell/views/page_table.h), not from the page.
//
// Operations: every handler runs as an operation (button(), operation()):
// while one runs, anywhere on the sheet, clicks, keys and timer ticks that
// would start another are ignored and the presence check waits. runLong()
// marks work that takes long: the page is disabled, the window shows the busy
// cursor and progressBar() follows progressSink(). Operations never enter the
// event loop (QCoreApplication::processEvents is not used): the bar and the
// logs repaint themselves directly, so nothing can start half-way through.
class PropertyPage : public QWidget {
  Q_OBJECT

 public:
  explicit PropertyPage(QWidget* parent = nullptr);
  ~PropertyPage() override;

  bool hasWindow() const { return initialised_; }

  // The sheet calls this when the page's tab becomes the current one.
  void activate();

  void setHost(PageHost* host) { host_ = host; }
  // Hands an event that another page told to this page's hook.
  void receive(const page::PageEvent& event);

 protected:
  virtual void onInitDialog() {}
  virtual void onSetActive() {}

  // Hooks (see page_events.h). The sheet calls them only once the page has
  // been shown; the page that told the event is not called.
  virtual void onStopActivities() {}
  virtual void onChannelChanged(const page::ChannelChanged&) {}
  virtual void onPathSelected(const page::PathSelected&) {}
  virtual void onBandwidthSelected(const page::BandwidthSelected&) {}
  virtual void onToggleReceive() {}
  virtual void onRadioSettingsChanged() {}

  // Tells the other pages.
  void tellOthers(const page::PageEvent& event);

  // Runs a handler as one operation; false, with nothing run, while any
  // operation runs. operation() wraps a handler so for connect().
  bool run(const std::function<void()>& handler);
  std::function<void()> operation(std::function<void()> handler);
  // A push button (never the default button) whose click is operation(handler).
  QPushButton* button(const QString& caption, std::function<void()> handler);
  // Runs long work: the page disabled, the busy cursor, the progress bar.
  // Called from a running operation (this page's handler, or a hook another
  // page's operation called) it is part of that operation; called from an
  // event loop nested under one (a message box's) it is refused, false.
  bool runLong(const QString& what, const std::function<void()>& work);

  // The bar long operations move; the page places it in its layout (it is
  // hidden until a long operation reports progress).
  QProgressBar* progressBar();
  // The callback to hand to the logic (page::Progress).
  page::Progress progressSink();

  // For pages whose own functions come in a later version: one honest line
  // saying what the page will do.
  void showLaterVersionNotice(const QString& functions);

 private:
  struct LongState {
    bool active = false;
    bool revealed = false;  // painted disabled, bar shown
    bool wasEnabled = true;
    QPointer<QWidget> focus;
    QElapsedTimer started;
  };

  OperationGate& gate();
  // Runs `work` with the gate entered; `what` non-null for long work.
  bool enter(const QString* what, const std::function<void()>& work);
  void beginLong(const QString& what);
  void endLong();
  void showProgress(std::size_t done, std::size_t total);
  void flushLogs();

  bool initialised_ = false;
  PageHost* host_ = nullptr;
  OperationGate ownGate_;  // for a page without a host
  LongState long_;
  QProgressBar* progress_ = nullptr;
};

}  // namespace kqa
