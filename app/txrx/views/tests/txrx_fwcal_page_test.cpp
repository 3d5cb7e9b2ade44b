// The TX/RX page's firmware and calibration groups, end to end against the
// emulated chip. The chip's headers before any Qt header (see page_harness.h).
#include "chip/kestrel.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <fstream>

#include "app/device/config_memory.h"
#include "app/shell/views/page/testing/page_harness.h"
#include "app/txrx/views/txrx_page.h"

using kqa::shell::Page;
using kqa::testing::PageHarness;

namespace {

QString Shown(const CTXRXPage& page, const char* name) {
  auto* label = page.findChild<QLabel*>(QString::fromLatin1(name));
  if (label == nullptr) qFatal("no label %s", name);
  return label->text();
}

void Press(const CTXRXPage& page, const char* name) {
  auto* button = page.findChild<QPushButton*>(QString::fromLatin1(name));
  if (button == nullptr) qFatal("no button %s", name);
  button->click();
}

}  // namespace

class TxRxFwCalPageTest : public QObject {
  Q_OBJECT

 private slots:
  void activationDownloadsTheBuildsFirmwareAndSaysWhich() {
    PageHarness harness(Page::TxRx);
    CTXRXPage& page = harness.page<CTXRXPage>();
    QVERIFY(harness.device.settings.firmwareReady);
    QCOMPARE(Shown(page, "firmwareStatus"), QStringLiteral("Ready: " KQA_KESTREL_FIRMWARE));
    QVERIFY(harness.prompt.messages().empty());

    // "Load Firmware" with a file that is not an image: refused and told;
    // nothing was sent, so the running firmware stays ready.
    const std::string bad = harness.file(QStringLiteral("tiny.bin"));
    std::ofstream(bad) << "short";
    harness.prompt.answerFile(bad);
    Press(page, "loadFirmware");
    QCOMPARE(harness.prompt.messages().size(), std::size_t{1});
    QVERIFY(Shown(page, "firmwareStatus").startsWith(QStringLiteral("Ready")));
  }

  void calibrationButtonsShowTheirResults() {
    PageHarness harness(Page::TxRx);
    CTXRXPage& page = harness.page<CTXRXPage>();
    Press(page, "dcoc");
    QCOMPARE(Shown(page, "calibrationResult"), QStringLiteral("DCOC: done"));
    Press(page, "measureTssi");
    QVERIFY2(Shown(page, "calibrationResult").startsWith(QStringLiteral("TSSI 24/36 D(x)=691, 24/48 D(x)=883")),
             qPrintable(Shown(page, "calibrationResult")));
    Press(page, "rxMismatch");
    QCOMPARE(Shown(page, "calibrationResult"), QStringLiteral("Rx MisMatch: 3C"));  // BBP R1 bit 2 is set
    QVERIFY(harness.prompt.messages().back().starts_with("RF Rx MisMatch Calibration :"));
  }

  void calibrateStoresTheTypedPowerAndTheIqGroupWrites() {
    PageHarness harness(Page::TxRx);
    CTXRXPage& page = harness.page<CTXRXPage>();
    harness.field(QStringLiteral("tx0Power"))->setText(QStringLiteral("13"));
    Press(page, "tx0PowerCalibrate");
    std::uint16_t word = 0;
    kqa::device::ReadEepromWord({harness.device, harness.memoryMode}, 0x52, word);
    QCOMPARE(word, std::uint16_t{0x0E13});

    harness.field(QStringLiteral("iq0"))->setText(QStringLiteral("FF"));
    page.findChild<QCheckBox*>(QStringLiteral("iqEnable"))->click();
    QVERIFY(page.tools().iq().enabled);
    std::array<std::uint8_t, 4> values{};
    QVERIFY(page.tools().iq().values(values));
    QCOMPARE(values[0], std::uint8_t{0x3F});
  }
};

QTEST_MAIN(TxRxFwCalPageTest)
#include "txrx_fwcal_page_test.moc"
