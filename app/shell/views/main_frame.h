#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <span>

#include "app/shell/device_presence.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page_table.h"

class CQAPropertySheet;

// The invisible owner of the property sheet. It creates the sheet, watches
// the device twice a second (freezing and reviving the sheet), and ends the
// program's run when the sheet has been closed, closing the device.
class CMainFrame : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Kestrel USB QA V1.0.1.5";
  static constexpr int kPresencePeriodMs = 500;

  struct Device {
    // Opens the connection when none is open; true when one is open after.
    std::function<bool()> ensureOpen;
    // Closes the connection if one is open.
    std::function<void()> close;
  };

  CMainFrame(kqa::shell::PageServices& services, Device device,
             std::span<const kqa::shell::PageRow> pages = kqa::shell::PageTable());
  ~CMainFrame() override;

  // Lets main set up the sheet (device line, chip switch) before it shows.
  void setSheetSetup(std::function<void(CQAPropertySheet&)> setup) { setup_ = std::move(setup); }

  // Creates and shows the sheet and starts the presence timer.
  void start();
  // Runs until the sheet has gone.
  void run();
  // start() and run().
  void exec() {
    start();
    run();
  }
  // One tick of the presence timer.
  void onTimer();

  CQAPropertySheet* sheet() const { return sheet_.get(); }
  bool running() const { return running_; }
  const kqa::shell::DevicePresence& presence() const { return presence_; }

 signals:
  void ended();

 private:
  void end();

  kqa::shell::PageServices& services_;
  Device device_;
  std::span<const kqa::shell::PageRow> pages_;
  kqa::shell::DevicePresence presence_;
  std::function<void(CQAPropertySheet&)> setup_;
  std::unique_ptr<CQAPropertySheet> sheet_;
  bool sheetClosed_ = false;
  bool running_ = false;
  bool ticking_ = false;
  QTimer timer_;
};
