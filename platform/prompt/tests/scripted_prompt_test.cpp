#include <gtest/gtest.h>

#include "platform/prompt/scripted_prompt.h"

namespace kqa {
namespace {

TEST(ScriptedPrompt, RecordsEveryPromptAnswersInOrderAndCancelsWhatWasNotScripted) {
  ScriptedPrompt prompt;
  prompt.answerOkCancel(true);
  prompt.answerOkCancel(false);
  prompt.answerFile("/tmp/regs");
  prompt.answerFile(std::nullopt);
  FileDialogOptions options;
  options.title = "Open Script File";
  options.filters = {{"Script Files(*.txt)", "*.txt"}};

  prompt.showMessage("DeviceIoControl read failed!");
  EXPECT_TRUE(prompt.askOkCancel("first?"));
  EXPECT_FALSE(prompt.askOkCancel("second?"));
  EXPECT_EQ(prompt.chooseOpenFile(options), "/tmp/regs");
  EXPECT_EQ(prompt.chooseSaveFile(options), std::nullopt);
  ASSERT_EQ(prompt.events().size(), 5u);
  EXPECT_EQ(prompt.events()[1].kind, ScriptedPrompt::Kind::Question);
  EXPECT_EQ(prompt.events()[2].text, "second?");
  EXPECT_EQ(prompt.events()[3].kind, ScriptedPrompt::Kind::OpenFile);
  EXPECT_EQ(prompt.events()[3].dialog, options);
  EXPECT_EQ(prompt.events()[4].kind, ScriptedPrompt::Kind::SaveFile);
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_EQ(prompt.unansweredCount(), 0);

  EXPECT_FALSE(prompt.askOkCancel("burn the eFuse?"));  // nothing scripted: cancelled, and counted
  EXPECT_EQ(prompt.chooseOpenFile({}), std::nullopt);
  EXPECT_EQ(prompt.unansweredCount(), 2);
}

}  // namespace
}  // namespace kqa
