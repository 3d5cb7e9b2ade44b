#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <memory>

#include "app/device/startup.h"
#include "app/widgets/views/hex_edit.h"
#include "app/registers/views/mac_page.h"
#include "platform/clock/virtual_clock.h"
#include "devices/device_select.h"
#include "platform/prompt/scripted_prompt.h"

using kqa::nvm::HexColumn;

namespace {

// The MAC page on the emulated chip, in-process, in virtual time.
struct Bench {
  kqa::VirtualClock clock;
  kqa::ScriptedPrompt prompt;
  std::unique_ptr<kqa::devices::OpenedDevice> chip;
  std::unique_ptr<kqa::device::DeviceContext> device;
  std::unique_ptr<kqa::shell::PageServices> services;
  std::unique_ptr<CMACPage> page;

  Bench() {
    kqa::devices::DeviceChoice choice;
    choice.kind = kqa::devices::DeviceChoice::Kind::Emulated;
    std::string error;
    chip = kqa::devices::OpenDevice(choice, clock, error);
    if (!chip) qFatal("no emulated chip: %s", error.c_str());
    device = std::make_unique<kqa::device::DeviceContext>(chip->provider(), prompt, clock);
    device->trace = [](std::string_view) {};
    kqa::device::RunDeviceStartup(*device);
    services = std::make_unique<kqa::shell::PageServices>(kqa::shell::PageServices{*device});
    page = std::make_unique<CMACPage>(*services);
    page->resize(1000, 640);
    page->show();
    page->activate();  // first shown: reads the SYS bank
  }

  QLineEdit* field(const char* name) const {
    return page->findChild<QLineEdit*>(QLatin1String(name));
  }
  void click(const char* text) const {
    for (QAbstractButton* each : page->findChildren<QAbstractButton*>())
      if (each->text() == QLatin1String(text)) return each->click();
    qFatal("no button %s", text);
  }
  void chooseBank(int index) {
    auto* banks = page->findChild<QComboBox*>(QStringLiteral("bankList"));
    banks->setCurrentIndex(index);
    emit banks->activated(index);
  }
  std::string file(const char* name) const { return folder.filePath(QLatin1String(name)).toStdString(); }

  QTemporaryDir folder;
};

}  // namespace

class MacPageTest : public QObject {
  Q_OBJECT

 private slots:
  void aSingleWriteThenReadThroughTheControls() {
    Bench bench;
    bench.chooseBank(2);  // MAC Register, base 0x1000
    bench.click("&WRITE");
    QLineEdit* value = bench.field("singleValue");
    QVERIFY(!value->isReadOnly());
    bench.field("singleOffset")->setText(QStringLiteral("14"));
    value->setText(QStringLiteral("C0FFEE11"));
    bench.click("R/W");

    bench.click("&READ");
    QVERIFY(value->isReadOnly());
    value->setText(QStringLiteral("00000000"));
    bench.click("R/W");
    QCOMPARE(value->text(), QStringLiteral("C0FFEE11"));

    // The access mode reads the same register by its address.
    bench.click("0x410000");
    bench.field("accessOffset")->setText(QStringLiteral("1014"));
    bench.click("R / W");
    QCOMPARE(bench.field("accessValue")->text(), QStringLiteral("C0FFEE11"));
    QVERIFY(bench.prompt.messages().empty());

    // A typo is refused with a message and sends nothing.
    bench.click("&WRITE");
    value->setText(QStringLiteral("C0FFEEZZ"));
    bench.click("R/W");
    QCOMPARE(bench.prompt.messages().size(), std::size_t{1});
    QVERIFY(QString::fromStdString(bench.prompt.messages()[0]).contains(QStringLiteral("C0FFEEZZ")));
    bench.page->onReadAll();
    QCOMPARE(bench.page->tool().word(0x14 / 4), 0xC0FFEE11u);
  }

  void readAllOfEachBank() {
    Bench bench;
    // Shown first: the SYS bank, little-endian words ("00 00 C7 5E" for the identity).
    QCOMPARE(bench.page->tool().word(0) & 0xFFFF0000u, 0x5EC70000u);
    QCOMPARE(bench.page->hexView().model().data()[3], std::uint8_t{0x5E});
    const std::size_t lengths[] = {512, 512, 4096, 8192, 8192, 8192};
    for (int bank = 0; bank < 6; ++bank) {
      bench.chooseBank(bank);
      QCOMPARE(bench.page->hexView().model().length(), lengths[bank]);
      QCOMPARE(bench.page->tool().bankIndex(), std::size_t(bank));
    }
    bench.chooseBank(3);  // program memory: the hole shows 0xEE
    QCOMPARE(bench.page->tool().word((0x3800 - 0x2000) / 4), 0xEEu);
    QVERIFY(bench.prompt.messages().empty());

    // Program memory is visible only with its bit set: what the page wrote
    // there through the access mode, bracketed by hand, it reads back.
    auto write = [&](const char* address, const char* data) {
      bench.field("accessOffset")->setText(QLatin1String(address));
      bench.field("accessValue")->setText(QLatin1String(data));
      bench.click("R / W");
    };
    bench.click("0x410000");
    bench.click("WRITE");
    write("400", "10000");
    write("2010", "A5A5A5A5");
    write("400", "0");
    bench.page->onReadAll();
    QCOMPARE(bench.page->tool().word(4), 0xA5A5A5A5u);
  }

  void aDumpReloadsIntoTheChip() {
    Bench bench;
    bench.chooseBank(4);  // shared memory, plain RAM
    bench.click("0x410000");
    bench.click("WRITE");
    bench.field("accessOffset")->setText(QStringLiteral("4008"));
    bench.field("accessValue")->setText(QStringLiteral("12345678"));
    bench.click("R / W");
    bench.click("Read &ALL");
    QCOMPARE(bench.page->tool().word(2), 0x12345678u);

    bench.prompt.answerFile(bench.file("shared"));
    bench.click("Dump Reg");
    QCOMPARE(bench.prompt.messages().back(), std::string("Dump MAC Registers Done!"));

    bench.field("accessValue")->setText(QStringLiteral("0"));
    bench.click("R / W");
    bench.page->onReadAll();
    QCOMPARE(bench.page->tool().word(2), 0u);

    bench.prompt.answerFile(bench.file("shared.txt"));
    bench.click("Load File");
    QCOMPARE(bench.page->tool().word(2), 0x12345678u);  // written, then read again
    QVERIFY(QString::fromStdString(bench.prompt.messages().back())
                .startsWith(QStringLiteral("Wrote 2048 registers from shared.txt")));
  }

  void theExampleScriptAndItsLog() {
    Bench bench;
    bench.click("?");
    const QStringList example = {"Example :", "BBP 0 12", "BBP 1 23 B5", ";BBP 1 23 A7",
                                 "WAIT 100", "RF 1 0 13 22", ";RF 1 5 35 1E", "RF 1 5 35 20",
                                 "MAC 1 1314 22223333", "WAIT 100"};
    QCOMPARE(bench.page->scriptLog(), example);

    // The example, run as a script: one entry per command, comments silent,
    // each new entry selected as it arrives.
    std::ofstream(bench.file("example.txt")) << example.mid(1).join(QLatin1Char('\n')).toStdString()
                                             << '\n';
    bench.prompt.answerFile(bench.file("example.txt"));
    bench.click("Load Script");
    const QStringList log = bench.page->scriptLog();
    QCOMPARE(log.size(), 7);
    QVERIFY(log[0].startsWith(QStringLiteral("R:\tBBP 12\t= 0x")));
    QCOMPARE(log.mid(1), QStringList({"W:\tBBP 23\t= 0xB5", "Wait:\t100(ms)",
                                      "W:\tRF B0 R13\t= 0x22", "W:\tRF B5 R35\t= 0x20",
                                      "W:\tMAC 0x1314\t= 0x22223333", "Wait:\t100(ms)"}));
    QCOMPARE(bench.page->findChild<QListWidget*>(QStringLiteral("scriptLog"))->currentRow(), 6);
    QCOMPARE(bench.prompt.events().front().dialog.title, std::string("Open Script File"));

    // The script's MAC write reached the chip.
    bench.chooseBank(2);
    QCOMPARE(bench.page->tool().word(0x314 / 4), 0x22223333u);
  }

  void typingInTheHexViewEditsTheDumpedBank() {
    Bench bench;
    CHexEdit& view = bench.page->hexView();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.byteRect(8, HexColumn::Hex).center());
    QTest::keyClicks(&view, "a5b6");
    QCOMPARE(bench.page->tool().word(2) & 0xFFFFu, 0xB6A5u);
    bench.prompt.answerFile(bench.file("edited.txt"));
    bench.page->onDumpReg();
    std::ifstream in(bench.file("edited.txt"));
    std::string line;
    for (int i = 0; i < 3; ++i) std::getline(in, line);
    QCOMPARE(QString::fromStdString(line), QStringLiteral("0x0008      0x0000B6A5"));
  }
};

QTEST_MAIN(MacPageTest)
#include "mac_page_test.moc"
