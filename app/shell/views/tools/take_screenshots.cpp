// Shows the sheet on the emulated chip and saves the pictures in docs/:
//   xvfb-run -a build/app/shell/views/kestrelqa-screenshots docs
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QTreeView>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "app/nvm/views/eeprom_page.h"
#include "app/nvm/views/eeprom_page2.h"
#include "app/nvm/views/nor_flash_page.h"
#include "app/registers/views/mac_page.h"
#include "app/shell/views/program.h"
#include "app/shell/views/property_sheet.h"
#include "app/shell/views/tools/emulated_world.h"
#include "app/shell/views/tools/measure_screenshots.h"
#include "app/shell/views/tools/register_page_shots.h"
#include "app/sniffer/capture_radio.h"
#include "app/sniffer/views/sniffer_data_dialog.h"
#include "app/sniffer/views/sniffer_page.h"
#include "app/txrx/views/txrx_page.h"
#include "devices/device_select.h"
#include "app/registers/script/register_script.h"
#include "platform/prompt/scripted_prompt.h"

namespace {

void Save(QWidget& window, const QString& path) {
  QApplication::processEvents();
  if (!window.grab().save(path)) std::cerr << "cannot write " << path.toStdString() << '\n';
  std::cout << path.toStdString() << '\n';
}

// The EEPROM page on the eFuse board: its free blocks, the LED words
// decoded as "High" active, and a byte just written.
void ShowEepromPageOnTheEfuseBoard(const QDir& folder) {
  kqa::devices::DeviceChoice choice;
  choice.kind = kqa::devices::DeviceChoice::Kind::EmulatedEfuse;
  const auto world = EmulatedWorld::Open(choice, {.eepromFile = ""});
  if (!world) return;
  CQAPropertySheet sheet(world->services);
  SetUpSheet(sheet, world->device, *world->chip);
  sheet.show();
  sheet.setActivePage(kqa::shell::Page::Eeprom);
  auto& eeprom = static_cast<CEEPROMPage&>(sheet.page(kqa::shell::Page::Eeprom));
  eeprom.findChild<QComboBox*>(QStringLiteral("ledActive"))->setCurrentIndex(0);
  eeprom.onLedActiveChosen(0);
  eeprom.findChild<QLineEdit*>(QStringLiteral("offset"))->setText(QStringLiteral("34"));
  eeprom.onReadWrite();
  Save(sheet, folder.filePath(QStringLiteral("screenshot-eeprom-page.png")));
}

// The TX/RX page after its activation downloaded the firmware and the
// engineer ran the DC-offset calibration and the TSSI measurement; its
// calibration and firmware groups on their own as well.
void ShootTxRxCalibration(CQAPropertySheet& sheet, const QDir& folder) {
  sheet.setActivePage(kqa::shell::Page::TxRx);
  auto& page = static_cast<CTXRXPage&>(sheet.page(kqa::shell::Page::TxRx));
  for (const char* name : {"dcoc", "measureTssi"}) page.findChild<QPushButton*>(QString::fromLatin1(name))->click();
  page.findChild<QLineEdit*>(QStringLiteral("iq0"))->setText(QStringLiteral("3E"));
  page.findChild<QLineEdit*>(QStringLiteral("iq1"))->setText(QStringLiteral("02"));
  Save(sheet, folder.filePath(QStringLiteral("screenshot-txrx-page-calibration.png")));
  for (QGroupBox* group : page.findChildren<QGroupBox*>()) {
    if (group->title() == QStringLiteral("Calibration"))
      Save(*group, folder.filePath(QStringLiteral("screenshot-txrx-calibration.png")));
    if (group->title() == QStringLiteral("Firmware"))
      Save(*group, folder.filePath(QStringLiteral("screenshot-txrx-firmware.png")));
  }
}

// The TX/RX page after a looped-back counted run on channel 6, then its
// two dialogs as the page opens them.
void SaveTxRx(CQAPropertySheet& sheet, const QDir& folder) {
  sheet.setActivePage(kqa::shell::Page::TxRx);
  auto& page = static_cast<CTXRXPage&>(sheet.page(kqa::shell::Page::TxRx));
  page.findChild<QComboBox*>(QStringLiteral("channelList"))->setCurrentIndex(5);
  page.onChannelChosen(5);
  page.findChild<QCheckBox*>(QStringLiteral("loopback"))->click();
  page.findChild<QLineEdit*>(QStringLiteral("repeat"))->setText(QStringLiteral("2000"));
  page.findChild<QLineEdit*>(QStringLiteral("totalBytes"))->setText(QStringLiteral("1500"));
  page.onStartTx();
  for (int second = 0; second < 2; ++second) {
    QThread::msleep(1000);
    page.onTimer(kqa::txrx::PageTimer::Statistics);
  }
  Save(sheet, folder.filePath(QStringLiteral("screenshot-txrx-page.png")));

  const auto shoot = [&](const char* caption, const char* file) {
    page.setDialogRunner([file, &folder](QDialog& dialog) {
      dialog.show();
      Save(dialog, folder.filePath(QString::fromLatin1(file)));
      return static_cast<int>(QDialog::Rejected);
    });
    for (QPushButton* button : page.findChildren<QPushButton*>())
      if (button->text() == QLatin1String(caption)) button->click();
  };
  shoot("Set TxD", "screenshot-set-tx-descriptor.png");
  // The environment dialog belongs to "Frame Loss :", offered while nothing runs.
  page.findChild<QCheckBox*>(QStringLiteral("loopback"))->click();
  page.findChild<QCheckBox*>(QStringLiteral("frameLoss"))->click();
  shoot("Set Tx Env...", "screenshot-set-tx-env.png");
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs"));

  kqa::devices::DeviceChoice choice;
  choice.kind = kqa::devices::DeviceChoice::Kind::Emulated;
  const auto world = EmulatedWorld::Open(choice);
  if (!world) return 1;
  kqa::device::DeviceContext& device = world->device;
  kqa::ScriptedPrompt& prompt = world->prompt;  // answers the script dialog without showing it

  CQAPropertySheet sheet(world->services);
  SetUpSheet(sheet, device, *world->chip);
  sheet.show();

  // The MAC page after the example script ran and its write was read back.
  sheet.setActivePage(kqa::shell::Page::Mac);
  auto& mac = static_cast<CMACPage&>(sheet.page(kqa::shell::Page::Mac));
  const std::string script = QDir::temp().filePath(QStringLiteral("kestrelqa-example.txt")).toStdString();
  {
    std::ofstream out(script);
    for (const std::string& line : kqa::RegisterScriptExample())
      if (line.rfind("Example", 0) != 0) out << line;
  }
  prompt.answerFile(script);
  mac.onLoadScript();
  std::remove(script.c_str());
  mac.findChild<QComboBox*>(QStringLiteral("bankList"))->setCurrentIndex(2);
  mac.onBankChosen(2);
  mac.findChild<QLineEdit*>(QStringLiteral("singleOffset"))->setText(QStringLiteral("314"));
  mac.onSingleReadWrite();
  Save(sheet, folder.filePath(QStringLiteral("screenshot-mac-page.png")));

  ShootRegisterPages(sheet, prompt, folder, Save);
  // The sniffer two seconds into a capture on the lab's channel, and a
  // beacon in the data dialog.
  kqa::sniffer::TuneChannel(device, 1);
  sheet.setActivePage(kqa::shell::Page::Sniffer);
  auto& sniffer = static_cast<CSnifferPage&>(sheet.page(kqa::shell::Page::Sniffer));
  sniffer.onStartStop();
  for (int tick = 0; tick < 4; ++tick) {
    QThread::msleep(500);
    sniffer.onCaptureTick();
  }
  QTreeView& packets = sniffer.list();
  for (int row = 0; row < packets.model()->rowCount(); ++row) {
    if (packets.model()->index(row, 5).data().toString() != QStringLiteral("Beacon")) continue;
    packets.setCurrentIndex(packets.model()->index(row, 0));
    break;
  }
  Save(sheet, folder.filePath(QStringLiteral("screenshot-sniffer-page.png")));
  if (auto dialog = sniffer.makeDataDialog(static_cast<std::size_t>(packets.currentIndex().row()))) {
    dialog->show();
    Save(*dialog, folder.filePath(QStringLiteral("screenshot-sniffer-data.png")));
  }
  sniffer.onStartStop();
  // The configuration-memory pages: the USB identity and strings, and the
  // NOR flash after an image was programmed.
  sheet.setActivePage(kqa::shell::Page::Eeprom2);
  Save(sheet, folder.filePath(QStringLiteral("screenshot-eeprom2-page.png")));
  sheet.setActivePage(kqa::shell::Page::NorFlash);
  auto& flash = static_cast<CFLASHIIPage&>(sheet.page(kqa::shell::Page::NorFlash));
  const std::string image = QDir::temp().filePath(QStringLiteral("kestrelqa-flash.bin")).toStdString();
  {
    std::ofstream out(image, std::ios::binary);
    for (int i = 0; i < 8 * 4096; ++i) out.put(static_cast<char>(i * 7));
  }
  prompt.answerFile(image);
  flash.onLoadFromFile();
  std::remove(image.c_str());
  Save(sheet, folder.filePath(QStringLiteral("screenshot-nor-flash-page.png")));
  ShowEepromPageOnTheEfuseBoard(folder);

  SaveTxRx(sheet, folder);
  ShootTxRxCalibration(sheet, folder);

  sheet.setActivePage(kqa::shell::Page::UsbConfig);
  Save(sheet, folder.filePath(QStringLiteral("screenshot-usb-config-page.png")));

  sheet.setActivePage(kqa::shell::Page::About);
  Save(sheet, folder.filePath(QStringLiteral("screenshot-about-page.png")));

  kqa::shell::PresenceAction frozen;
  frozen.kind = kqa::shell::PresenceAction::Kind::Freeze;
  frozen.enablePages = false;
  frozen.title = kqa::shell::kFrozenTitle;
  frozen.activeTab = kqa::shell::Page::UsbConfig;
  sheet.applyPresence(frozen);
  Save(sheet, folder.filePath(QStringLiteral("screenshot-frozen.png")));
  return SaveMeasurementScreenshots(folder) ? 0 : 1;
}
