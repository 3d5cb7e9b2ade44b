#include <gtest/gtest.h>

#include <filesystem>

#include "platform/prompt/file_dialog.h"

namespace kqa {
namespace {

TEST(ParseFilterList, ReadsTextPatternPairsUpToTheClosingBarsIfAny) {
  EXPECT_EQ(ParseFilterList("MAC Register File (*.mac)|*.mac||"),
            (std::vector<FileFilter>{{"MAC Register File (*.mac)", "*.mac"}}));
  EXPECT_EQ(ParseFilterList("Bin(*.bin)|*.bin|All(*.*)|*.*||"),
            (std::vector<FileFilter>{{"Bin(*.bin)", "*.bin"}, {"All(*.*)", "*.*"}}));
  // A missing terminator is tolerated, dangling text dropped.
  EXPECT_EQ(ParseFilterList("Dump Files(*.txt)|*.txt"),
            (std::vector<FileFilter>{{"Dump Files(*.txt)", "*.txt"}}));
  EXPECT_TRUE(ParseFilterList("").empty());
  EXPECT_TRUE(ParseFilterList("Only text").empty());
}

TEST(AppendExtensionIfNoDot, AppendsOnlyWhenThePathHasNoDotAtAll) {
  EXPECT_EQ(AppendExtensionIfNoDot("regs", "mac"), "regs.mac");
  EXPECT_EQ(AppendExtensionIfNoDot("regs.txt.bak", "txt"), "regs.txt.bak");
  // A dot anywhere in the path counts.
  EXPECT_EQ(AppendExtensionIfNoDot("./regs", "mac"), "./regs");
  EXPECT_EQ(AppendExtensionIfNoDot("regs", ""), "regs");
}

TEST(ProgramFolder, IsTheFolderOfTheRunningExecutable) {
  const std::filesystem::path folder = ProgramFolder();
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_TRUE(std::filesystem::exists(folder / "prompt_test"));
}

}  // namespace
}  // namespace kqa
