#include "app/shell/views/tools/register_page_shots.h"

#include <QLineEdit>
#include <cstdio>
#include <fstream>
#include <string>

#include "app/registers/views/bbp_pages.h"
#include "app/registers/views/rf_pages.h"
#include "app/shell/views/property_sheet.h"
#include "platform/prompt/scripted_prompt.h"

using kqa::shell::Page;

namespace {

// A baseband set-up as a bring-up script leaves it (BBP dialect: rw reg value).
constexpr const char* kBbpScript =
    "1 1 40\n1 3 08\n1 4 40\n1 21 01\n1 31 08\n1 62 37\n1 63 37\n1 64 37\n1 65 2C\n"
    "1 66 1C\n1 68 0B\n1 69 12\n1 70 0A\n1 73 10\n1 77 59\n1 81 37\n1 82 62\n1 83 6A\n"
    "1 84 99\n1 91 04\n1 103 C0\n1 105 05\n1 106 35\n1 120 5A\n1 126 12\n1 135 F6\n"
    "1 138 1B\n1 142 04\n1 150 1E\n1 152 80\n1 160 2F\n1 195 0A\n1 196 45\n1 250 44\n0 66\n";

// RF bank 0 tuned to channel 6 with the factory's crystal trim, and some of
// banks 0 and 4 (RF dialect: rw bank reg value).
constexpr const char* kRfScript =
    "1 0 1 3F\n1 0 2 80\n1 0 3 0C\n1 0 5 21\n1 0 6 42\n1 0 7 8C\n1 0 12 24\n1 0 17 EC\n"
    "1 0 18 EE\n1 0 19 00\n1 0 20 51\n1 0 22 05\n1 0 24 12\n1 0 30 A0\n1 0 33 5C\n"
    "1 0 36 71\n1 0 40 0F\n1 0 45 C4\n1 0 51 10\n1 0 60 33\n1 4 17 3C\n0 0 20\n";

std::string WriteScript(const char* name, const char* text) {
  const std::string path = QDir::temp().filePath(QLatin1String(name)).toStdString();
  std::ofstream(path) << text;
  return path;
}

}  // namespace

void ShootRegisterPages(CQAPropertySheet& sheet, kqa::ScriptedPrompt& prompt, const QDir& folder,
                        const std::function<void(QWidget&, const QString&)>& save) {
  sheet.setActivePage(Page::Bbp1);
  auto& bbp = static_cast<CBBPPage&>(sheet.page(Page::Bbp1));
  const std::string bbpScript = WriteScript("kestrelqa-bbp-shot.txt", kBbpScript);
  prompt.answerFile(bbpScript);
  bbp.onLoadScript();
  std::remove(bbpScript.c_str());
  save(sheet, folder.filePath(QStringLiteral("screenshot-bbp-page-1.png")));
  sheet.setActivePage(Page::Bbp2);
  save(sheet, folder.filePath(QStringLiteral("screenshot-bbp-page-2.png")));
  sheet.setActivePage(Page::Bbp3);
  save(sheet, folder.filePath(QStringLiteral("screenshot-bbp-page-3.png")));

  sheet.setActivePage(Page::Rf1);
  auto& rf = static_cast<CRFPage&>(sheet.page(Page::Rf1));
  const std::string rfScript = WriteScript("kestrelqa-rf-shot.txt", kRfScript);
  prompt.answerFile(rfScript);
  rf.onLoadScript();
  std::remove(rfScript.c_str());
  rf.onChannelChosen(5);
  // TX power 0 and the frequency offset set through their spins.
  rf.findChild<QLineEdit*>(QStringLiteral("txPower0"))->setText(QStringLiteral("1F"));
  rf.onTxPowerStep(0, +1);
  rf.findChild<QLineEdit*>(QStringLiteral("txPower1"))->setText(QStringLiteral("1D"));
  rf.onTxPowerStep(1, +1);
  rf.findChild<QLineEdit*>(QStringLiteral("frequencyOffset"))->setText(QStringLiteral("023"));
  rf.onFrequencyOffsetStep(+1);
  save(sheet, folder.filePath(QStringLiteral("screenshot-rf-page-1.png")));
  sheet.setActivePage(Page::Rf2);
  save(sheet, folder.filePath(QStringLiteral("screenshot-rf-page-2.png")));
}
