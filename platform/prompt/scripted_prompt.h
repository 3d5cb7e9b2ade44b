#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/prompt/prompt.h"

namespace kqa {

// A Prompt for tests: records everything shown and answers from queues that
// the test fills beforehand. A question with no queued answer is answered
// with Cancel (or a cancelled dialog) and counted, so a test can assert that
// the code asked nothing it did not expect.
class ScriptedPrompt final : public Prompt {
 public:
  enum class Kind { Message, Question, OpenFile, SaveFile };
  struct Event {
    Kind kind;
    std::string text;           // message or question text
    FileDialogOptions dialog;   // for file choices
  };

  void showMessage(std::string_view text) override;
  bool askOkCancel(std::string_view text) override;
  std::optional<std::string> chooseOpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> chooseSaveFile(const FileDialogOptions& options) override;

  // Answers, consumed in order.
  void answerOkCancel(bool ok) { questionAnswers_.push_back(ok); }
  void answerFile(std::optional<std::string> path) { fileAnswers_.push_back(std::move(path)); }

  const std::vector<Event>& events() const { return events_; }
  // Only the message-box texts, in order.
  std::vector<std::string> messages() const;
  int unansweredCount() const { return unanswered_; }
  void clear();

 private:
  std::optional<std::string> nextFile();

  std::vector<Event> events_;
  std::deque<bool> questionAnswers_;
  std::deque<std::optional<std::string>> fileAnswers_;
  int unanswered_ = 0;
};

}  // namespace kqa
