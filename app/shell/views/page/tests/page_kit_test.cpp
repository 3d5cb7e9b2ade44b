#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "app/shell/views/page/hex_line_edit.h"
#include "app/shell/views/page/log_list.h"
#include "app/shell/views/page/property_page.h"

using namespace kqa::page;

namespace {

// A page with a field, a log and a button, and every hook recorded.
class KitPage final : public kqa::PropertyPage {
 public:
  KitPage() {
    field->setObjectName(QStringLiteral("field"));
    other = button(QStringLiteral("Other"), [this] { ++otherClicks; });
    progressBar();
  }

  using PropertyPage::button;
  using PropertyPage::progressBar;
  using PropertyPage::progressSink;
  using PropertyPage::run;
  using PropertyPage::runLong;
  using PropertyPage::tellOthers;

  kqa::HexLineEdit* field = new kqa::HexLineEdit(QString(), this);
  kqa::LogList* log = new kqa::LogList(this);
  QPushButton* other;
  int otherClicks = 0;
  std::vector<PageEvent> hooked;

 protected:
  void onStopActivities() override { hooked.push_back(StopActivities{}); }
  void onChannelChanged(const ChannelChanged& event) override { hooked.push_back(event); }
  void onPathSelected(const PathSelected& event) override { hooked.push_back(event); }
  void onBandwidthSelected(const BandwidthSelected& event) override { hooked.push_back(event); }
  void onToggleReceive() override { hooked.push_back(ToggleReceive{}); }
  void onRadioSettingsChanged() override { hooked.push_back(RadioSettingsChanged{}); }
};

struct RecordingHost final : kqa::PageHost {
  void passOn(const PageEvent& event, kqa::PropertyPage&) override { told.push_back(event); }
  kqa::OperationGate& gate() override { return shared; }
  std::vector<PageEvent> told;
  kqa::OperationGate shared;
};

}  // namespace

class PageKitTest : public QObject {
  Q_OBJECT

 private slots:
  void aLongOperationHoldsThePageAndEveryOtherOperationOff() {
    KitPage page;
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    page.field->setFocus();
    bool ran = false, nestedRan = false, fromLoop = true, clickRefused = false;
    const bool started = page.runLong(QStringLiteral("Reading"), [&] {
      ran = true;
      QVERIFY(!page.isEnabled());
      QCOMPARE(page.window()->cursor().shape(), Qt::WaitCursor);
      page.other->click();  // a click cannot reach a disabled page
      clickRefused = !page.run([] {});
      // Work the operation calls itself is part of it ...
      nestedRan = page.runLong(QStringLiteral("More"), [] {});
      // ... work from a loop under it (a message box's) is not.
      QEventLoop loop;
      QTimer::singleShot(0, &loop, [&] {
        fromLoop = page.runLong(QStringLiteral("Again"), [] {});
        loop.quit();
      });
      loop.exec();
      page.progressSink()(32, 64);
      QCOMPARE(page.progressBar()->maximum(), 64);
      QCOMPARE(page.progressBar()->value(), 32);
      page.log->append("entry\n");
    });
    QVERIFY(started && ran && nestedRan && clickRefused);
    QVERIFY(!fromLoop);
    QCOMPARE(page.otherClicks, 0);
    // Afterwards: everything back as it was, the log complete.
    QVERIFY(page.isEnabled());
    QVERIFY(page.field->hasFocus());
    QVERIFY(!page.progressBar()->isVisible());
    QCOMPARE(page.window()->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(page.log->model()->rowCount(), 1);
    page.other->click();
    QCOMPARE(page.otherClicks, 1);

    // A frozen page stays frozen after its operation; the sheet's gate is
    // busy for every page that shares it.
    RecordingHost host;
    page.setHost(&host);
    page.setEnabled(false);
    bool sharedBusy = false;
    page.runLong(QStringLiteral("Reading"), [&] { sharedBusy = host.shared.busy(); });
    QVERIFY(sharedBusy && !host.shared.busy());
    QVERIFY(!page.isEnabled());
  }

  void logRowsGoInOneBatchPerEventLoopTurn() {
    KitPage page;
    QSignalSpy inserted(page.log->model(), &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 300; ++i)
      page.log->append(QStringLiteral("line %1\n").arg(i).toStdString());
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(page.log->entries().size(), 300);  // queued rows count as written
    QTRY_COMPARE(inserted.count(), 1);
    QCOMPARE(page.log->model()->rowCount(), 300);
    QCOMPARE(page.log->currentRow(), 299);
    QCOMPARE(page.log->entries().back(), QStringLiteral("line 299"));

    // An operation's rows are in when it returns, without a turn of the loop.
    page.run([&] {
      page.log->clear();
      page.log->append("R:\tBBP 12\t= 0x00\n");
      page.log->append("Wait:\t100(ms)\n");
    });
    QCOMPARE(page.log->model()->rowCount(), 2);
    QCOMPARE(page.log->currentRow(), 1);

    // A row that has waited its time goes in at once (a long script's log).
    page.log->setLiveFlushInterval(0);
    inserted.clear();
    page.log->append("one\n");
    page.log->append("two\n");
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(page.log->model()->rowCount(), 4);
  }

  void hexFieldsTakeOnlyAHexadecimalNumber() {
    kqa::HexLineEdit edit(QStringLiteral("offset"), nullptr);
    QTest::keyClicks(&edit, "12zx3G4");
    QCOMPARE(edit.text(), QStringLiteral("1234"));
    edit.clear();
    QTest::keyClicks(&edit, "0x123456789");
    QCOMPARE(edit.text(), QStringLiteral("0x12345678"));  // eight digits at most
    edit.clear();
    QApplication::clipboard()->setText(QStringLiteral(" 0xC0FFEE11 "));
    edit.paste();
    QCOMPARE(edit.text(), QStringLiteral(" 0xC0FFEE11 "));
    edit.clear();
    QApplication::clipboard()->setText(QStringLiteral("12 34"));
    edit.paste();
    QCOMPARE(edit.text(), QString());  // refused whole, not cut to "12"
  }

  void eachEventReachesItsHookAndTellingGoesToTheHost() {
    const std::vector<PageEvent> events = {StopActivities{},       ChannelChanged{3, true},
                                           PathSelected{false, 1}, BandwidthSelected{1},
                                           ToggleReceive{},        RadioSettingsChanged{}};
    KitPage page;
    for (const PageEvent& event : events) page.receive(event);
    QVERIFY(page.hooked == events);
    page.tellOthers(ChannelChanged{5, false});  // no host: nobody to tell, nothing happens
    RecordingHost host;
    page.setHost(&host);
    page.tellOthers(ChannelChanged{5, false});
    QVERIFY((host.told == std::vector<PageEvent>{ChannelChanged{5, false}}));
  }
};

QTEST_MAIN(PageKitTest)
#include "page_kit_test.moc"
