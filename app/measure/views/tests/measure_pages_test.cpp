// Before any Qt header: the bench reaches the chip (see page_harness.h).
#include "app/measure/tests/measure_rig.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>
#include <cmath>
#include <fstream>

#include "app/measure/views/capture_mode_setting.h"
#include "app/measure/views/measure_pages.h"
#include "app/shell/views/page/testing/page_harness.h"
#include "platform/prompt/scripted_prompt.h"

using kqa::shell::Page;
using kqa::testing::PageHarness;
namespace measure = kqa::measure;

class MeasurePagesTest : public QObject {
  Q_OBJECT

 private slots:
  void theNoiseScanFillsTheTableThroughTheTxRxPage() {
    PageHarness harness(Page::NoiseLevel,
                        measure::testing::RadioRig("noise default -95\nnoise 3 -88\n"));
    measure::testing::RigTuner tuner(harness.device, harness.memoryMode, harness.channels);  // also the board's two receive paths
    std::vector<int> tuned;
    harness.answer = [&](const kqa::page::PageEvent& event) {
      if (const auto* change = std::get_if<kqa::page::ChannelChanged>(&event)) {
        QVERIFY(change->tune);
        tuned.push_back(change->index);
        tuner.selectChannel(change->index);
      } else if (std::holds_alternative<kqa::page::ToggleReceive>(event)) {
        tuner.toggleReceive();
      }
    };
    harness.channels.channelIndex = 5;
    auto& page = harness.page<CNoiseLevelPage>();
    harness.click(QStringLiteral("2.4G START"));
    QCOMPARE(tuned.size(), std::size_t{15});
    QCOMPARE(tuned.back(), 5);  // the channel is selected again
    QCOMPARE(tuner.toggles, 28);
    for (int index = 0; index < 14; ++index) {
      // The board's true offsets are in its EEPROM, so the table shows the floor.
      const double floor = index == 2 ? -88 : -95;
      for (int path = 0; path < 2; ++path)
        QVERIFY2(std::abs(page.cell(index, path).toInt() - floor) <= 1,
                 qPrintable(QStringLiteral("channel %1 path %2: %3")
                                .arg(index + 1)
                                .arg(path)
                                .arg(page.cell(index, path))));
      QCOMPARE(page.cell(index, 2), QString());  // the board has two paths
    }
    QCOMPARE(page.list(1000).item(1, 0)->text(), QStringLiteral("RSSI 1 :"));
    QCOMPARE(page.list(1000).horizontalHeaderItem(14)->text(), QStringLiteral("Ch 14"));
    QCOMPARE(page.list(1378).horizontalHeaderItem(1)->text(), QStringLiteral("Ch 140"));

    // The channel list offers no 5 GHz channel: nothing is tuned.
    tuned.clear();
    harness.click(QStringLiteral("5G START"));
    QVERIFY(tuned.empty());
    QCOMPARE(page.list(1001).item(0, 0)->text(), QStringLiteral("RSSI 0 :"));
    QVERIFY(harness.prompt.messages().empty());
  }

  void theIqPageProposesTheCorrectionOfTheImbalance() {
    kqa::chip::KestrelOptions options = measure::testing::RadioRig("noise default -95\n");
    options.radio.iqGainImbalance = 0.03;
    options.radio.iqPhaseDeg = 1.5;
    options.radio.iqGroupDelayNs = 0.4;
    PageHarness harness(Page::IqCalibration, options);
    auto& page = harness.page<CIQCalibrationPage>();
    // The two tones average the delay's phase at 6.25 MHz: 1.5 - 0.9 degrees.
    harness.click(QStringLiteral("Rx IQ Cal."));
    QVERIFY2(std::abs(page.fieldText(QStringLiteral("gain")).toDouble() - 0.03) <= 1.0 / 128,
             qPrintable(page.fieldText(QStringLiteral("gain"))));
    QCOMPARE(page.fieldText(QStringLiteral("Cal R40=")),
             QStringLiteral("-4.000"));  // floor(0.5 - 3.84)
    QVERIFY(std::abs(page.fieldText(QStringLiteral("Cal R41=")).toDouble() + 2.4) <= 1.0);
    QCOMPARE(page.fieldText(QStringLiteral("mi")).section(QLatin1Char('.'), 1).size(), 3);

    harness.click(QStringLiteral("Rx Grpdly Cal."));
    QVERIFY(std::abs(page.fieldText(QStringLiteral("group delay")).toDouble() - 0.4) <= 0.05);
    QCOMPARE(page.fieldText(QStringLiteral("Cal R53=")), QStringLiteral("4"));
    QVERIFY(!page.fieldText(QStringLiteral("theta_1")).isEmpty());
    harness.click(QStringLiteral("Grpdly Cal."));
    QCOMPARE(page.fieldText(QStringLiteral("Cal R42=")), QStringLiteral("5"));  // 0.4 x 4/3 ns
    QCOMPARE(harness.chip().peekBbp(40), std::uint8_t{0});  // proposed, never written

    std::ofstream(harness.file(QStringLiteral("setup.txt"))) << "BBP 1 23 10\n";
    harness.prompt.answerFile(harness.file(QStringLiteral("setup.txt")));
    harness.click(QStringLiteral("Load Script"));
    QCOMPARE(page.scriptLog(), QStringList{QStringLiteral("W:\tBBP 23\t= 0x10")});
  }

  void thePapdPageMovesMemoriesThroughFiles() {
    PageHarness harness(Page::PapdTest);
    auto& page = harness.page<CPAPDTESTPage>();
    {
      std::ofstream in(harness.file(QStringLiteral("pbf.txt")));
      for (int i = 0; i < 3; ++i) in << "C0DE000" << i << "\n";
    }
    harness.prompt.answerFile(harness.file(QStringLiteral("pbf.txt")));
    page.onWrite(measure::PapdMemory::Pbf);
    QCOMPARE(page.status(), QStringLiteral("Wrote 3 words of pbf.txt to PBF."));
    QCOMPARE(harness.chip().withCore(
                 [](kqa::chip::ChipCore& core) { return core.memory().packetBuffer(0)[2]; }),
             0xC0DE0002u);

    harness.prompt.answerFile(harness.file(QStringLiteral("back")));  // ".txt" is added
    page.onRead(measure::PapdMemory::Pbf);
    QCOMPARE(page.status(), QStringLiteral("Read 16384 words from PBF into back.txt."));
    std::ifstream back(harness.file(QStringLiteral("back.txt")));
    std::string first, second, third;
    back >> first >> second >> third;
    QCOMPARE(third, std::string("C0DE0002"));
    QCOMPARE(harness.prompt.events().back().dialog.filters.front().text,
             std::string("PBF Files(*.txt)"));

    // A typo refuses the whole file, with its line named.
    std::ofstream(harness.file(QStringLiteral("bad.txt"))) << "1\nZZ\n";
    harness.prompt.answerFile(harness.file(QStringLiteral("bad.txt")));
    page.onWrite(measure::PapdMemory::ShareMemory);
    QCOMPARE(harness.prompt.messages().back(),
             harness.file(QStringLiteral("bad.txt")) + ": Line 2: \"ZZ\" is not a hexadecimal number.");
    // A cancelled dialog does nothing.
    const std::size_t events = harness.prompt.events().size();
    page.onRead(measure::PapdMemory::DataScope);
    QCOMPARE(harness.prompt.events().size(), events + 1);
    QCOMPARE(harness.prompt.messages().size(), std::size_t{1});
  }

  void theCaptureSettingDialog() {
    kqa::ScriptedPrompt prompt;
    measure::CaptureSettings settings;
    settings.triggerSource = 0;
    settings.count = 7;
    {
      CCaptureModeSetting dialog(settings, prompt);
      QCOMPARE(settings.triggerSource, 1);  // set on opening
      QCOMPARE(dialog.offsetField().text(), QStringLiteral("200"));
      for (auto* radio : dialog.findChildren<QRadioButton*>())
        if (radio->text() == QStringLiteral("ADC6") ||
            radio->text() == QStringLiteral("Manual Trigger Mode") ||
            radio->text() == QStringLiteral("FEQ Mode"))
          radio->click();
      dialog.reject();  // the radios' settings stay, the fields' do not
    }
    QCOMPARE(settings.format, measure::SampleFormat::Adc6);
    QCOMPARE(settings.triggerSource, 0);
    QCOMPARE(settings.triggerMode, 0);
    QCOMPARE(settings.count, 7);

    CCaptureModeSetting dialog(settings, prompt);
    dialog.offsetField().setText(QStringLiteral("3E00"));
    dialog.timesField().setText(QStringLiteral("3x"));
    dialog.onStartCapture();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));  // still open
    QCOMPARE(prompt.messages().size(), std::size_t{1});
    dialog.timesField().setText(QStringLiteral("3"));
    dialog.onStartCapture();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(settings.count, 3);
    QCOMPARE(settings.stopOffset, 0x3E00u);
    QCOMPARE(settings.format, measure::SampleFormat::Adc8);
  }
};

QTEST_MAIN(MeasurePagesTest)
#include "measure_pages_test.moc"
