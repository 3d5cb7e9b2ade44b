#pragma once

#include <QElapsedTimer>
#include <QListView>
#include <QStringList>
#include <QTimer>
#include <string_view>

#include "app/shell/page/log_sink.h"

namespace kqa {

class LogModel;

// A page's list-box log (script logs, scan results), written by the logic as
// a page::LogSink. Rows queue up and go into the list in one batch per
// event-loop turn (a single-shot timer flushes them), never one repaint per
// row; the last row is selected and scrolled into view. Two more flushes:
// at the end of each operation of the page, so a handler's log is complete
// when it returns, and during a long operation, which never returns to the
// event loop: once a row has waited kLiveFlushMs, the queue goes in with a
// direct repaint, so a long script shows its progress.
class LogList : public QListView, public page::LogSink {
  Q_OBJECT

 public:
  static constexpr int kLiveFlushMs = 100;

  explicit LogList(QWidget* parent = nullptr);
  ~LogList() override;

  void clear() override;
  void append(std::string_view entry) override;
  // Moves the queued rows into the list now.
  void flush();

  // The rows as shown (without their line ends), queued ones included.
  QStringList entries() const;
  int currentRow() const { return currentIndex().row(); }
  // How long a row may wait while no event loop runs (tests set 0).
  void setLiveFlushInterval(int milliseconds) { liveFlushMs_ = milliseconds; }

 private:
  LogModel* model_;
  QStringList queued_;
  QTimer flushTimer_;
  QElapsedTimer queuedSince_;  // since the oldest queued row came
  int liveFlushMs_ = kLiveFlushMs;
};

}  // namespace kqa
