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
    summary = RunRegisterScript(dialect, script, bed.device, log);
    return log.entries;
  }
  // A script file holding `bytes`, run through the file path.
  ScriptFileRun RunFile(const std::string& bytes) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                       ("kqa-script-file-" + std::to_string(::getpid()) + ".txt");
    std::ofstream(file, std::ios::binary) << bytes;
    ScriptFileRun run = RunRegisterScriptFile(ScriptDialect::Keyword, file.string(), bed.device, log);
    std::filesystem::remove(file);
    return run;
  }

  device::testing::TestBed bed;
  RecordingLog log;
  ScriptSummary summary;
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
                "MAC 0 0x40\n"
                "MAC 0 44\n"),
            (Entries{"W:\tMAC 0x1000\t= 0x00000005\n", "R:\tSYS 0x20\t= 0xABCDEF01\n",
                     "Error:\tline 6: read of MAC 0x40 failed (error 31)\n", "R:\tMAC 0x44\t= 0x00000000\n"}));
  EXPECT_EQ(bed.chip.macWrites(0x1314).size() + bed.chip.macWrites(0x1318).size(), 0u);
  EXPECT_EQ(bed.chip.mac[0x1000], 5u);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_EQ(summary.commands, 3);  // a failed read is no value, and the script goes on
  EXPECT_EQ(summary.failed, 1);
  EXPECT_EQ(summary.unmatched, 2);  // " ;MAC" and PCI; comments are not counted
}

// Every line that would reach some other register than it names, or a
// register it never named, is refused before anything is sent.
TEST_F(RegisterScript, OutOfRangeNegativeAndMissingFieldsSkipTheirLine) {
  bed.chip.clearCalls();
  EXPECT_EQ(Run(ScriptDialect::Keyword,
                "MAC 1\n"
                "BBP 1 300 5A\n"
                "BBP 1 -1 5\n"
                "RF 1 99 13 77\n"
                "RF 1 3 64 1\n"
                "MAC 1 11314 1\n"
                "SYS 0 10234\n"
                "MAC -1 1314 5\n"
                "BBP 1 23\n"
                "WAIT\n"
                "BBP 1 255 1FF\n"),
            (Entries{"Error:\tline 1 skipped: the address is missing\n",
                     "Error:\tline 2 skipped: BBP register must be from 0 to 255, not 300\n",
                     "Error:\tline 3 skipped: BBP register must be from 0 to 255, not -1\n",
                     "Error:\tline 4 skipped: RF bank must be from 0 to 15, not 99\n",
                     "Error:\tline 5 skipped: RF register must be from 0 to 63, not 64\n",
                     "Error:\tline 6 skipped: address must lie in the MAC window 0x0000-0xFFFF, not 0x11314\n",
                     "Error:\tline 7 skipped: address must lie in the SYS window 0x0000-0xFFFF, not 0x10234\n",
                     "Error:\tline 8 skipped: read/write field must be 0 (read) or more (write), not -1\n",
                     "Error:\tline 9 skipped: the value is missing\n",
                     "Error:\tline 10 skipped: the wait time is missing\n",
                     "W:\tBBP 255\t= 0xFF\n"}));
  EXPECT_EQ(summary.skipped, 10);  // and gave no field to the lines after them
  EXPECT_EQ(summary.commands, 1);
  EXPECT_EQ(bed.chip.bbp[255], 0xFF);  // values wider than the register are cut
  for (const auto& call : bed.chip.calls())
    EXPECT_TRUE(call.code != 0x223484 || call.input.at(0) == 0x1C) << "only the BBP command register is written";
}

TEST_F(RegisterScript, ADeviceThatGoesStopsTheScriptAtItsLine) {
  // The log sees the wait before the script sleeps: pull the chip there.
  struct PullAtWait final : ScriptLog {
    device::testing::FakeDevice& chip;
    Entries entries;
    explicit PullAtWait(device::testing::FakeDevice& fake) : chip(fake) {}
    void clear() override {}
    void append(std::string_view entry) override {
      entries.emplace_back(entry);
      if (entry.starts_with("Wait:")) chip.connected = false;
    }
  } pulling(bed.chip);
  std::istringstream script("MAC 1 1314 1\nWAIT 10\nMAC 1 1318 2\nMAC 1 131C 3\n");
  const ScriptSummary result = RunRegisterScript(ScriptDialect::Keyword, script, bed.device, pulling);
  EXPECT_EQ(pulling.entries, (Entries{"W:\tMAC 0x1314\t= 0x00000001\n", "Wait:\t10(ms)\n",
                                      "Error:\tline 3: device not connected (1167)\n"}));
  EXPECT_EQ(result.stoppedAtLine, 3);
  EXPECT_EQ(result.failed, 1);
  EXPECT_TRUE(bed.chip.macWrites(0x131C).empty());
}

TEST_F(RegisterScript, LinesLongerThan254CharactersAreRefusedNotCut) {
  const std::string fits = "MAC 1 1314 5" + std::string(254 - 12, ' ');
  const std::string tooLong = "MAC 1 1318 6" + std::string(255 - 12, ' ');
  EXPECT_EQ(Run(ScriptDialect::Keyword, fits + "\r\n" + tooLong + "\n"),
            (Entries{"W:\tMAC 0x1314\t= 0x00000005\n", "Error:\tline 2 skipped: longer than 254 characters\n"}));
  EXPECT_TRUE(bed.chip.macWrites(0x1318).empty());
}

TEST_F(RegisterScript, FilesThatAreNotTextAreRefusedAndAByteOrderMarkIsSkipped) {
  ScriptFileRun run = RunFile("\xEF\xBB\xBF" "BBP 1 3 7\n");
  EXPECT_TRUE(run.ran);
  EXPECT_EQ(log.entries, Entries{"W:\tBBP 3\t= 0x07\n"});

  log.entries = {"kept\n"};
  run = RunFile(std::string("\xFF\xFE" "B\0B\0P\0", 8));
  EXPECT_FALSE(run.ran);
  EXPECT_NE(run.problem.find("is UTF-16 text"), std::string::npos) << run.problem;
  run = RunFile(std::string("MAC 1 1314 5\n\x01\x9C\xE2\x00\x17", 18));
  EXPECT_FALSE(run.ran);
  EXPECT_NE(run.problem.find("is not a text file (byte 0x01 at offset 13)"), std::string::npos) << run.problem;
  run = RunRegisterScriptFile(ScriptDialect::Keyword, std::filesystem::temp_directory_path().string(), bed.device, log);
  EXPECT_FALSE(run.ran);
  EXPECT_NE(run.problem.find("is a folder"), std::string::npos) << run.problem;
  run = RunRegisterScriptFile(ScriptDialect::Keyword, "/dev/zero", bed.device, log);  // never ends
  EXPECT_FALSE(run.ran);
  EXPECT_NE(run.problem.find("is not a file (a device or a pipe)"), std::string::npos) << run.problem;
  EXPECT_EQ(log.entries, Entries{"kept\n"});
  EXPECT_TRUE(bed.chip.macWrites(0x1314).empty());

  // The page names a file that is no script, and passes over one it cannot open.
  const std::filesystem::path binary = std::filesystem::temp_directory_path() /
                                       ("kqa-binary-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(binary, std::ios::binary) << std::string("\0\0", 2);
  bed.prompt.answerFile(binary.string());
  EXPECT_EQ(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log),
            page::Outcome::Failed);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{binary.string() +
                                                             " is not a text file (byte 0x00 at offset 0): nothing was run"});
  std::filesystem::remove(binary);
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
  EXPECT_EQ(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log),
            page::Outcome::Cancelled);
  bed.prompt.answerFile("/nonexistent/folder/script.txt");
  EXPECT_EQ(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log),
            page::Outcome::Failed);
  EXPECT_EQ(log.entries, Entries{"kept\n"});
  EXPECT_EQ(bed.prompt.events().at(0).dialog.initialFolder, ProgramFolder());

  // A name without a dot gets ".txt".
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("kqa-script-" + std::to_string(::getpid()) + ".txt");
  std::ofstream(file) << "BBP 1 3 7\n";
  bed.prompt.answerFile((file.parent_path() / file.stem()).string());
  EXPECT_EQ(ChooseAndRunRegisterScript(ScriptDialect::Keyword, bed.device, log),
            page::Outcome::Done);
  EXPECT_EQ(log.entries, Entries{"W:\tBBP 3\t= 0x07\n"});
  EXPECT_EQ(log.clears, 1);
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace kqa
