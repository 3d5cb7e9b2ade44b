// The configuration-memory pages driven through their controls on the page
// harness, against the emulated chip of either board.
// Before any Qt header: the chip's options (see page_harness.h).
#include "chip/kestrel_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>
#include <fstream>
#include <iterator>

#include "app/device/config_memory.h"
#include "app/device/efuse_accounting.h"
#include "app/nvm/views/eeprom_page.h"
#include "app/nvm/views/eeprom_page2.h"
#include "app/nvm/views/nor_flash_page.h"
#include "app/shell/views/page/testing/page_harness.h"
#include "app/widgets/views/hex_edit.h"

using kqa::nvm::HexColumn;
using kqa::shell::Page;
using kqa::testing::PageHarness;

namespace {

std::vector<std::uint8_t> Memory(PageHarness& harness, std::uint16_t offset, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  kqa::device::ReadEepromBlock({harness.device, harness.memoryMode}, offset, bytes);
  return bytes;
}

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

}  // namespace

class NvmPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void theEepromPageReadsWritesAndSavesThroughItsControls() {
    PageHarness harness(Page::Eeprom);
    CEEPROMPage& page = harness.page<CEEPROMPage>();
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("nvmType"))->text(), QStringLiteral("EEPROM"));
    QCOMPARE(page.hexView().model().length(), std::size_t{512});
    QCOMPARE(page.hexView().model().data()[1], std::uint8_t{0x5E});  // chip model 0x5EC7
    QCOMPARE(harness.field("mac")->text().left(6), QStringLiteral("024B51"));
    QVERIFY(!page.findChild<QCheckBox*>(QStringLiteral("bufferMode"))->isEnabled());

    // One byte, typed into the fields.
    harness.click("&WRITE");
    QVERIFY(!harness.field("value")->isReadOnly());
    QVERIFY(!harness.field("length")->isEnabled());
    harness.field("offset")->setText(QStringLiteral("21"));
    harness.field("value")->setText(QStringLiteral("AB"));
    harness.click("R/W");
    QCOMPARE(Memory(harness, 0x20, 2), (std::vector<std::uint8_t>{0xFF, 0xAB}));

    // A byte typed into the hex view, written as a block of one.
    CHexEdit& view = page.hexView();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.byteRect(0x30, HexColumn::Hex).center());
    QTest::keyClicks(&view, "a5");
    for (QCheckBox* box : page.findChildren<QCheckBox*>())
      if (box->text() == QStringLiteral("Value-Mode")) box->setChecked(false);
    QVERIFY(harness.field("length")->isEnabled());
    harness.field("offset")->setText(QStringLiteral("30"));
    harness.field("length")->setText(QStringLiteral("1"));
    harness.click("R/W");
    QCOMPARE(Memory(harness, 0x30, 2), (std::vector<std::uint8_t>{0xA5, 0xFF}));
    QVERIFY(harness.prompt.messages().empty());

    // Save As, then Load File of what was saved.
    harness.prompt.answerFile(harness.file("saved"));
    harness.click("Save As...");
    const std::vector<std::uint8_t> saved = FileBytes(harness.file("saved.bin"));
    QCOMPARE(saved.size(), std::size_t{1024});
    QCOMPARE(saved[0x30], std::uint8_t{0xA5});
    harness.field("mac")->setText(QStringLiteral("001122334455"));
    page.onSetMac();
    QCOMPARE(Memory(harness, 4, 2), (std::vector<std::uint8_t>{0x00, 0x11}));
    harness.prompt.answerFile(harness.file("saved.bin"));
    harness.click("Load File");
    QCOMPARE(Memory(harness, 0, 1024), saved);
    QCOMPARE(harness.prompt.events()[0].dialog.filters[0].text, std::string("EEPROM content File (*.bin)"));

    // The LED combos come alive with a level and show the words.
    auto* green = page.findChild<QComboBox*>(QStringLiteral("led-g-down"));
    QVERIFY(!green->isEnabled());
    harness.choose("ledActive", 0);
    QVERIFY(green->isEnabled());
    QCOMPARE(green->currentText(), QStringLiteral("On"));
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("led-act-linkg"))->currentText(),
             QStringLiteral("Solid on,Blink data/mgmt"));
  }

  void theEepromPageOnTheEfuseBoardShowsTheFreeBlocksItsBurnsLeave() {
    PageHarness harness(Page::Eeprom, kqa::chip::KestrelOptions{.board = kqa::chip::Board::Efuse});
    CEEPROMPage& page = harness.page<CEEPROMPage>();
    QCOMPARE(page.findChild<QLabel*>(QStringLiteral("nvmType"))->text(), QStringLiteral("E-fuse"));
    auto* freeBlocks = page.findChild<QLabel*>(QStringLiteral("freeBlocks"));
    QCOMPARE(freeBlocks->text(), QStringLiteral("21 / 29"));
    QVERIFY(page.findChild<QCheckBox*>(QStringLiteral("bufferMode"))->isEnabled());

    // Logical block 8 is new: one block, asked about, burnt.
    std::vector<std::uint8_t> image(512);
    std::copy_n(page.hexView().model().data(), 512, image.begin());
    for (std::size_t i = 0x80; i < 0x90; ++i) image[i] = static_cast<std::uint8_t>(i);
    const std::string file = harness.file("image.bin");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), 512);
    harness.prompt.answerFile(file);
    harness.prompt.answerOkCancel(true);
    harness.click("Load File");
    QCOMPARE(harness.prompt.events().back().text,
             std::string("Free block before write=21, after write=20, are you sure to write?"));
    QCOMPARE(freeBlocks->text(), QStringLiteral("20 / 29"));
    QCOMPARE(kqa::device::EfuseFreeBlockCount({harness.device, harness.memoryMode}), 20);
    QCOMPARE(page.hexView().model().data()[0x85], std::uint8_t{0x85});
  }

  void theUsbIdentityPageListsAddsAndClearsStrings() {
    PageHarness harness(Page::Eeprom2);
    CEEPROMPage2& page = harness.page<CEEPROMPage2>();
    auto* strings = page.findChild<QTableWidget*>(QStringLiteral("strings"));
    QCOMPARE(strings->rowCount(), 3);
    QCOMPARE(strings->item(1, 1)->text(), QStringLiteral("802.11n WLAN"));
    QCOMPARE(harness.field("wlanVid")->text(), QStringLiteral("1209"));
    QVERIFY(!harness.field("flashVid")->isEnabled());
    harness.click("WLAN + FLASH");
    QVERIFY(harness.field("flashVid")->isEnabled());

    harness.click("Clear All");
    QCOMPARE(strings->rowCount(), 0);
    harness.field("stringText")->setText(QStringLiteral("Kestrel QA"));
    harness.click("Add / Edit");
    QCOMPARE(strings->rowCount(), 1);
    QCOMPARE(strings->item(0, 1)->text(), QStringLiteral("Kestrel QA"));
    QVERIFY(harness.field("stringText")->text().isEmpty());
    QCOMPARE(page.findChild<QComboBox*>(QStringLiteral("wlanIndex0"))->currentText(), QStringLiteral("1"));

    // A click on a row puts its text in the edit; Add / Edit then replaces it.
    strings->selectRow(0);
    page.onStringClicked(0);
    QCOMPARE(harness.field("stringText")->text(), QStringLiteral("Kestrel QA"));
    harness.field("stringText")->setText(QStringLiteral("Kestrel"));
    harness.click("Add / Edit");
    QCOMPARE(strings->rowCount(), 1);
    QCOMPARE(strings->item(0, 1)->text(), QStringLiteral("Kestrel"));

    harness.click("Enable SN");
    QCOMPARE(page.findChild<QPushButton*>(QStringLiteral("serialNumber"))->text(), QStringLiteral("Disable SN"));
    QCOMPARE(Memory(harness, 0x210, 1), std::vector<std::uint8_t>{3});
    QVERIFY(harness.prompt.messages().empty());
  }

  void theNorFlashPageSavesWhatItLoadedWithItsBarsFull() {
    PageHarness harness(Page::NorFlash);
    CFLASHIIPage& page = harness.page<CFLASHIIPage>();
    std::vector<std::uint8_t> image(8 * 4096);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i >> 3);
    const std::string file = harness.file("flash.bin");
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                static_cast<std::streamsize>(image.size()));
    harness.prompt.answerFile(file);
    harness.click("Load From File");
    QCOMPARE(page.bar(QStringLiteral("loadBar"))->value(), 100);
    harness.prompt.answerFile(harness.file("back"));
    harness.click("Save to File");
    QCOMPARE(page.bar(QStringLiteral("saveBar"))->value(), 100);
    QCOMPARE(page.bar(QStringLiteral("loadBar"))->value(), 0);
    QCOMPARE(FileBytes(harness.file("back.bin")), image);
    QCOMPARE(harness.prompt.messages(), (std::vector<std::string>{"Load Flash Data from File ... OK!",
                                                                 "Save Flash Data to File ... OK!"}));
    harness.field("block")->setText(QStringLiteral("0"));
    harness.click("Erase /  B");
    QCOMPARE(page.bar(QStringLiteral("eraseBar"))->value(), 100);
  }
};

QTEST_MAIN(NvmPagesTest)
#include "nvm_pages_test.moc"
