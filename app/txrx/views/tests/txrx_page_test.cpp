// The chip's headers before any Qt header (see page_harness.h).
#include "chip/kestrel.h"
#include "chip/radio/environment.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <chrono>

#include "app/shell/views/page/testing/page_harness.h"
#include "app/txrx/views/set_tx_descriptor.h"
#include "app/txrx/views/set_tx_env.h"
#include "app/txrx/views/txrx_page.h"
#include "app/txrx/views/usb_config_page.h"

using kqa::shell::Page;
using kqa::testing::PageHarness;
using kqa::txrx::PageTimer;
using namespace std::chrono_literals;

namespace {

QString Shown(const CTXRXPage& page, const char* name) {
  auto* label = page.findChild<QLabel*>(QString::fromLatin1(name));
  if (label == nullptr) qFatal("no display %s", name);
  return label->text();
}

// One second on the page: the chip works through it, then timer 1 ticks.
void Second(PageHarness& harness, CTXRXPage& page) {
  for (int step = 0; step < 50; ++step) harness.device.clock.sleep(20ms);
  harness.device.clock.sleep(0ms);
  page.onTimer(PageTimer::Statistics);
}

kqa::chip::KestrelOptions Lab(const std::string& generator = "") {
  kqa::chip::KestrelOptions options;
  options.radio.environment = kqa::chip::Environment::Parse("noise default -95\n" + generator);
  return options;
}

}  // namespace

class TxRxPageTest : public QObject {
  Q_OBJECT

 private slots:
  void activationShowsTheChipAndItsConfiguration() {
    PageHarness harness(Page::TxRx, Lab());
    CTXRXPage& page = harness.page<CTXRXPage>();
    QCOMPARE(Shown(page, "chipInfo"), QStringLiteral("VQ5EC7 :: 2 T 2 R"));
    QCOMPARE(Shown(page, "extLna"), QStringLiteral("ExtLNA = 0"));
    QCOMPARE(harness.device.eepromWord34, std::uint16_t{0x22});
    QVERIFY(harness.field("macAddress")->text().startsWith(QStringLiteral("024B51")));
    QCOMPARE(harness.field("tx0Power")->text(), QStringLiteral("0E"));
    QCOMPARE(harness.field("rssiOffset1")->text(), QStringLiteral("03"));
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("modeList"))->currentText(), QStringLiteral(" OFDM"));
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("rateList"))->currentText(), QStringLiteral("MCS=7; 54 Mbps"));
    QCOMPARE(Shown(page, "counter0"), QStringLiteral("0 / 0"));
    QVERIFY(!page.findChild<QLabel*>(QStringLiteral("queue0"))->isVisibleTo(&page));
    QVERIFY(harness.prompt.messages().empty());
  }

  void channelAndBandwidthChanges() {
    PageHarness harness(Page::TxRx, Lab());
    CTXRXPage& page = harness.page<CTXRXPage>();
    harness.choose("channelList", 10);  // channel 11
    QCOMPARE(harness.chip().peekRf(0, 20), std::uint8_t{0x52});
    QCOMPARE(harness.channels.channelIndex, 10);
    QVERIFY(std::find(harness.told().begin(), harness.told().end(),
                      kqa::page::PageEvent{kqa::page::ChannelChanged{10, false}}) != harness.told().end());
    QCOMPARE(harness.field("tx0Power")->text(), QStringLiteral("0F"));

    harness.choose("bandwidthList", 1);
    QCOMPARE(harness.chip().peekBbp(4) & 0x18, 0x10);
    QCOMPARE(harness.chip().peekRf(5, 6), std::uint8_t{0x1A});
    QVERIFY(page.findChild<QComboBox*>(QStringLiteral("txBandList"))->isEnabled());
    harness.choose("modeList", 2);
    QVERIFY(!page.findChild<QComboBox*>(QStringLiteral("txBandList"))->isEnabled());
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("rateList"))->count(), 17);

    // Another page tunes the bench.
    page.receive(kqa::page::ChannelChanged{2, true});
    QCOMPARE(harness.chip().peekRf(0, 17), std::uint8_t{0xEC});
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("channelList"))->currentIndex(), 2);
    page.receive(kqa::page::BandwidthSelected{0});
    QCOMPARE(harness.chip().peekBbp(4) & 0x18, 0);
  }

  void countedRunToCompletion() {
    PageHarness harness(Page::TxRx, Lab());
    CTXRXPage& page = harness.page<CTXRXPage>();
    harness.field("repeat")->setText(QStringLiteral("200"));
    harness.click("Start &TX");
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("startTx"))->text(), QStringLiteral("Stop &TX"));
    QVERIFY(!page.findChild<QPushButton*>(QStringLiteral("startRx"))->isEnabled());
    QVERIFY(!page.findChild<QCheckBox*>(QStringLiteral("frameLoss"))->isEnabled());
    for (int i = 0; i < 5 && page.tester().txRunning(); ++i) Second(harness, page);
    QCOMPARE(Shown(page, "transmitted"), QStringLiteral("200"));
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("startTx"))->text(), QStringLiteral("Start &TX"));
    QVERIFY(page.findChild<QPushButton*>(QStringLiteral("startRx"))->isEnabled());
    QVERIFY(page.findChild<QCheckBox*>(QStringLiteral("contiTx"))->isEnabled());
  }

  void receptionWithStatisticsAndLoopback() {
    PageHarness harness(Page::TxRx, Lab());
    CTXRXPage& page = harness.page<CTXRXPage>();
    harness.click("Loopback");
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("startRx"))->text(), QStringLiteral("Stop &RX"));
    harness.click("Stop &RX");  // loopback holds reception
    QVERIFY(page.tester().rxRunning());
    harness.field("repeat")->setText(QStringLiteral("30"));
    harness.click("Start &TX");
    for (int i = 0; i < 3; ++i) Second(harness, page);
    QCOMPARE(Shown(page, "counter5"), QStringLiteral("0 / 30"));  // "other DATA :", broadcast
    QVERIFY(Shown(page, "rssi0").endsWith(QStringLiteral(" dBm")));
    QVERIFY(Shown(page, "deviation").contains(QStringLiteral("KHz")));

    page.receive(kqa::page::StopActivities{});
    QVERIFY(!page.tester().rxRunning());
    QVERIFY(!page.findChild<QCheckBox*>(QStringLiteral("loopback"))->isChecked());
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("startRx"))->text(), QStringLiteral("Start &RX"));
  }

  void generatorFramesWithFrameLossAndLevel() {
    PageHarness harness(Page::TxRx, Lab("generator channel=1 level=-62 frames=950 interval=1 start=2000\n"));
    CTXRXPage& page = harness.page<CTXRXPage>();
    harness.click("Frame Loss :");
    page.setDialogRunner([](QDialog& dialog) {
      dialog.findChild<QLineEdit*>(QStringLiteral("packetCount"))->setText(QStringLiteral("1000"));
      dialog.accept();
      return static_cast<int>(dialog.result());
    });
    harness.click("Set Tx Env...");
    QCOMPARE(page.tester().run.environment.expectedCount, 1000);
    harness.click("Start &RX");
    for (int i = 0; i < 4; ++i) Second(harness, page);
    QCOMPARE(Shown(page, "counter4"), QStringLiteral("0 / 950"));
    QCOMPARE(Shown(page, "frameLossText"), QStringLiteral("5.00%"));
    const int rssi = Shown(page, "rssi0").section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(std::abs(rssi + 62) <= 3, qPrintable(Shown(page, "rssi0")));
    page.receive(kqa::page::ToggleReceive{});
    QVERIFY(!page.tester().rxRunning());
  }

  void descriptorDialogOkWritesTheRegistersAndShowsTheQueues() {
    PageHarness harness(Page::TxRx, Lab());
    CTXRXPage& page = harness.page<CTXRXPage>();
    page.setDialogRunner([](QDialog& dialog) {
      dialog.findChild<QComboBox*>(QStringLiteral("cipher"))->setCurrentIndex(4);
      dialog.findChild<QLineEdit*>(QStringLiteral("txop1"))->setText(QStringLiteral("100"));
      dialog.findChild<QCheckBox*>(QStringLiteral("ac1"))->click();
      dialog.accept();
      return static_cast<int>(dialog.result());
    });
    harness.click("Set TxD");
    QCOMPARE(harness.chip().peekRegister(0x0220), 0x0064002Fu);
    QCOMPARE(harness.field("fc")->text(), QStringLiteral("0840"));
    QVERIFY(page.findChild<QLabel*>(QStringLiteral("queue0"))->isVisibleTo(&page));
    QVERIFY(page.tester().run.descriptor.slotEnabled[1]);

    // Cancel keeps the settings.
    page.setDialogRunner([](QDialog& dialog) {
      dialog.findChild<QComboBox*>(QStringLiteral("cipher"))->setCurrentIndex(0);
      return static_cast<int>(QDialog::Rejected);
    });
    harness.click("Set TxD");
    QCOMPARE(page.tester().run.descriptor.cipher, 4);
  }

  void aBadFieldRefusesTheRunAndSendsNothing() {
    PageHarness harness(Page::TxRx, Lab());
    CTXRXPage& page = harness.page<CTXRXPage>();
    harness.field("totalBytes")->setText(QStringLiteral("5000"));
    harness.click("Start &TX");
    QVERIFY(!page.tester().txRunning());
    QVERIFY(QString::fromStdString(harness.prompt.messages().back()).contains(QStringLiteral("Total bytes")));
    QCOMPARE(harness.chip().peekRegister(0x1004) & 0x4, 0u);
  }

  void usbConfigShowsTheDescriptorAndKeepsTheProductId() {
    PageHarness harness(Page::UsbConfig);
    CUSBConfigPage& page = harness.page<CUSBConfigPage>();
    const auto shown = [&](const char* caption) {
      return page.findChild<QLabel*>(QString::fromLatin1(caption))->text();
    };
    QCOMPARE(shown("Vendor ID"), QStringLiteral("1209"));
    QCOMPARE(shown("Device ID"), QStringLiteral("   1"));
    QCOMPARE(shown("USB Spec. Ver."), QStringLiteral(" 200"));
    QCOMPARE(shown("EP0 MaxPacketSize"), QStringLiteral("  40"));
    QCOMPARE(shown("No. of Configurations"), QStringLiteral("   1"));
    QCOMPARE(harness.device.settings.productId, std::uint16_t{1});

    // Showing the page again asks again: without the chip, zeros.
    harness.unplug();
    page.activate();
    QCOMPARE(shown("Vendor ID"), QStringLiteral("   0"));
    QCOMPARE(harness.device.settings.productId, std::uint16_t{0});
  }
};

QTEST_MAIN(TxRxPageTest)
#include "txrx_page_test.moc"
