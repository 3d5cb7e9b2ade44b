#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <fstream>

#include "app/device/config_memory.h"
#include "app/device/register_access.h"
#include "app/registers/views/rf_pages.h"
#include "app/shell/views/page/testing/page_harness.h"

using kqa::shell::Page;
using kqa::testing::PageHarness;

namespace {

std::uint8_t Rf(PageHarness& harness, int bank, int reg) {
  std::uint8_t value = 0;
  kqa::device::RegisterAccess(harness.device)
      .AccessRfRegister(kqa::device::kRegisterRead, static_cast<std::uint8_t>(bank),
                        static_cast<std::uint8_t>(reg), value);
  return value;
}

void SetRf(PageHarness& harness, int bank, int reg, std::uint8_t value) {
  kqa::device::RegisterAccess(harness.device)
      .AccessRfRegister(kqa::device::kRegisterWrite, static_cast<std::uint8_t>(bank),
                        static_cast<std::uint8_t>(reg), value);
}

QString Label(QWidget& page, const char* name) {
  return page.findChild<QLabel*>(QLatin1String(name))->text();
}

void Step(QWidget& page, const char* arrow) {
  page.findChild<QToolButton*>(QLatin1String(arrow))->click();
}

}  // namespace

class RfPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void aBitPressTogglesTheBitInTheChip() {
    PageHarness harness(Page::Rf1);
    CRFPage& page = harness.page<CRFPage>();
    SetRf(harness, 0, 5, 0x01);
    harness.click("Read &All");
    QCOMPARE(page.gridField(5)->text(), QStringLiteral("01"));
    QCOMPARE(page.bitButton(5, 0)->text(), QStringLiteral("1"));
    QCOMPARE(page.bitButton(5, 3)->text(), QStringLiteral("0"));
    QVERIFY(!page.bitButton(0, 7)->isEnabled());  // R0's bits are not pressed

    page.bitButton(5, 3)->click();
    QCOMPARE(Rf(harness, 0, 5), std::uint8_t{0x09});
    QCOMPARE(page.bitButton(5, 3)->text(), QStringLiteral("1"));
    QCOMPARE(page.gridField(5)->text(), QStringLiteral("09"));
    page.bitButton(5, 0)->click();
    QCOMPARE(Rf(harness, 0, 5), std::uint8_t{0x08});

    // The single box works in the bank and reads all after.
    harness.click("&WRITE");
    harness.field("registerId")->setText(QStringLiteral("7"));
    harness.field("registerValue")->setText(QStringLiteral("C3"));
    harness.click("R / W");
    QCOMPARE(Rf(harness, 0, 7), std::uint8_t{0xC3});
    QCOMPARE(page.bitButton(7, 7)->text(), QStringLiteral("1"));
    QVERIFY(harness.prompt.messages().empty());
  }

  void aBankChosenOnOnePageIsTheOtherPagesBank() {
    PageHarness harness(Page::Rf1);
    SetRf(harness, 5, 35, 0x20);
    SetRf(harness, 5, 2, 0x5A);
    harness.choose("bankList", 5);
    CRFPage& page1 = harness.page<CRFPage>();
    QCOMPARE(page1.gridField(2)->text(), QStringLiteral("5A"));

    kqa::shell::PageServices services{harness.device, harness.memoryMode, harness.channels,
                                      harness.snifferBuffer, {}};
    CRFPage2 page2(services);
    page2.setHost(&harness);
    page2.show();
    page2.activate();  // first shown
    QCOMPARE(page2.findChild<QComboBox*>(QStringLiteral("bankList"))->currentIndex(), 5);
    QCOMPARE(page2.gridField(35)->text(), QStringLiteral("20"));
    QCOMPARE(page2.bitButton(35, 5)->text(), QStringLiteral("1"));

    // And back: page 2 chooses bank 4, page 1 shows it when it is shown again.
    SetRf(harness, 4, 2, 0x44);
    auto* list2 = page2.findChild<QComboBox*>(QStringLiteral("bankList"));
    list2->setCurrentIndex(4);
    list2->activated(4);
    page1.activate();
    QCOMPARE(
        harness.page<CRFPage>().findChild<QComboBox*>(QStringLiteral("bankList"))->currentIndex(),
        4);
    QCOMPARE(page1.gridField(2)->text(), QStringLiteral("44"));
  }

  void aChannelChoiceIsSharedAndAppliedThroughTheSheet() {
    PageHarness harness(Page::Rf1);
    CRFPage& page = harness.page<CRFPage>();
    QCOMPARE(Label(page, "vco"), QStringLiteral("3216.000"));
    harness.choose("channelList", 13);
    QCOMPARE(harness.channels.channelIndex, 13);
    QCOMPARE(Label(page, "vco"), QStringLiteral("3312.000"));
    QCOMPARE(Label(page, "n"), QStringLiteral("82"));
    QCOMPARE(Label(page, "k"), QStringLiteral("0"));
    QCOMPARE(Label(page, "ksd"), QStringLiteral("0x33333"));
    QCOMPARE(harness.told().size(), std::size_t{1});
    QVERIFY(harness.told()[0] == kqa::page::PageEvent(kqa::page::ChannelChanged{13, true}));

    // Another page's choice: the list and the values follow, nothing is told.
    harness.channels.channelIndex = 3;
    page.receive(kqa::page::ChannelChanged{3, false});
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("channelList"))->currentIndex(), 3);
    QCOMPARE(Label(page, "vco"), QStringLiteral("3236.000"));
    QCOMPARE(harness.told().size(), std::size_t{1});
  }

  void spinsStayInTheirRangesAndTheChipInfoLineNamesThePaths() {
    PageHarness harness(Page::Rf1);
    CRFPage& page = harness.page<CRFPage>();
    std::uint16_t paths = 0;
    kqa::device::ReadEepromWord({harness.device, harness.memoryMode}, 0x34, paths);
    QCOMPARE(Label(page, "chipInfo"),
             QStringLiteral("VQ1 :: %1 T %2 R").arg(paths >> 4 & 0xF).arg(paths & 0xF));
    QCOMPARE(harness.field("txPower1")->isEnabled(), (paths >> 4 & 0xF) >= 2);

    QLineEdit* power = harness.field("txPower0");
    power->setText(QStringLiteral("3E"));
    Step(page, "txPower0Up");
    QCOMPARE(power->text(), QStringLiteral("3F"));
    std::uint32_t word = 0;
    kqa::device::RegisterAccess(harness.device).ReadMacRegister(0x13B0, word);
    QCOMPARE(word & 0x3F, 0x3Fu);
    Step(page, "txPower0Up");  // 0x3F does not go higher
    QCOMPARE(power->text(), QStringLiteral("3F"));
    QVERIFY(harness.told().back() == kqa::page::PageEvent(kqa::page::RadioSettingsChanged{}));

    QLineEdit* offset = harness.field("frequencyOffset");
    offset->setText(QStringLiteral("024"));
    Step(page, "frequencyOffsetDown");
    QCOMPARE(offset->text(), QStringLiteral("023"));
    QCOMPARE(Rf(harness, 0, 12), std::uint8_t{0x23});
    QCOMPARE(page.gridField(12)->text(), QStringLiteral("23"));  // read all after
    QVERIFY(harness.prompt.messages().empty());

    offset->setText(QStringLiteral("2Z"));
    Step(page, "frequencyOffsetUp");
    QCOMPARE(harness.prompt.messages().size(), std::size_t{1});
    QCOMPARE(Rf(harness, 0, 12), std::uint8_t{0x23});
  }

  void loadingAFileEndsWithTheVcoCalibration() {
    PageHarness harness(Page::Rf1);
    CRFPage& page = harness.page<CRFPage>();
    std::ofstream(harness.file("regs.txt")) << "0 003 7A\n4 010 11\n";
    harness.prompt.answerFile(harness.file("regs.txt"));
    harness.click("Load Rf Regs");
    QCOMPARE(Rf(harness, 4, 10), std::uint8_t{0x11});
    QCOMPARE(page.gridField(3)->text(), QStringLiteral("7A"));
    harness.prompt.answerFile(harness.file("saved"));
    harness.click("Save Rf Regs");
    std::ifstream saved(harness.file("saved.txt"));
    std::string first;
    std::getline(saved, first);
    QCOMPARE(QString::fromStdString(first), QStringLiteral("0 000 00"));
    QVERIFY(harness.prompt.messages().empty());
  }
};

QTEST_MAIN(RfPagesTest)
#include "rf_pages_test.moc"
