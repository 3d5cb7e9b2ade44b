#pragma once

#include <QDialog>
#include <functional>
#include <optional>

#include "app/measure/views/measure_pages.h"
#include "app/nvm/views/eeprom_pages.h"
#include "app/nvm/views/flash_pages.h"
#include "app/registers/views/bbp_pages.h"
#include "app/registers/views/mac_page.h"
#include "app/registers/views/rf_pages.h"
#include "app/shell/device_presence.h"
#include "app/shell/page_services.h"
#include "app/shell/sheet_operations.h"
#include "app/shell/views/about_page.h"
#include "app/sniffer/views/sniffer_page.h"
#include "app/txrx/views/txrx_page.h"
#include "app/txrx/views/usb_config_page.h"

class QLabel;
class QPushButton;
class QTabWidget;

// The one window of the program: a property sheet with one tab per test
// function, "Exit" in place of Cancel and no OK or Apply. It holds every page
// and carries the operations through which one page updates another.
class CQAPropertySheet : public QDialog, public kqa::shell::SheetOperations {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Kestrel USB V1.0.1.5";

  // Switches for the in-process emulated chip, offered on the sheet so that the
  // device can be pulled and put back while the program runs.
  struct EmulatedChipSwitch {
    std::function<bool()> unplug;
    std::function<bool()> replug;
  };

  explicit CQAPropertySheet(kqa::shell::PageServices& services, QWidget* parent = nullptr);
  ~CQAPropertySheet() override;

  QTabWidget* tabs() const { return tabs_; }
  kqa::PropertyPage& page(kqa::shell::Page which);
  void setActivePage(kqa::shell::Page which);
  // The page of the current tab.
  kqa::shell::Page activePage() const;

  // Carries out one presence decision of the main frame.
  void applyPresence(const kqa::shell::PresenceAction& action);
  // Stops transmissions, reception and a capture on the pages that run them.
  void stopRunningActivities();

  // The line under the tabs that names the device in use.
  void setDeviceDescription(const QString& text, bool emulated);
  void setEmulatedChipSwitch(EmulatedChipSwitch chipSwitch);
  // How the About page asks the chip for its firmware version.
  void setFirmwareQuery(std::function<std::optional<std::uint32_t>()> query) {
    aboutPage_.setFirmwareQuery(std::move(query));
  }

  // Cross-page operations.
  void SyncChannelSelection() override;
  void SelectTxRxChannel(int index) override;
  void SelectTxRxPath(int index) override;
  void SetTxRxOneRxPath(bool on) override;
  void SelectTxRxBandwidth(int index) override;
  void ToggleTxRxReceive() override;
  void StopTxRxActivities() override;
  bool ReadTxRxOffsets(std::uint8_t& first, std::uint8_t& second, std::uint8_t& third) override;
  void ShowChipInfoOnTxRx() override;
  void ShowChipInfoOnRf() override;

 public slots:
  void done(int result) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void addTabs();
  void showDeviceLine(bool frozen);

  kqa::shell::PageServices& services_;
  // The pages, constructed in this order.
  CUSBConfigPage usbConfigPage_;
  CTXRXPage txrxPage_;
  CMACPage macPage_;
  CBBPPage bbpPage_;
  CBBPPage2 bbpPage2_;
  CBBPPage3 bbpPage3_;
  CRFPage rfPage_;
  CRFPage2 rfPage2_;
  CEEPROMPage eepromPage_;
  CEEPROMPage2 eepromPage2_;
  CFLASHPage flashPage_;
  CFLASHIIPage flashIIPage_;
  CSnifferPage snifferPage_;
  CAboutPage aboutPage_;
  CNoiseLevelPage noiseLevelPage_;
  CFftGraphPage fftGraphPage_;
  CPAPDTESTPage papdTestPage_;
  CIQCalibrationPage iqCalibrationPage_;

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
