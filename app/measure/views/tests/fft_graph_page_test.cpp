// Before any Qt header: the bench reaches the chip (see page_harness.h).
#include "app/measure/tests/measure_rig.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cmath>
#include <fstream>
#include <memory>

#include "app/measure/views/fft_graph_page.h"
#include "app/measure/views/graph.h"
#include "app/shell/views/page/testing/page_harness.h"

using kqa::page::ChannelChanged;
using kqa::shell::Page;
using kqa::testing::PageHarness;
namespace measure = kqa::measure;

namespace {

// A harness whose channel changes tune the chip as the TX/RX page does.
std::unique_ptr<PageHarness> Harness(std::string_view environment) {
  auto harness =
      std::make_unique<PageHarness>(Page::FftGraph, measure::testing::RadioRig(environment));
  auto tuner = std::make_shared<measure::testing::RigTuner>(harness->device, harness->memoryMode, harness->channels);
  tuner->selectChannel(0);
  harness->answer = [tuner](const kqa::page::PageEvent& event) {
    if (const auto* change = std::get_if<ChannelChanged>(&event); change != nullptr && change->tune)
      tuner->selectChannel(change->index);
  };
  harness->device.clock.sleepMs(50);  // the ring has filled since power-on
  return harness;
}

// Captures until one is drawn, then stops and waits for the run to end.
void CaptureOnce(PageHarness& harness) {
  auto& page = harness.page<CFftGraphPage>();
  const int before = page.framesDrawn();
  harness.click(QStringLiteral("Start &Capture"));
  QVERIFY(page.capturing());
  QTRY_VERIFY_WITH_TIMEOUT(page.framesDrawn() > before, 20000);
  harness.click(QStringLiteral("Stop &Capture"));
  QTRY_VERIFY_WITH_TIMEOUT(!page.capturing(), 20000);
}

QRadioButton* Radio(PageHarness& harness, const QString& caption) {
  for (auto* radio : harness.page<CFftGraphPage>().findChildren<QRadioButton*>())
    if (radio->text() == caption) return radio;
  qFatal("no radio %s", qPrintable(caption));
}

}  // namespace

class FftGraphPageTest : public QObject {
  Q_OBJECT

 private slots:
  void aToneIsDrawnInBothDomains() {
    const auto harness = Harness("noise default -97\ntone channel=1 level=-80 offset=3.125\n");
    auto& page = harness->page<CFftGraphPage>();
    const std::uint8_t r65 = harness->chip().peekBbp(65);
    const std::uint8_t r66 = harness->chip().peekBbp(66);
    CaptureOnce(*harness);
    QVERIFY(std::ranges::any_of(harness->told(), [](const kqa::page::PageEvent& event) {
      return std::holds_alternative<kqa::page::StopActivities>(event);
    }));  // the TX/RX page stops what it runs before the capture

    // Frequency: the tone one bin below its offset (point j shows bin j + 1)
    // at its level; the dB of the graph for dBm at the antenna as worked out
    // in the capture's own test: 76 dB of gain, 160 LSB for 0 dBm, the
    // window's sum, less 28 dB.
    const CGraph& graph = page.graph();
    QVERIFY(graph.titleText().startsWith(
        QStringLiteral("The noise is larger than golden noise power by ")));
    QVERIFY(graph.titleText().endsWith(QStringLiteral(" dB")));
    QCOMPARE(graph.xLabel(), QStringLiteral("Frequency (MHz)"));
    const QList<QPointF> spectrum = graph.spectrumSeries().points();
    QCOMPARE(spectrum.size(), 512);
    QPointF peak = spectrum.front();
    for (const QPointF& point : spectrum)
      if (point.y() > peak.y()) peak = point;
    double windowSum = 0;
    for (double w : measure::SpectrumWindow()) windowSum += w;
    const double graphDbForDbm = 76.0 + 20 * std::log10(160.0) + 20 * std::log10(windowSum) - 28.0;
    QVERIFY2(std::abs(peak.x() - 3.125) <= 20.0 / 256, qPrintable(QString::number(peak.x())));
    QVERIFY2(std::abs(peak.y() - graphDbForDbm + 80) <= 3.0, qPrintable(QString::number(peak.y())));
    QVERIFY(!graph.goldenSeries().isVisible());
    harness->click(QStringLiteral("Golden Unit"));
    QVERIFY(graph.goldenSeries().isVisible());
    QCOMPARE(graph.goldenSeries().points()[256].y(), 33.88);
    // The gain the run froze is back, and so is the capture memory.
    QCOMPARE(harness->chip().peekBbp(65), r65);
    QCOMPARE(harness->chip().peekBbp(66), r66);
    QCOMPARE(harness->chip().peekRegister(0x0404), 0x00F40016u);

    // Time: the tone's I and Q, the window's time range on the axis.
    Radio(*harness, QStringLiteral("&Time"))->click();
    Radio(*harness, QStringLiteral("Manual"))->click();  // the tone never triggers
    QCOMPARE(graph.xLabel(), QStringLiteral("Time (micro second)"));
    QCOMPARE(graph.yLabel(), QStringLiteral("Value of ADC"));
    QCOMPARE(graph.xRange(), std::make_pair(0.0, 200.0));
    QCOMPARE(graph.titleText(), QString());
    CaptureOnce(*harness);
    const QList<QPointF> i = graph.timeSeries(0).points();
    QCOMPARE(i.size(), 8000);
    QVERIFY(graph.timeSeries(0).isVisible());
    QVERIFY(!graph.timeSeries(2).isVisible());  // Q is not checked
    QCOMPARE(i[10].x(), 10 * 200.0 / 8000);
    const auto& samples = page.lastFrame()->samples;
    double power = 0;
    for (int n = 0; n < 8000; ++n) {
      QCOMPARE(i[n].y(), samples.s0[static_cast<std::size_t>(n)].real());
      power += std::norm(samples.s0[static_cast<std::size_t>(n)]);
    }
    QVERIFY(power / 8000 > 100);  // the AGC lifts the tone well above the ADC's noise
    harness->click(QStringLiteral("Q"));
    QVERIFY(graph.timeSeries(2).isVisible());
  }

  void stopDuringACaptureEndsTheRun() {
    // Time domain, auto trigger, no frame on the air: the capture waits for
    // its trigger until Stop.
    const auto harness = Harness("noise default -95\n");
    auto& page = harness->page<CFftGraphPage>();
    Radio(*harness, QStringLiteral("&Time"))->click();
    harness->click(QStringLiteral("Start &Capture"));
    QVERIFY(!harness->page<CFftGraphPage>()
                 .findChild<QComboBox*>(QStringLiteral("channelList"))
                 ->isEnabled());
    QTRY_VERIFY(harness->chip().peekRegister(0x0C04) & 0x10000);  // armed, waiting
    harness->click(QStringLiteral("Stop &Capture"));
    QTRY_VERIFY_WITH_TIMEOUT(!page.capturing(), 5000);
    QCOMPARE(page.framesDrawn(), 0);
    QCOMPARE(harness->chip().peekRegister(0x1004) & 0x8, 0u);  // the receiver is off
    QCOMPARE(harness->chip().peekRegister(0x0404), 0x00F40016u);
    QVERIFY(page.findChild<QComboBox*>(QStringLiteral("channelList"))->isEnabled());
    QVERIFY(!page.findChild<QPushButton*>(QStringLiteral("startCapture"))
                 ->text()
                 .startsWith(QStringLiteral("Stop")));
  }

  void stopActivitiesAndClosingJoinTheWorker() {
    auto harness = Harness("noise default -95\n");
    auto& page = harness->page<CFftGraphPage>();
    harness->click(QStringLiteral("Start &Capture"));
    QTRY_VERIFY_WITH_TIMEOUT(page.framesDrawn() > 0, 20000);
    page.receive(kqa::page::StopActivities{});  // the sheet closing, the device gone
    QVERIFY(!page.capturing());
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("startCapture"))->text(),
             QStringLiteral("Start &Capture"));
    // The program closing during a capture.
    harness->click(QStringLiteral("Start &Capture"));
    QTRY_VERIFY_WITH_TIMEOUT(page.framesDrawn() > 1, 20000);
    harness.reset();
  }

  void aFrameGivesTheEvmAndItsSamplesSaveAsAnAdcFile() {
    const auto harness = Harness(
        "noise default -95\n"
        "generator channel=1 level=-70 frames=100 interval=2 rate=ofdm-24 length=600 start=5\n");
    auto& page = harness->page<CFftGraphPage>();
    Radio(*harness, QStringLiteral("&Time"))->click();
    harness->field(QStringLiteral("triggerOffset"))
        ->setText(QStringLiteral("3E00"));  // the frame in the samples
    CaptureOnce(*harness);
    const QString evm = page.evmText();
    QVERIFY2(evm.endsWith(QStringLiteral(" dB")), qPrintable(evm));
    QVERIFY2(std::abs(evm.chopped(3).toDouble() + 25.0) < 2.0, qPrintable(evm));  // SNR 25 dB
    QCOMPARE(evm.chopped(3).section(QLatin1Char('.'), 1).size(), 6);

    harness->prompt.answerFile(harness->file(QStringLiteral("frame")));
    harness->click(QStringLiteral("Save ADC Data"));
    std::ifstream file(harness->file(QStringLiteral("frame.adc")));
    const auto& samples = page.lastFrame()->samples;
    int real = 0, imag = 0;
    std::size_t n = 0;
    for (; file >> real >> imag; ++n) {
      QCOMPARE(real, samples.i0[n]);
      QCOMPARE(imag, samples.q0[n]);
    }
    QCOMPARE(n, std::size_t{8192});
    QCOMPARE(harness->prompt.events().back().dialog.filters.front().text,
             std::string("adc Files(*.adc)"));
  }

  void theReceiverControlsTellTheTxRxPage() {
    const auto harness = Harness("noise default -95\n");
    auto& page = harness->page<CFftGraphPage>();
    QCOMPARE(harness->told().front(), kqa::page::PageEvent(kqa::page::PathSelected{true, 0}));

    harness->choose(QStringLiteral("channelList"), 3);
    QCOMPARE(harness->told().back(), kqa::page::PageEvent(ChannelChanged{3, true}));
    QCOMPARE(harness->channels.channelIndex, 3);
    QCOMPARE(page.tool().r65Text(), std::string("BD"));
    QCOMPARE(page.tool().r66Text(), std::string("1C"));

    // 40 MHz: "200 µs" goes, and a selected 200 becomes 100.
    Radio(*harness, QStringLiteral("&Time"))->click();
    harness->choose(QStringLiteral("bandwidthList"), 1);
    QCOMPARE(harness->told().back(), kqa::page::PageEvent(kqa::page::BandwidthSelected{1}));
    QVERIFY(!Radio(*harness, QStringLiteral("200 µs"))->isEnabled());
    QVERIFY(Radio(*harness, QStringLiteral("100 µs"))->isChecked());
    QCOMPARE(page.graph().xRange(), std::make_pair(0.0, 100.0));
    Radio(*harness, QStringLiteral("&Frequency"))->click();
    QCOMPARE(page.graph().xRange(), std::make_pair(-40.0, 40.0));
    QVERIFY(!Radio(*harness, QStringLiteral("Manual"))->isEnabled());

    // A trigger offset that is not hexadecimal starts nothing.
    harness->field(QStringLiteral("triggerOffset"))->setText(QStringLiteral("12G"));
    harness->click(QStringLiteral("Start &Capture"));
    QVERIFY(!page.capturing());
    QVERIFY(QString::fromStdString(harness->prompt.messages().back())
                .contains(QStringLiteral("\"12G\"")));

    // The register box writes and reads a BBP register.
    Radio(*harness, QStringLiteral("WRITE"))->click();
    harness->field(QStringLiteral("registerId"))->setText(QStringLiteral("70"));
    harness->field(QStringLiteral("registerValue"))->setText(QStringLiteral("5A"));
    harness->click(QStringLiteral("R / W"));
    QCOMPARE(harness->chip().peekBbp(70), std::uint8_t{0x5A});
    Radio(*harness, QStringLiteral("READ"))->click();
    harness->field(QStringLiteral("registerValue"))->clear();
    harness->click(QStringLiteral("R / W"));
    QCOMPARE(harness->field(QStringLiteral("registerValue"))->text(), QStringLiteral("5A"));
  }
};

QTEST_MAIN(FftGraphPageTest)
#include "fft_graph_page_test.moc"
