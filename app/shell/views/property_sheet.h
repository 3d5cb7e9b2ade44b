#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "app/shell/device_presence.h"
#include "app/shell/page_services.h"
#include "app/shell/views/page/page_host.h"
#include "app/shell/views/page/property_page.h"
#include "app/shell/views/page_table.h"

class QLabel;
class QPushButton;
class QTabWidget;

// The one window of the program: a property sheet with one tab per test
// function, "Exit" in place of Cancel and no OK or Apply. It builds its pages
// from the page table, passes on what one page tells the others, and
// runs one operation at a time across all of them.
class CQAPropertySheet : public QDialog, public kqa::PageHost {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Kestrel USB V1.0.1.5";

  // Switches for the in-process emulated chip, offered on the sheet so that the
  // device can be pulled and put back while the program runs.
  struct EmulatedChipSwitch {
    std::function<bool()> unplug;
    std::function<bool()> replug;
  };

  explicit CQAPropertySheet(kqa::shell::PageServices& services,
                            std::span<const kqa::shell::PageRow> table = kqa::shell::PageTable(),
                            QWidget* parent = nullptr);
  ~CQAPropertySheet() override;

  QTabWidget* tabs() const { return tabs_; }
  // The page of a row of the table (every row's page is built, tab or not).
  kqa::PropertyPage& page(kqa::shell::Page which);
  void setActivePage(kqa::shell::Page which);
  // The page of the current tab.
  kqa::shell::Page activePage() const;

  // Carries out one presence decision of the main frame.
  void applyPresence(const kqa::shell::PresenceAction& action);
  // Tells every page that has been shown to stop what it runs.
  void stopRunningActivities();
  // True while a page's operation runs (the presence check then waits).
  bool busy() const { return gate_.busy(); }

  // The line under the tabs that names the device in use.
  void setDeviceDescription(const QString& text, bool emulated);
  void setEmulatedChipSwitch(EmulatedChipSwitch chipSwitch);
  // How the About page asks the chip for its firmware version.
  void setFirmwareQuery(std::function<std::optional<std::uint32_t>()> query);

  // kqa::PageHost
  void passOn(const kqa::page::PageEvent& event, kqa::PropertyPage& from) override;
  kqa::OperationGate& gate() override { return gate_; }

 public slots:
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  kqa::PropertyPage* findPage(kqa::shell::Page which) const;
  void showDeviceLine(bool frozen);

  std::span<const kqa::shell::PageRow> table_;
  // One page per row of the table, in its order.
  std::vector<std::unique_ptr<kqa::PropertyPage>> pages_;
  kqa::OperationGate gate_;

  QTabWidget* tabs_;
  std::vector<kqa::shell::Page> tabPages_;
  QLabel* deviceLabel_;
  QPushButton* chipButton_;
  QPushButton* okButton_;
  QPushButton* exitButton_;
  EmulatedChipSwitch chipSwitch_;
  QString deviceText_;
  bool emulated_ = false;
  bool frozen_ = false;
};
