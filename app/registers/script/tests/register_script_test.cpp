#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "app/device/tests/fake_device.h"
#include "app/registers/script/register_script.h"

namespace kqa {
namespace {

using namespace std::chrono_literals;
using Entries = std::vector<std::string>;

class RecordingLog final : public ScriptLog {
 public:
  void clear() override {
    entries.clear();
    ++clears;
  }
  void append(std::string_view entry) override { entries.emplace_back(entry); }

  Entries entries;
  int clears = 0;
};

class RegisterScript : public ::testing::Test {
 protected:
  Entries Run(ScriptDialect dialect, const std::string& text) {
    std::istringstream script(text);
    RunRegisterScript(dialect, script, bed.device, log);
    return log.entries;
  }

  device::testing::TestBed bed;
  RecordingLog log;
};

TEST_F(RegisterScript, TheExampleRunsAsDocumented) {
  bed.chip.bbp[12] = 0x4E;
  std::string text;
  for (const std::string& line : RegisterScriptExample()) text += line;
  EXPECT_EQ(Run(ScriptDialect::Keyword, text),
            (Entries{"R:\tBBP 12\t= 0x4E\n", "W:\tBBP 23\t= 0xB5\n", "Wait:\t100(ms)\n",
                     "W:\tRF B0 R13\t= 0x22\n", "W:\tRF B5 R35\t= 0x20\n",
                     "W:\tMAC 0x1314\t= 0x22223333\n", "Wait:\t100(ms)\n"}));
  EXPECT_EQ(bed.chip.bbp[23], 0xB5);
  EXPECT_EQ(bed.chip.rf[0][13], 0x22);
  EXPECT_EQ(bed.chip.rf[5][35], 0x20);
  EXPECT_EQ(bed.chip.mac[0x1314], 0x22223333u);
  EXPECT_EQ(bed.clock.totalSlept(), 200ms);

  ShowRegisterScriptExample(log);
  EXPECT_EQ(log.entries.front(), "Example :\n");
  EXPECT_EQ(log.entries.size(), 10u);
}

TEST_F(RegisterScript, KeywordsIgnoreCaseCommentsAndUnknownWords) {
  bed.chip.sys[0x20] = 0xABCDEF01;
  bed.chip.failingMacReads = {0x40};
  EXPECT_EQ(Run(ScriptDialect::Keyword,
                ";MAC 1 1314 0\n"
                " ;MAC 1 1318 0\n"
                "PCI 1 0 0\n"
                "mac 2 1000 5\n"
                "Sys 0 20\n"
                "MAC 0 0x40\n"),
            (Entries{"W:\tMAC 0x1000\t= 0x00000005\n", "R:\tSYS 0x20\t= 0xABCDEF01\n",
                     "R:\tMAC 0x40\t= 0xFFFFFFFF\n"}));
  EXPECT_EQ(bed.chip.macWrites(0x1314).size() + bed.chip.macWrites(0x1318).size(), 0u);
  EXPECT_EQ(bed.chip.mac[0x1000], 5u);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
}

TEST_F(RegisterScript, MissingFieldsCarryOverButBlankLinesAndTyposRunNothing) {
  EXPECT_EQ(Run(ScriptDialect::Keyword,
                "MAC 1 1314 5\n"
                "MAC 1 1318\n"
                "\n"
                "   \t\r\n"
                "MAC 1 131C 2222G333\n"
                "WAIT -5\n"),
            (Entries{"W:\tMAC 0x1314\t= 0x00000005\n", "W:\tMAC 0x1318\t= 0x00000005\n",
                     "Error:\tline 5 skipped: \"2222G333\" is not a valid hexadecimal number\n",
                     "Error:\tline 6 skipped: -5 is not a valid wait time\n"}));
  EXPECT_EQ(bed.chip.macWrites(0x1318).size(), 1u);
  EXPECT_TRUE(bed.chip.macWrites(0x131C).empty());
  EXPECT_EQ(bed.clock.sleepCount(), 0u);
}

TEST_F(RegisterScript, BbpAndRfDialectsHaveNoKeywordsAndTheirOwnLogLines) {
  bed.chip.bbp[5] = 0x17;
  EXPECT_EQ(Run(ScriptDialect::Bbp, "0 5\n1 23 1B5\n;0 5\n"),
            (Entries{"R: BBP R5 = 0x17\n", "W: BBP R23 = 0xB5\n",
                     "Error:\tline 3 skipped: \";0\" is not a valid decimal number\n"}));
  log.entries.clear();
  bed.chip.rf[2][7] = 0x99;
  EXPECT_EQ(Run(ScriptDialect::Rf, "1 5 35 20\n0 2 7\n"),
            (Entries{"W:\tBank05, RF R35\t= 0x20\n", "R:\tBank02, RF R7\t= 0x99\n"}));
  EXPECT_EQ(bed.chip.rf[5][35], 0x20);
}

TEST_F(RegisterScript, TheDialogOpensInTheProgramFolderAndCancelRunsNothing) {
  log.entries = {"kept\n"};
  bed.prompt.answerFile(std::nullopt);
  EXPECT_FALSE(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log));
  bed.prompt.answerFile("/nonexistent/folder/script.txt");
  EXPECT_FALSE(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log));
  EXPECT_EQ(log.entries, Entries{"kept\n"});
  EXPECT_EQ(bed.prompt.events().at(0).dialog.initialFolder, ProgramFolder());

  // A name without a dot gets ".txt".
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("kqa-script-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(file) << "BBP 1 3 7\n";
  bed.prompt.answerFile((file.parent_path() / file.stem()).string());
  EXPECT_TRUE(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log));
  EXPECT_EQ(log.entries, Entries{"W:\tBBP 3\t= 0x07\n"});
  EXPECT_EQ(log.clears, 1);
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace kqa
