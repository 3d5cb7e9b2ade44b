#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/device/startup.h"
#include "app/nvm/views/hex_edit.h"
#include "app/registers/views/mac_page.h"
#include "platform/clock/virtual_clock.h"
#include "platform/ioctl/select/device_select.h"
#include "platform/prompt/scripted_prompt.h"

using kqa::nvm::HexColumn;

namespace {

// The MAC page on the emulated chip, in-process, in virtual time.
struct Bench {
  kqa::VirtualClock clock;
  kqa::ScriptedPrompt prompt;
  std::unique_ptr<kqa::ioctl::OpenedDevice> chip;
  std::unique_ptr<kqa::device::DeviceContext> device;
  std::unique_ptr<kqa::shell::PageServices> services;
  std::unique_ptr<CMACPage> page;

  Bench() {
    kqa::ioctl::DeviceChoice choice;
    choice.kind = kqa::ioctl::DeviceChoice::Kind::Emulated;
    std::string error;
    chip = kqa::ioctl::OpenDevice(choice, clock, error);
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

  template <class T>
  T* child(const QString& name) const { return page->findChild<T*>(name); }
  QPushButton* button(const QString& text) const {
    for (QPushButton* each : page->findChildren<QPushButton*>())
      if (each->text() == text) return each;
    return nullptr;
  }
  QRadioButton* radio(const QString& text) const {
    for (QRadioButton* each : page->findChildren<QRadioButton*>())
      if (each->text() == text) return each;
    return nullptr;
  }
  void chooseBank(int index) {
    auto* banks = child<QComboBox>(QStringLiteral("bankList"));
    banks->setCurrentIndex(index);
    emit banks->activated(index);
  }
};

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/kqa-macpage-XXXXXX";
    path_ = ::mkdtemp(pattern);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace

class MacPageTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheSysBankWhenFirstShown() {
    Bench bench;
    QCOMPARE(bench.page->tool().word(0) & 0xFFFF0000u, 0x5EC70000u);
    QCOMPARE(bench.page->hexView().model().length(), std::size_t{512});
    // Little-endian words: the identity reads "00 00 C7 5E" in the dump.
    QCOMPARE(bench.page->hexView().model().data()[3], std::uint8_t{0x5E});
    QVERIFY(bench.prompt.messages().empty());
  }

  void aSingleWriteThenReadThroughTheControls() {
    Bench bench;
    bench.chooseBank(2);  // MAC Register, base 0x1000
    bench.radio(QStringLiteral("&WRITE"))->click();
    auto* offset = bench.child<QLineEdit>(QStringLiteral("singleOffset"));
    auto* value = bench.child<QLineEdit>(QStringLiteral("singleValue"));
    QVERIFY(!value->isReadOnly());
    offset->setText(QStringLiteral("14"));
    value->setText(QStringLiteral("C0FFEE11"));
    bench.button(QStringLiteral("R/W"))->click();

    bench.radio(QStringLiteral("&READ"))->click();
    QVERIFY(value->isReadOnly());
    value->setText(QStringLiteral("00000000"));
    bench.button(QStringLiteral("R/W"))->click();
    QCOMPARE(value->text(), QStringLiteral("C0FFEE11"));

    // The access mode reads the same register by its address.
    bench.radio(QStringLiteral("0x410000"))->click();
    bench.child<QLineEdit>(QStringLiteral("accessOffset"))->setText(QStringLiteral("1014"));
    bench.button(QStringLiteral("R / W"))->click();
    QCOMPARE(bench.child<QLineEdit>(QStringLiteral("accessValue"))->text(),
             QStringLiteral("C0FFEE11"));
    QVERIFY(bench.prompt.messages().empty());

    // A typo is refused with a message and sends nothing.
    bench.radio(QStringLiteral("&WRITE"))->click();
    value->setText(QStringLiteral("C0FFEEZZ"));
    bench.button(QStringLiteral("R/W"))->click();
    QCOMPARE(bench.prompt.messages().size(), std::size_t{1});
    QVERIFY(QString::fromStdString(bench.prompt.messages()[0]).contains(QStringLiteral("C0FFEEZZ")));
    bench.page->onReadAll();
    QCOMPARE(bench.page->tool().word(0x14 / 4), 0xC0FFEE11u);
  }

  void readAllOfEachBank() {
    Bench bench;
    const std::size_t lengths[] = {512, 512, 4096, 8192, 8192, 8192};
    for (int bank = 0; bank < 6; ++bank) {
      bench.chooseBank(bank);
      QCOMPARE(bench.page->hexView().model().length(), lengths[bank]);
      QCOMPARE(bench.page->tool().bankIndex(), std::size_t(bank));
    }
    bench.chooseBank(3);  // program memory: the hole shows 0xEE
    QCOMPARE(bench.page->tool().word((0x3800 - 0x2000) / 4), 0xEEu);
    QCOMPARE(bench.page->tool().word((0x38FC - 0x2000) / 4), 0xEEu);
    QVERIFY(bench.prompt.messages().empty());

    // Program memory is visible only with its bit set: what the page wrote
    // there through the access mode, bracketed by hand, it reads back.
    auto write = [&](const char* address, const char* data) {
      bench.page->findChild<QLineEdit*>(QStringLiteral("accessOffset"))->setText(QLatin1String(address));
      bench.page->findChild<QLineEdit*>(QStringLiteral("accessValue"))->setText(QLatin1String(data));
      bench.button(QStringLiteral("R / W"))->click();
    };
    bench.radio(QStringLiteral("0x410000"))->click();
    bench.radio(QStringLiteral("WRITE"))->click();
    write("400", "10000");
    write("2010", "A5A5A5A5");
    write("400", "0");
    bench.page->onReadAll();
    QCOMPARE(bench.page->tool().word(4), 0xA5A5A5A5u);
  }

  void aDumpReloadsIntoTheChip() {
    Bench bench;
    TempFolder folder;
    bench.chooseBank(4);  // shared memory, plain RAM
    bench.radio(QStringLiteral("0x410000"))->click();
    bench.radio(QStringLiteral("WRITE"))->click();
    bench.child<QLineEdit>(QStringLiteral("accessOffset"))->setText(QStringLiteral("4008"));
    bench.child<QLineEdit>(QStringLiteral("accessValue"))->setText(QStringLiteral("12345678"));
    bench.button(QStringLiteral("R / W"))->click();
    bench.button(QStringLiteral("Read &ALL"))->click();
    QCOMPARE(bench.page->tool().word(2), 0x12345678u);

    bench.prompt.answerFile(folder.file("shared"));
    bench.button(QStringLiteral("Dump Reg"))->click();
    QCOMPARE(bench.prompt.messages().back(), std::string("Dump MAC Registers Done!"));

    bench.child<QLineEdit>(QStringLiteral("accessValue"))->setText(QStringLiteral("0"));
    bench.button(QStringLiteral("R / W"))->click();
    bench.page->onReadAll();
    QCOMPARE(bench.page->tool().word(2), 0u);

    bench.prompt.answerFile(folder.file("shared.txt"));
    bench.button(QStringLiteral("Load File"))->click();
    QCOMPARE(bench.page->tool().word(2), 0x12345678u);  // written, then read again
    QVERIFY(QString::fromStdString(bench.prompt.messages().back())
                .startsWith(QStringLiteral("Wrote 2048 registers from shared.txt")));
  }

  void theExampleScriptAndItsLog() {
    Bench bench;
    TempFolder folder;
    bench.button(QStringLiteral("?"))->click();
    const QStringList example = {"Example :", "BBP 0 12", "BBP 1 23 B5", ";BBP 1 23 A7",
                                 "WAIT 100", "RF 1 0 13 22", ";RF 1 5 35 1E", "RF 1 5 35 20",
                                 "MAC 1 1314 22223333", "WAIT 100"};
    QCOMPARE(bench.page->scriptLog(), example);

    // The example, run as a script: one entry per command, comments silent,
    // each new entry selected as it arrives.
    std::ofstream(folder.file("example.txt")) << example.mid(1).join(QLatin1Char('\n')).toStdString()
                                              << '\n';
    bench.prompt.answerFile(folder.file("example.txt"));
    bench.button(QStringLiteral("Load Script"))->click();
    const QStringList log = bench.page->scriptLog();
    QCOMPARE(log.size(), 7);
    QVERIFY(log[0].startsWith(QStringLiteral("R:\tBBP 12\t= 0x")));
    QCOMPARE(log.mid(1), QStringList({"W:\tBBP 23\t= 0xB5", "Wait:\t100(ms)",
                                      "W:\tRF B0 R13\t= 0x22", "W:\tRF B5 R35\t= 0x20",
                                      "W:\tMAC 0x1314\t= 0x22223333", "Wait:\t100(ms)"}));
    auto* list = bench.child<QListWidget>(QStringLiteral("scriptLog"));
    QCOMPARE(list->currentRow(), 6);
    QCOMPARE(bench.prompt.events().front().dialog.title, std::string("Open Script File"));

    // The script's MAC write reached the chip.
    bench.chooseBank(2);
    QCOMPARE(bench.page->tool().word(0x314 / 4), 0x22223333u);
  }

  void typingInTheHexViewEditsTheDumpedBank() {
    Bench bench;
    TempFolder folder;
    CHexEdit& view = bench.page->hexView();
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.byteRect(8, HexColumn::Hex).center());
    QTest::keyClicks(&view, "a5b6");
    QCOMPARE(bench.page->tool().word(2) & 0xFFFFu, 0xB6A5u);
    bench.prompt.answerFile(folder.file("edited.txt"));
    bench.page->onDumpReg();
    std::ifstream in(folder.file("edited.txt"));
    std::string line;
    for (int i = 0; i < 3; ++i) std::getline(in, line);
    QCOMPARE(QString::fromStdString(line).left(18), QStringLiteral("0x0008      0x0000"));
    QCOMPARE(QString::fromStdString(line).right(4), QStringLiteral("B6A5"));
  }
};

QTEST_MAIN(MacPageTest)
#include "mac_page_test.moc"
