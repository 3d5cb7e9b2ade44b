#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>
#include <filesystem>

#include "app/device/connection.h"
#include "app/device/startup.h"
#include "app/device/tests/fake_device.h"
#include "app/shell/device_probe.h"
#include "app/shell/single_instance.h"
#include "app/shell/views/about_page.h"
#include "app/shell/views/main_frame.h"
#include "app/shell/views/program.h"
#include "app/shell/views/property_sheet.h"
#include "app/sniffer/sniffer_buffer.h"
#include "devices/device_select.h"
#include "platform/clock/virtual_clock.h"
#include "platform/prompt/scripted_prompt.h"

using kqa::device::testing::TestBed;
using kqa::shell::Page;

namespace {

// A fake device and the rest of the program's state, as main owns them.
struct SheetBed : TestBed {
  kqa::sniffer::SnifferBuffer snifferBuffer;
  kqa::shell::PageServices services{device, memoryMode, channels, snifferBuffer, {}};
};

QStringList TabTexts(const CQAPropertySheet& sheet) {
  QStringList texts;
  for (int i = 0; i < sheet.tabs()->count(); ++i) texts << sheet.tabs()->tabText(i);
  return texts;
}

QPushButton* ButtonNamed(QWidget& parent, const QString& text) {
  for (QPushButton* button : parent.findChildren<QPushButton*>())
    if (button->text() == text) return button;
  return nullptr;
}

// A page that records what reaches its hooks.
class EchoPage final : public kqa::PropertyPage {
 public:
  using PropertyPage::run;
  using PropertyPage::tellOthers;
  std::vector<kqa::page::PageEvent> heard;

 protected:
  void onStopActivities() override { heard.push_back(kqa::page::StopActivities{}); }
  void onChannelChanged(const kqa::page::ChannelChanged& event) override { heard.push_back(event); }
};

std::unique_ptr<kqa::PropertyPage> MakeEcho(kqa::shell::PageServices&) {
  return std::make_unique<EchoPage>();
}

using kqa::shell::Presence;
const kqa::shell::PageRow kEchoPages[] = {
    {Page::UsbConfig, "USB Config", Presence::Governed, 0, &MakeEcho},
    {Page::TxRx, "TX/RX", Presence::Governed, 0, &MakeEcho},
    {Page::Sniffer, "Sniffer", Presence::Governed, 0, &MakeEcho},
    {Page::Rf2, "RF Page 2", Presence::Free, 0, &MakeEcho},
};

EchoPage& Echo(CQAPropertySheet& sheet, Page which) {
  return dynamic_cast<EchoPage&>(sheet.page(which));
}

CMainFrame::Device DeviceOf(TestBed& bed) {
  return {[&bed] { return kqa::shell::DeviceReachable(bed.device); },
          [&bed] { kqa::device::CloseDevice(bed.device); }};
}

// Answers the next message box with OK and keeps its text.
void AnswerNextMessageBox(QString& text) {
  QTimer::singleShot(0, [&text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return AnswerNextMessageBox(text);
    text = box->text();
    box->accept();
  });
}

}  // namespace

class PropertySheetTest : public QObject {
  Q_OBJECT

 private slots:
  void tabsFollowTheCommandLineAndAboutShowsTheVersionsAndTheDevice() {
    SheetBed bed;
    kqa::shell::PageServices& services = bed.services;
    CQAPropertySheet plain(services);
    QCOMPARE(TabTexts(plain), QStringList({"USB Config", "TX/RX", "MAC", "BBP Page 1", "BBP Page 2",
                                           "BBP Page 3", "RF Page 1", "RF Page 2", "EEPROM",
                                           "EEPROM2", "NOR-Flash", "Sniffer", "About"}));
    services.flags.iqCalPage = true;
    CQAPropertySheet iqOnly(services);
    QCOMPARE(iqOnly.tabs()->count(), 14);
    QCOMPARE(iqOnly.tabs()->tabText(2), QStringLiteral("IQ Cal"));

    services.flags.fftPages = services.flags.papdPage = true;
    CQAPropertySheet all(services);
    QCOMPARE(TabTexts(all),
             QStringList({"USB Config", "TX/RX", "PAPD Test Page", "IQ Cal", "MAC", "BBP Page 1",
                          "BBP Page 2", "BBP Page 3", "RF Page 1", "RF Page 2", "EEPROM", "EEPROM2",
                          "NOR-Flash", "Sniffer", "Noise Level", "FFT Graph", "About"}));
    QCOMPARE(all.page(Page::NandFlash).windowTitle(), QStringLiteral("NAND-Flash"));
    QCOMPARE(all.tabs()->indexOf(&all.page(Page::NandFlash)), -1);

    // The About page asks for the firmware version each time it is shown.
    int asked = 0;
    all.setFirmwareQuery([&]() -> std::optional<std::uint32_t> {
      return ++asked == 1 ? std::nullopt : std::optional<std::uint32_t>(0x80000001u);
    });
    all.setDeviceDescription(QStringLiteral("emulated Kestrel (EEPROM board, in-process)"), true);
    all.setActivePage(Page::About);
    auto& about = static_cast<CAboutPage&>(all.page(Page::About));
    QCOMPARE(about.firmwareText(), QStringLiteral("not available (no device)"));
    all.setActivePage(Page::Mac);
    all.setActivePage(Page::About);  // read again once a device answers
    QCOMPARE(about.firmwareText(), QStringLiteral("-2147483647"));
    QVERIFY(ButtonNamed(about, QStringLiteral("https://kestrelqa.example")) != nullptr);
    QVERIFY(all.findChild<QLabel*>(QStringLiteral("deviceDescription"))
                ->text()
                .contains(QStringLiteral("not real hardware")));
  }

  void exitIsTheOnlyButtonAndEndsTheRunWithinATickClosingTheDevice() {
    SheetBed bed;
    kqa::shell::PageServices& services = bed.services;
    CMainFrame frame(services, DeviceOf(bed));
    QSignalSpy ended(&frame, &CMainFrame::ended);
    frame.start();
    QVERIFY(bed.device.hDevice.isOpen());
    CQAPropertySheet& sheet = *frame.sheet();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    auto* box = sheet.findChild<QDialogButtonBox*>();
    QVERIFY(!box->button(QDialogButtonBox::Ok)->isVisible());
    QVERIFY(box->button(QDialogButtonBox::Apply) == nullptr);
    // Enter in a page's field must not press a button of the sheet.
    QTest::keyClick(&sheet, Qt::Key_Return);
    frame.onTimer();
    QVERIFY(frame.running());
    QCOMPARE(sheet.windowTitle(), QStringLiteral("Kestrel USB V1.0.1.5"));  // present: unchanged
    QCOMPARE(box->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Exit"));
    box->button(QDialogButtonBox::Cancel)->click();
    frame.onTimer();
    QCOMPARE(ended.count(), 1);
    QVERIFY(!frame.running());
    QVERIFY(frame.sheet() == nullptr);
    QVERIFY(!bed.device.hDevice.isOpen());
  }

  // An event a page tells reaches every other page that has been shown; the
  // freeze tells them all to stop what they run.
  void eventsGoToTheShownPagesAndTheFreezeStopsThem() {
    SheetBed bed;
    kqa::shell::PageServices& services = bed.services;
    CQAPropertySheet sheet(services, kEchoPages);
    sheet.setActivePage(Page::TxRx);
    sheet.setActivePage(Page::Sniffer);  // USB Config was shown first; RF Page 2 never is

    Echo(sheet, Page::TxRx).tellOthers(kqa::page::ChannelChanged{4, true});
    const std::vector<kqa::page::PageEvent> channel = {kqa::page::ChannelChanged{4, true}};
    QVERIFY(Echo(sheet, Page::UsbConfig).heard == channel);
    QVERIFY(Echo(sheet, Page::Sniffer).heard == channel);
    QVERIFY(Echo(sheet, Page::TxRx).heard.empty());  // not told its own news
    QVERIFY(Echo(sheet, Page::Rf2).heard.empty());

    kqa::shell::PresenceAction freeze;
    freeze.kind = kqa::shell::PresenceAction::Kind::Freeze;
    freeze.enablePages = false;
    freeze.stopActivities = true;
    sheet.applyPresence(freeze);
    for (Page page : {Page::UsbConfig, Page::TxRx, Page::Sniffer}) {
      QVERIFY(
          (Echo(sheet, page).heard.back() == kqa::page::PageEvent{kqa::page::StopActivities{}}));
      QVERIFY(!sheet.page(page).isEnabled());
    }
    QVERIFY(Echo(sheet, Page::Rf2).heard.empty());
    QVERIFY(sheet.page(Page::Rf2).isEnabled());  // not governed
  }

  // The presence check never freezes the sheet under a running operation: it
  // waits for the operation's end, then stops what runs.
  void thePresenceCheckWaitsForARunningOperation() {
    SheetBed bed;
    kqa::shell::PageServices& services = bed.services;
    CMainFrame frame(services, DeviceOf(bed), kEchoPages);
    frame.start();
    CQAPropertySheet& sheet = *frame.sheet();
    const QString title = sheet.windowTitle();
    EchoPage& txrx = Echo(sheet, Page::TxRx);
    QVERIFY(txrx.run([&] {
      bed.chip.present = bed.chip.connected = false;
      frame.onTimer();
      QCOMPARE(sheet.windowTitle(), title);
      QVERIFY(sheet.page(Page::UsbConfig).isEnabled());
    }));
    QVERIFY(txrx.heard.empty());
    frame.onTimer();
    QCOMPARE(sheet.windowTitle(), QString::fromLatin1(kqa::shell::kFrozenTitle.data()));
    QVERIFY((txrx.heard == std::vector<kqa::page::PageEvent>{kqa::page::StopActivities{}}));
  }

  // The whole road: the in-process driver on the emulated chip, pulled and
  // put back through the sheet's own switch while the timer runs.
  void unplugAndReplugTheEmulatedChip() {
    kqa::VirtualClock clock;
    kqa::ScriptedPrompt prompt;
    kqa::devices::DeviceChoice choice;
    choice.kind = kqa::devices::DeviceChoice::Kind::Emulated;
    std::string error;
    auto chip = kqa::devices::OpenDevice(choice, clock, error);
    QVERIFY2(chip != nullptr, error.c_str());
    kqa::device::DeviceContext device(chip->provider(), prompt, clock);
    device.trace = [](std::string_view) {};
    kqa::device::ConfigMemoryMode memoryMode;
    kqa::device::ChannelState channels;
    kqa::sniffer::SnifferBuffer snifferBuffer;
    kqa::device::RunDeviceStartup(device, memoryMode, channels);
    kqa::shell::PageServices services{device, memoryMode, channels, snifferBuffer, {}};
    CMainFrame frame(services, {[&] { return kqa::shell::DeviceReachable(device); },
                                [&] { kqa::device::CloseDevice(device); }});
    frame.setSheetSetup([&](CQAPropertySheet& sheet) { SetUpSheet(sheet, device, *chip); });
    frame.start();
    CQAPropertySheet& sheet = *frame.sheet();
    QVERIFY(QTest::qWaitForWindowActive(&sheet));
    QCOMPARE(sheet.activePage(), Page::TxRx);

    // The presence timer notices the loss on its own: no page calls the chip.
    QTest::keyClick(&sheet, Qt::Key_U, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE_WITH_TIMEOUT(sheet.windowTitle(),
                              QString::fromLatin1(kqa::shell::kFrozenTitle.data()), 1000);
    QCOMPARE(sheet.activePage(), Page::UsbConfig);
    QVERIFY(!sheet.tabs()->tabBar()->isEnabled());
    for (Page page : {Page::UsbConfig, Page::TxRx, Page::Mac, Page::Rf1, Page::About})
      QVERIFY(!sheet.page(page).isEnabled());
    QVERIFY(sheet.page(Page::Rf2).isEnabled());  // never governed
    QVERIFY(sheet.findChild<QLabel*>(QStringLiteral("deviceDescription"))
                ->text()
                .startsWith(QStringLiteral("Device unplugged")));
    // A page enabled behind the check's back is frozen again on the next tick.
    sheet.page(Page::Mac).setEnabled(true);
    frame.onTimer();
    QVERIFY(!sheet.page(Page::Mac).isEnabled());

    QTest::keyClick(&sheet, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE_WITH_TIMEOUT(sheet.windowTitle(),
                              QString::fromLatin1(kqa::shell::kWorkingTitle.data()), 1000);
    QCOMPARE(sheet.activePage(), Page::TxRx);
    QVERIFY(sheet.tabs()->tabBar()->isEnabled());
    QVERIFY(sheet.page(Page::Mac).isEnabled());
    QVERIFY(sheet.page(Page::Rf1).isEnabled());
    QVERIFY(prompt.messages().empty());
  }

  // A second instance stops before the device; the first runs on the
  // emulated chip until Exit; a typo in the options is shown and refused.
  void theProgramRunsAloneOnTheEmulatedChipUntilExit() {
    const std::string folder = QDir::tempPath().toStdString() + "/kqa-program-test";
    std::filesystem::create_directories(folder);
    auto other = std::make_unique<kqa::shell::SingleInstanceLock>();
    QCOMPARE(other->acquire(folder), kqa::shell::SingleInstanceLock::Result::Acquired);
    kqa::QtPrompt prompt;
    int opened = 0, tabs = 0;
    bool emulatedSwitch = false;
    ProgramSetup setup{prompt, kqa::SystemClock(), folder,
                       [&](const kqa::devices::DeviceChoice& choice, std::string& error) {
                         ++opened;
                         return kqa::devices::OpenDevice(choice, kqa::SystemClock(), error);
                       },
                       [&](CMainFrame& frame) {
                         tabs = frame.sheet()->tabs()->count();
                         emulatedSwitch =
                             ButtonNamed(*frame.sheet(), QStringLiteral("Emulated chip"))
                                 ->isVisibleTo(frame.sheet());
                         ButtonNamed(*frame.sheet(), QStringLiteral("Exit"))->click();
                       }};
    const std::vector<std::string> arguments = {"--device", "emulated", "-f", "pi"};
    QString shown;
    AnswerNextMessageBox(shown);
    QCOMPARE(RunKestrelQa(arguments, setup), 1);
    QCOMPARE(shown, QStringLiteral("Kestrel USB QA is already running"));
    QCOMPARE(opened, 0);

    other.reset();
    QCOMPARE(RunKestrelQa(arguments, setup), 0);
    QCOMPARE(tabs, 17);
    QVERIFY(emulatedSwitch);

    const std::vector<std::string> typo = {"--device", "emulatd"};
    AnswerNextMessageBox(shown);
    QCOMPARE(RunKestrelQa(typo, setup), 2);
    QVERIFY(shown.contains(QStringLiteral("emulated")));
    std::filesystem::remove_all(folder);
  }
};

QTEST_MAIN(PropertySheetTest)
#include "property_sheet_test.moc"
