#include <gtest/gtest.h>

#include "platform/prompt/scripted_prompt.h"

namespace kqa {
namespace {

TEST(ScriptedPrompt, RecordsMessagesAndAnswersQuestionsInOrder) {
  ScriptedPrompt prompt;
  prompt.answerOkCancel(true);
  prompt.answerOkCancel(false);

  prompt.showMessage("DeviceIoControl read failed!");
  EXPECT_TRUE(prompt.askOkCancel("first?"));
  EXPECT_FALSE(prompt.askOkCancel("second?"));

  ASSERT_EQ(prompt.events().size(), 3u);
  EXPECT_EQ(prompt.events()[1].kind, ScriptedPrompt::Kind::Question);
  EXPECT_EQ(prompt.events()[2].text, "second?");
  EXPECT_EQ(prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_EQ(prompt.unansweredCount(), 0);
}

TEST(ScriptedPrompt, UnscriptedQuestionsCancelAndAreCounted) {
  ScriptedPrompt prompt;
  EXPECT_FALSE(prompt.askOkCancel("burn the eFuse?"));
  EXPECT_EQ(prompt.chooseOpenFile({}), std::nullopt);
  EXPECT_EQ(prompt.unansweredCount(), 2);
}

TEST(ScriptedPrompt, FileDialogsKeepTheirOptionsAndAnswer) {
  ScriptedPrompt prompt;
  prompt.answerFile("/tmp/regs");
  prompt.answerFile(std::nullopt);

  FileDialogOptions options;
  options.title = "Open Script File";
  options.filters = {{"Script Files(*.txt)", "*.txt"}};
  EXPECT_EQ(prompt.chooseOpenFile(options), "/tmp/regs");
  EXPECT_EQ(prompt.chooseSaveFile(options), std::nullopt);

  ASSERT_EQ(prompt.events().size(), 2u);
  EXPECT_EQ(prompt.events()[0].kind, ScriptedPrompt::Kind::OpenFile);
  EXPECT_EQ(prompt.events()[0].dialog, options);
  EXPECT_EQ(prompt.events()[1].kind, ScriptedPrompt::Kind::SaveFile);
  EXPECT_EQ(prompt.unansweredCount(), 0);
}

}  // namespace
}  // namespace kqa
