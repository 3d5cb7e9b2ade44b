// Before any Qt header: the chip's signal generator (see page_harness.h).
#include "chip/kestrel.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>
#include <QtTest>
#include <chrono>
#include <vector>

#include "app/device/register_access.h"
#include "app/shell/views/page/testing/page_harness.h"
#include "app/sniffer/capture_radio.h"
#include "app/sniffer/tests/record_builder.h"
#include "app/sniffer/views/sniffer_data_dialog.h"
#include "app/sniffer/views/sniffer_page.h"
#include "app/widgets/views/hex_edit.h"

using kqa::shell::Page;
using kqa::testing::PageHarness;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr const char* kLab = "02:4B:51:A0:00:01";  // the built-in bench's lab access point

// The list's cells of one row as the view shows them, tab-separated.
QString RowText(const QTreeView& list, int row) {
  QStringList cells;
  for (int column = 0; column < list.model()->columnCount(); ++column)
    cells << list.model()->index(row, column).data().toString();
  return cells.join(QLatin1Char('\t'));
}

QStringList ColumnTexts(const QTreeView& list, int column) {
  QStringList cells;
  for (int row = 0; row < list.model()->rowCount(); ++row)
    cells << list.model()->index(row, column).data().toString();
  return cells;
}

// One 500 ms of the capture: the chip's air runs, then the page's timer fires.
void Tick(PageHarness& harness, CSnifferPage& page) {
  harness.device.clock.sleep(std::chrono::milliseconds(500));
  page.onCaptureTick();
}

std::uint32_t MacControl(PageHarness& harness) {
  std::uint32_t value = 0;
  kqa::device::RegisterAccess(harness.device).ReadMacRegister(0x1004, value);
  return value;
}

QCheckBox* CheckBox(const CSnifferPage& page, const QString& caption) {
  for (QCheckBox* box : page.findChildren<QCheckBox*>())
    if (box->text() == caption) return box;
  qFatal("no check box \"%s\"", qPrintable(caption));
}

}  // namespace

class SnifferPageTest : public QObject {
  Q_OBJECT

 private slots:
  void aLiveCaptureListsTheBeaconsAroundTheChip() {
    PageHarness harness(Page::Sniffer);
    CSnifferPage& page = harness.page<CSnifferPage>();
    QTreeView& list = page.list();
    // The channel of the lab's network, as the TX/RX page would tune it.
    QVERIFY(kqa::sniffer::TuneChannel(harness.device, 1));
    QCOMPARE(harness.field("macFilter")->text(), QStringLiteral("000000000000"));
    QVERIFY(!page.timerRunning());

    harness.click("Start &Capture");
    QVERIFY(page.timerRunning());
    QCOMPARE(MacControl(harness) & 0x8, 0x8u);
    for (int i = 0; i < 4; ++i) Tick(harness, page);
    const int rows = list.model()->rowCount();
    QVERIFY(rows > 20);
    QCOMPARE(list.model()->index(0, 0).data().toString(), QStringLiteral("00001"));
    QCOMPARE(list.model()->index(rows - 1, 0).data().toString(),
             QStringLiteral("%1").arg(rows, 5, 10, QLatin1Char('0')));
    // Beacons every 102.4 ms from the lab's access point at 1 Mbps.
    const QString beacon =
        QStringLiteral("FF:FF:FF:FF:FF:FF\t%1\t%1\t1.0\tBeacon\t\t\t").arg(QLatin1String(kLab));
    int beacons = 0;
    for (int row = 0; row < rows; ++row)
      if (RowText(list, row).section(QLatin1Char('\t'), 1).startsWith(beacon)) ++beacons;
    QVERIFY2(beacons >= 14 && beacons <= 20, qPrintable(QString::number(beacons)));
    QCOMPARE(list.model()->headerData(8, Qt::Horizontal).toString(), QStringLiteral("Size"));
    QCOMPARE(list.model()->index(0, 8).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignRight,
             Qt::AlignRight);

    // The check box and the address take effect at the next tick; a typo in
    // the address is refused and the edit shows the filter in force.
    CheckBox(page, QStringLiteral("Beacon"))->click();
    QLineEdit* mac = harness.field("macFilter");
    mac->setText(QStringLiteral("024B51A0001"));
    emit mac->editingFinished();
    QCOMPARE(harness.prompt.messages().size(), std::size_t{1});
    QCOMPARE(mac->text(), QStringLiteral("000000000000"));
    mac->setText(QStringLiteral("024B51A00001"));
    emit mac->editingFinished();
    for (int i = 0; i < 2; ++i) Tick(harness, page);
    QVERIFY(list.model()->rowCount() > rows);
    for (int row = rows; row < list.model()->rowCount(); ++row) {
      const QString text = RowText(list, row);
      QVERIFY2(!text.contains(QStringLiteral("Beacon")) && text.contains(QLatin1String(kLab)),
               qPrintable(text));
    }

    // The sheet stops the capture when the device goes or the sheet closes.
    page.receive(kqa::page::StopActivities{});
    QVERIFY(!page.timerRunning());
    QCOMPARE(MacControl(harness) & 0x8, 0u);
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("startCapture"))->text(),
             QStringLiteral("Start &Capture"));
  }

  void theDataDialogEditsTheStoredRecordWhileTheTimerWaits() {
    PageHarness harness(Page::Sniffer);
    CSnifferPage& page = harness.page<CSnifferPage>();
    QTreeView& list = page.list();
    QVERIFY(kqa::sniffer::TuneChannel(harness.device, 1));
    harness.click("Start &Capture");
    for (int i = 0; i < 2; ++i) Tick(harness, page);
    QVERIFY(list.model()->rowCount() > 2);

    page.onOpenSelectedRecord();  // nothing selected: nothing opens
    QVERIFY(QApplication::activeModalWidget() == nullptr);

    const std::uint8_t* record = page.session().store().record(1).data();
    const int frameSize = list.model()->index(1, 8).data().toInt();
    bool seen = false;
    QTimer inDialog;  // answers the dialog once its event loop runs
    inDialog.setSingleShot(true);
    connect(&inDialog, &QTimer::timeout, this, [&] {
      auto* dialog = qobject_cast<CSnifferDataDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      struct Closer {  // also when a check below fails
        QDialog* dialog;
        ~Closer() { dialog->accept(); }
      } closer{dialog};
      seen = true;
      QCOMPARE(dialog->windowTitle(), QStringLiteral("Sniffer Data"));
      QVERIFY(!page.timerRunning());
      QCOMPARE(dialog->descriptorView().model().data(), record);
      QCOMPARE(dialog->descriptorView().model().length(), std::size_t{32});
      QCOMPARE(dialog->bufferView().model().data(), record + 32);
      QCOMPARE(dialog->bufferView().model().length(), static_cast<std::size_t>(frameSize));
      // Typed over the frame control: 0xC4 is a CTS.
      CHexEdit& buffer = dialog->bufferView();
      QTest::mouseClick(buffer.viewport(), Qt::LeftButton, {},
                        buffer.byteRect(0, kqa::nvm::HexColumn::Hex).center());
      QTest::keyClicks(&buffer, "c4");
    });
    inDialog.start(0);
    const QPoint second = list.visualRect(list.model()->index(1, 0)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, second);
    QVERIFY(seen);
    QCOMPARE(record[32], std::uint8_t{0xC4});
    QCOMPARE(list.model()->index(1, 5).data().toString(), QStringLiteral("CTS"));
    QVERIFY(page.timerRunning());
  }

  void aPacFileLoadsSavesAndExports() {
    namespace t = kqa::sniffer::testing;
    PageHarness harness(Page::Sniffer);
    QTreeView& list = harness.page<CSnifferPage>().list();
    const Bytes records = t::Join(
        {t::BuildRecord({.frame = t::Beacon(t::kStationB, 6), .phyMode = 0, .rateIndex = 3}),
         t::BuildRecord({.frame = t::Frame(0x08, {t::kStationA, t::kStationB, t::kStationA}, 1476),
                         .phyMode = 2,
                         .rateIndex = 15,
                         .crcError = true})});
    const std::string path = harness.file("two.pac");
    t::WriteFile(path, t::PacImage(2, records));
    harness.prompt.answerFile(path);
    harness.click("Load File...");
    QCOMPARE(list.model()->rowCount(), 2);
    QCOMPARE(RowText(list, 1), QStringLiteral("00002	02:4B:51:00:00:01	02:11:22:33:44:55	"
                                              "02:4B:51:00:00:01	130.0	Data			1500"));
    QVERIFY(harness.prompt.messages().empty());

    // Saved under a name without an extension: ".pac", the same bytes.
    harness.prompt.answerFile(harness.file("copy"));
    harness.click("Save File...");
    QCOMPARE(t::ReadFile(harness.file("copy.pac")), t::ReadFile(path));
    harness.prompt.answerFile(harness.file("copy"));
    harness.click("Export pcap...");
    const Bytes pcap = t::ReadFile(harness.file("copy.pcap"));
    QVERIFY(pcap.size() > 24 + 2 * 16 + 1500);
    QCOMPARE(Bytes(pcap.begin(), pcap.begin() + 4), (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
  }

  void wrapAroundStartsTheListAgainInTheSameMemory() {
    PageHarness harness(Page::Sniffer);
    CSnifferPage& page = harness.page<CSnifferPage>();
    QTreeView& list = page.list();
    // A quiet channel and a signal generator: 500 frames every tick.
    QVERIFY(kqa::sniffer::TuneChannel(harness.device, 13));
    CheckBox(page, QStringLiteral("Wrap Around"))->click();
    harness.click("Start &Capture");
    harness.chip().withRadio([](kqa::chip::RadioSide& radio) {
      radio.startGenerator({.channel = 13, .count = 21'000, .intervalMs = 1.0, .length = 100});
    });
    const std::uint8_t* storage = harness.snifferBuffer.bytes().data();
    QSignalSpy resets(list.model(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(list.model(), &QAbstractItemModel::rowsInserted);
    int rowsBefore = 0;
    for (int ticks = 0; resets.isEmpty() && ticks < 60; ++ticks) {
      const qsizetype updates = inserts.size();
      rowsBefore = list.model()->rowCount();
      Tick(harness, page);
      QVERIFY(inserts.size() + resets.size() - updates <= 1);  // one update a tick at most
    }
    // Rows were only added until the 20,000th record emptied the list.
    QCOMPARE(resets.size(), 1);
    QVERIFY2(rowsBefore > 19'000, qPrintable(QString::number(rowsBefore)));
    QVERIFY(page.timerRunning());
    const int rows = list.model()->rowCount();
    QVERIFY2(rows > 0 && rows <= 500, qPrintable(QString::number(rows)));
    QCOMPARE(list.model()->index(0, 0).data().toString(), QStringLiteral("00001"));
    QCOMPARE(ColumnTexts(list, 0).constLast(),
             QStringLiteral("%1").arg(rows, 5, 10, QLatin1Char('0')));
    QCOMPARE(harness.snifferBuffer.bytes().data(), storage);
    QCOMPARE(harness.snifferBuffer.bytes().size(), std::size_t{81'920'000});
    harness.click("Stop &Capture");
  }
};

QTEST_MAIN(SnifferPageTest)
#include "sniffer_page_test.moc"
