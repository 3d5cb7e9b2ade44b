#include "app/shell/views/tools/measure_screenshots.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QAbstractButton>
#include <QThread>
#include <fstream>
#include <iostream>
#include <vector>

#include "app/device/register_access.h"
#include "app/measure/views/capture_mode_setting.h"
#include "app/measure/views/measure_pages.h"
#include "app/shell/views/property_sheet.h"
#include "app/shell/views/tools/emulated_world.h"
#include "app/sniffer/capture_radio.h"

namespace {

using kqa::shell::Page;

// The air the pictures show: frames of a signal generator on channel 1 (25 dB
// over the floor), a tone 3.125 MHz above channel 6, a louder floor on
// channel 11.
constexpr const char* kEnvironment =
    "noise default -95\n"
    "noise 11 -90\n"
    "generator channel=1 level=-70 frames=1000000 interval=1 rate=ofdm-24 length=600 start=5\n"
    "tone channel=6 level=-65 offset=3.125\n";

// Tunes for the measurement pages as the TX/RX page does when they tell it
// to (a channel, reception on or off), so that the pictures show what each
// channel holds. The TX/RX page itself does not answer them yet.
class TuningStandIn : public kqa::PropertyPage {
 public:
  explicit TuningStandIn(kqa::shell::PageServices& services)
      : device_(services.device), channels_(services.channels) {}

 protected:
  void onChannelChanged(const kqa::page::ChannelChanged& event) override {
    if (event.tune && kqa::sniffer::TuneChannel(device_, event.index + 1)) channels_.channelIndex = event.index;
  }
  void onToggleReceive() override {
    kqa::device::RegisterAccess access(device_);
    std::uint32_t control = 0;
    if (access.ReadMacRegister(0x1004, control)) access.WriteMacRegister(0x1004, control ^ 0x8);
  }

 private:
  kqa::device::DeviceContext& device_;
  kqa::device::ChannelState& channels_;
};

std::unique_ptr<kqa::PropertyPage> MakeStandIn(kqa::shell::PageServices& services) {
  return std::make_unique<TuningStandIn>(services);
}

bool Save(QWidget& window, const QString& path) {
  QApplication::processEvents();
  const bool saved = window.grab().save(path);
  if (!saved) std::cerr << "cannot write " << path.toStdString() << '\n';
  std::cout << path.toStdString() << '\n';
  return saved;
}

QAbstractButton& Button(QWidget& page, const QString& caption) {
  for (auto* radio : page.findChildren<QAbstractButton*>())
    if (radio->text() == caption) return *radio;
  qFatal("no button %s", qPrintable(caption));
}

// Lets the FFT page's worker capture until a capture is drawn, then stops it.
bool CaptureOnce(CFftGraphPage& page) {
  const int before = page.framesDrawn();
  page.onStartStop();
  QElapsedTimer waited;
  waited.start();
  while (page.framesDrawn() == before && waited.elapsed() < 30000) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
  page.stopCapture();
  QApplication::processEvents();
  return page.framesDrawn() > before;
}

}  // namespace

bool SaveMeasurementScreenshots(const QDir& folder) {
  const QString environment = folder.filePath(QStringLiteral("kestrelqa-screenshots.env"));
  std::ofstream(environment.toStdString()) << kEnvironment;
  kqa::devices::DeviceChoice choice;
  choice.kind = kqa::devices::DeviceChoice::Kind::Emulated;
  choice.environmentFile = environment.toStdString();
  const auto world = EmulatedWorld::Open(choice, {}, {true, true, true});
  std::remove(environment.toStdString().c_str());
  if (!world) return false;
  kqa::device::DeviceContext& device = world->device;
  kqa::ScriptedPrompt& prompt = world->prompt;

  std::vector<kqa::shell::PageRow> table(kqa::shell::PageTable().begin(), kqa::shell::PageTable().end());
  for (auto& row : table)
    if (row.id == Page::TxRx) row.make = &MakeStandIn;
  CQAPropertySheet sheet(world->services, table);
  sheet.setDeviceDescription(QString::fromStdString(world->chip->description()), true);
  sheet.show();
  sheet.setActivePage(Page::TxRx);
  bool saved = true;

  // FFT Graph: a frame on channel 1 over time (the channel tuned as the TX/RX
  // page tunes it at its start, the receiver's gain its own), then the tone
  // on channel 6 over frequency.
  kqa::sniffer::TuneChannel(device, 1);
  sheet.setActivePage(Page::FftGraph);
  auto& fft = static_cast<CFftGraphPage&>(sheet.page(Page::FftGraph));
  Button(fft, QStringLiteral("&Time")).click();
  Button(fft, QStringLiteral("Auto")).click();
  fft.findChild<QLineEdit*>(QStringLiteral("triggerOffset"))->setText(QStringLiteral("3E00"));
  saved &= CaptureOnce(fft);
  Button(fft, QStringLiteral("Q")).click();
  saved &= Save(sheet, folder.filePath(QStringLiteral("screenshot-fft-time.png")));
  auto* channelList = fft.findChild<QComboBox*>(QStringLiteral("channelList"));
  channelList->setCurrentIndex(5);
  channelList->activated(5);  // as the user's pick emits it
  Button(fft, QStringLiteral("&Frequency")).click();
  saved &= CaptureOnce(fft);
  Button(fft, QStringLiteral("Golden Unit")).click();
  saved &= Save(sheet, folder.filePath(QStringLiteral("screenshot-fft-frequency.png")));

  sheet.setActivePage(Page::NoiseLevel);
  static_cast<CNoiseLevelPage&>(sheet.page(Page::NoiseLevel)).onStart24();
  saved &= Save(sheet, folder.filePath(QStringLiteral("screenshot-noise-level.png")));

  sheet.setActivePage(Page::IqCalibration);
  auto& iq = static_cast<CIQCalibrationPage&>(sheet.page(Page::IqCalibration));
  iq.onCalibrate(kqa::measure::IqCalibrationKind::RxIq);
  iq.onCalibrate(kqa::measure::IqCalibrationKind::RxGroupDelay);
  saved &= Save(sheet, folder.filePath(QStringLiteral("screenshot-iq-calibration.png")));

  sheet.setActivePage(Page::PapdTest);
  const QString pbf = folder.filePath(QStringLiteral("pbf.txt"));
  prompt.answerFile(pbf.toStdString());
  static_cast<CPAPDTESTPage&>(sheet.page(Page::PapdTest)).onRead(kqa::measure::PapdMemory::Pbf);
  std::remove(pbf.toStdString().c_str());
  saved &= Save(sheet, folder.filePath(QStringLiteral("screenshot-papd-test.png")));

  kqa::measure::CaptureSettings settings;
  CCaptureModeSetting dialog(settings, prompt, &sheet);
  dialog.show();
  saved &= Save(dialog, folder.filePath(QStringLiteral("screenshot-capture-setting.png")));
  return saved;
}
