#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <fstream>
#include <sstream>

#include "app/device/register_access.h"
#include "app/registers/views/bbp_pages.h"
#include "app/shell/views/page/testing/page_harness.h"

using kqa::shell::Page;
using kqa::testing::PageHarness;

namespace {

std::uint8_t Bbp(PageHarness& harness, std::uint8_t reg) {
  std::uint8_t value = 0;
  kqa::device::RegisterAccess(harness.device)
      .AccessBbpRegister(kqa::device::kRegisterRead, reg, value);
  return value;
}

void SetBbp(PageHarness& harness, std::uint8_t reg, std::uint8_t value) {
  kqa::device::RegisterAccess(harness.device)
      .AccessBbpRegister(kqa::device::kRegisterWrite, reg, value);
}

int LineCount(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  return static_cast<int>(std::count(all.begin(), all.end(), '\n'));
}

QPushButton* Button(QWidget& page, const QString& caption) {
  for (QPushButton* each : page.findChildren<QPushButton*>())
    if (each->text() == caption) return each;
  return nullptr;
}

}  // namespace

class BbpPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void activationReadsTheGridAndTheSingleBoxCutsToEightBits() {
    PageHarness harness(Page::Bbp1);
    CBBPPage& page = harness.page<CBBPPage>();
    SetBbp(harness, 5, 0x3C);
    page.activate();  // shown again: reads all
    QCOMPARE(page.gridField(5)->text(), QStringLiteral("3C"));
    QVERIFY(page.gridField(5)->isReadOnly());

    harness.click("&WRITE");
    QVERIFY(!Button(page, "Read &ALL")->isEnabled());  // offered while READ is chosen
    harness.field("registerId")->setText(QStringLiteral("300"));
    harness.field("registerValue")->setText(QStringLiteral("A5"));
    harness.click("R/W");
    QCOMPARE(Bbp(harness, 44), std::uint8_t{0xA5});

    harness.click("&READ");
    QVERIFY(Button(page, "Read &ALL")->isEnabled());
    QVERIFY(harness.field("registerValue")->isReadOnly());
    harness.field("registerId")->setText(QStringLiteral("44"));
    harness.click("R/W");
    QCOMPARE(harness.field("registerValue")->text(), QStringLiteral("A5"));
    harness.click("Read &ALL");
    QCOMPARE(page.gridField(44)->text(), QStringLiteral("A5"));
    QVERIFY(harness.prompt.messages().empty());

    // Not a number: refused with a message, nothing written.
    harness.click("&WRITE");
    harness.field("registerId")->setText(QStringLiteral("4x"));
    harness.field("registerValue")->setText(QStringLiteral("00"));
    harness.click("R/W");
    QCOMPARE(harness.prompt.messages().size(), std::size_t{1});
    QVERIFY(
        QString::fromStdString(harness.prompt.messages()[0]).contains(QStringLiteral("\"4x\"")));
    QCOMPARE(Bbp(harness, 4), std::uint8_t{0});
    QCOMPARE(Bbp(harness, 44), std::uint8_t{0xA5});
  }

  void page3ShowsR137ToR199AndR248ToR250Only() {
    PageHarness harness(Page::Bbp3);
    CBBPPage3& page = harness.page<CBBPPage3>();
    int fields = 0;
    for (int reg = 0; reg < 256; ++reg) {
      const bool shown = (reg >= 137 && reg <= 199) || (reg >= 248 && reg <= 250);
      QCOMPARE(page.gridField(reg) != nullptr, shown);
      fields += shown;
    }
    QCOMPARE(fields, 66);
    SetBbp(harness, 249, 0x42);
    harness.click("Read &All");
    QCOMPARE(page.gridField(249)->text(), QStringLiteral("42"));

    PageHarness second(Page::Bbp2);
    QCOMPARE(second.page<CBBPPage2>().gridField(112) != nullptr, true);
    QCOMPARE(second.page<CBBPPage2>().gridField(137) == nullptr, true);
  }

  void registerSetTablesAndScriptOfPage1() {
    PageHarness harness(Page::Bbp1);
    CBBPPage& page = harness.page<CBBPPage>();
    SetBbp(harness, 70, 0x5E);
    harness.prompt.answerFile(harness.file("set"));  // ".txt" is added
    harness.click("Save Bbp Regs");
    QCOMPARE(LineCount(harness.file("set.txt")), 354);

    SetBbp(harness, 70, 0x00);
    harness.prompt.answerFile(harness.file("set.txt"));
    harness.click("Load Bbp Regs");
    QCOMPARE(Bbp(harness, 70), std::uint8_t{0x5E});
    QCOMPARE(page.gridField(70)->text(), QStringLiteral("5E"));  // read all after the load

    harness.prompt.answerFile(harness.file("papd.txt"));
    harness.click("Dump");
    QCOMPARE(LineCount(harness.file("papd.txt")), 256);
    harness.prompt.answerFile(harness.file("gain"));
    harness.click("BBP 184/185");
    QCOMPARE(LineCount(harness.file("gain.txt")), 256);
    QVERIFY(harness.prompt.messages().empty());

    std::ofstream(harness.file("script.txt")) << "1 23 B5\n0 23\n";
    harness.prompt.answerFile(harness.file("script.txt"));
    harness.click("Load BBP Script");
    QCOMPARE(page.scriptLog(), QStringList({QStringLiteral("W: BBP R23 = 0xB5"),
                                            QStringLiteral("R: BBP R23 = 0xB5")}));
    QCOMPARE(page.gridField(23)->text(), QStringLiteral("B5"));
  }
};

QTEST_MAIN(BbpPagesTest)
#include "bbp_pages_test.moc"
