#include <QtTest>
#include <fstream>

#include "app/registers/views/mac_page.h"
#include "app/shell/views/page/log_list.h"
#include "app/shell/views/page/testing/page_harness.h"
#include "app/widgets/views/hex_edit.h"

using kqa::nvm::HexColumn;
using kqa::shell::Page;
using kqa::testing::PageHarness;

class MacPageTest : public QObject {
  Q_OBJECT

 private slots:
  void aSingleWriteThenReadThroughTheControls() {
    PageHarness harness(Page::Mac);
    CMACPage& page = harness.page<CMACPage>();
    harness.choose("bankList", 2);  // MAC Register, base 0x1000
    harness.click("&WRITE");
    QLineEdit* value = harness.field("singleValue");
    QVERIFY(!value->isReadOnly());
    harness.field("singleOffset")->setText(QStringLiteral("14"));
    value->setText(QStringLiteral("C0FFEE11"));
    harness.click("R/W");

    harness.click("&READ");
    QVERIFY(value->isReadOnly());
    value->setText(QStringLiteral("00000000"));
    harness.click("R/W");
    QCOMPARE(value->text(), QStringLiteral("C0FFEE11"));

    // The access mode reads the same register by its address.
    harness.click("0x410000");
    harness.field("accessOffset")->setText(QStringLiteral("1014"));
    harness.click("R / W");
    QCOMPARE(harness.field("accessValue")->text(), QStringLiteral("C0FFEE11"));
    QVERIFY(harness.prompt.messages().empty());

    // A typo is refused with a message and sends nothing.
    harness.click("&WRITE");
    value->setText(QStringLiteral("C0FFEEZZ"));
    harness.click("R/W");
    QCOMPARE(harness.prompt.messages().size(), std::size_t{1});
    QVERIFY(
        QString::fromStdString(harness.prompt.messages()[0]).contains(QStringLiteral("C0FFEEZZ")));
    page.onReadAll();
    QCOMPARE(page.tool().word(0x14 / 4), 0xC0FFEE11u);
  }

  void readAllOfEachBank() {
    PageHarness harness(Page::Mac);
    CMACPage& page = harness.page<CMACPage>();
    // Shown first: the SYS bank, little-endian words ("00 00 C7 5E" for the identity).
    QCOMPARE(page.tool().word(0) & 0xFFFF0000u, 0x5EC70000u);
    QCOMPARE(page.hexView().model().data()[3], std::uint8_t{0x5E});
    const std::size_t lengths[] = {512, 512, 4096, 8192, 8192, 8192};
    for (int bank = 0; bank < 6; ++bank) {
      harness.choose("bankList", bank);
      QCOMPARE(page.hexView().model().length(), lengths[bank]);
      QCOMPARE(page.tool().bankIndex(), std::size_t(bank));
    }
    harness.choose("bankList", 3);  // program memory: the hole shows 0xEE
    QCOMPARE(page.tool().word((0x3800 - 0x2000) / 4), 0xEEu);
    QVERIFY(harness.prompt.messages().empty());

    // Program memory is visible only with its bit set: what the page wrote
    // there through the access mode, bracketed by hand, it reads back.
    auto write = [&](const char* address, const char* data) {
      harness.field("accessOffset")->setText(QLatin1String(address));
      harness.field("accessValue")->setText(QLatin1String(data));
      harness.click("R / W");
    };
    harness.click("0x410000");
    harness.click("WRITE");
    write("400", "10000");
    write("2010", "A5A5A5A5");
    write("400", "0");
    page.onReadAll();
    QCOMPARE(page.tool().word(4), 0xA5A5A5A5u);
  }

  void aDumpReloadsIntoTheChip() {
    PageHarness harness(Page::Mac);
    CMACPage& page = harness.page<CMACPage>();
    harness.choose("bankList", 4);  // shared memory, plain RAM
    harness.click("0x410000");
    harness.click("WRITE");
    harness.field("accessOffset")->setText(QStringLiteral("4008"));
    harness.field("accessValue")->setText(QStringLiteral("12345678"));
    harness.click("R / W");
    harness.click("Read &ALL");
    QCOMPARE(page.tool().word(2), 0x12345678u);

    harness.prompt.answerFile(harness.file("shared"));
    harness.click("Dump Reg");
    QCOMPARE(harness.prompt.messages().back(), std::string("Dump MAC Registers Done!"));

    harness.field("accessValue")->setText(QStringLiteral("0"));
    harness.click("R / W");
    page.onReadAll();
    QCOMPARE(page.tool().word(2), 0u);

    harness.prompt.answerFile(harness.file("shared.txt"));
    harness.click("Load File");
    QCOMPARE(page.tool().word(2), 0x12345678u);  // written, then read again
    QVERIFY(QString::fromStdString(harness.prompt.messages().back())
                .startsWith(QStringLiteral("Wrote 2048 registers from shared.txt")));
  }

  void theExampleScriptAndItsLog() {
    PageHarness harness(Page::Mac);
    CMACPage& page = harness.page<CMACPage>();
    harness.click("?");
    const QStringList example = {
        "Example :",    "BBP 0 12",      "BBP 1 23 B5",  ";BBP 1 23 A7",        "WAIT 100",
        "RF 1 0 13 22", ";RF 1 5 35 1E", "RF 1 5 35 20", "MAC 1 1314 22223333", "WAIT 100"};
    QCOMPARE(page.scriptLog(), example);

    // The example, run as a script: one entry per command, comments silent,
    // each new entry selected as it arrives.
    std::ofstream(harness.file("example.txt"))
        << example.mid(1).join(QLatin1Char('\n')).toStdString() << '\n';
    harness.prompt.answerFile(harness.file("example.txt"));
    harness.click("Load Script");
    const QStringList log = page.scriptLog();
    QCOMPARE(log.size(), 7);
    QVERIFY(log[0].startsWith(QStringLiteral("R:\tBBP 12\t= 0x")));
    QCOMPARE(log.mid(1), QStringList({"W:\tBBP 23\t= 0xB5", "Wait:\t100(ms)",
                                      "W:\tRF B0 R13\t= 0x22", "W:\tRF B5 R35\t= 0x20",
                                      "W:\tMAC 0x1314\t= 0x22223333", "Wait:\t100(ms)"}));
    QCOMPARE(page.findChild<kqa::LogList*>(QStringLiteral("scriptLog"))->currentRow(), 6);
    QCOMPARE(harness.prompt.events().front().dialog.title, std::string("Open Script File"));

    // The script's MAC write reached the chip.
    harness.choose("bankList", 2);
    QCOMPARE(page.tool().word(0x314 / 4), 0x22223333u);
  }

  void typingInTheHexViewEditsTheDumpedBank() {
    PageHarness harness(Page::Mac);
    CMACPage& page = harness.page<CMACPage>();
    CHexEdit& view = page.hexView();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                      view.byteRect(8, HexColumn::Hex).center());
    QTest::keyClicks(&view, "a5b6");
    QCOMPARE(page.tool().word(2) & 0xFFFFu, 0xB6A5u);
    harness.prompt.answerFile(harness.file("edited.txt"));
    page.onDumpReg();
    std::ifstream in(harness.file("edited.txt"));
    std::string line;
    for (int i = 0; i < 3; ++i) std::getline(in, line);
    QCOMPARE(QString::fromStdString(line), QStringLiteral("0x0008      0x0000B6A5"));
  }
};

QTEST_MAIN(MacPageTest)
#include "mac_page_test.moc"
