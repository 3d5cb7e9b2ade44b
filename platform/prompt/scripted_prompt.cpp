#include "platform/prompt/scripted_prompt.h"

namespace kqa {

void ScriptedPrompt::showMessage(std::string_view text) {
  events_.push_back({Kind::Message, std::string(text), {}});
}

bool ScriptedPrompt::askOkCancel(std::string_view text) {
  events_.push_back({Kind::Question, std::string(text), {}});
  if (questionAnswers_.empty()) {
    ++unanswered_;
    return false;
  }
  const bool ok = questionAnswers_.front();
  questionAnswers_.pop_front();
  return ok;
}

std::optional<std::string> ScriptedPrompt::chooseOpenFile(const FileDialogOptions& options) {
  events_.push_back({Kind::OpenFile, {}, options});
  return nextFile();
}

std::optional<std::string> ScriptedPrompt::chooseSaveFile(const FileDialogOptions& options) {
  events_.push_back({Kind::SaveFile, {}, options});
  return nextFile();
}

std::optional<std::string> ScriptedPrompt::nextFile() {
  if (fileAnswers_.empty()) {
    ++unanswered_;
    return std::nullopt;
  }
  std::optional<std::string> path = std::move(fileAnswers_.front());
  fileAnswers_.pop_front();
  return path;
}

std::vector<std::string> ScriptedPrompt::messages() const {
  std::vector<std::string> texts;
  for (const Event& event : events_)
    if (event.kind == Kind::Message) texts.push_back(event.text);
  return texts;
}

void ScriptedPrompt::clear() {
  events_.clear();
  questionAnswers_.clear();
  fileAnswers_.clear();
  unanswered_ = 0;
}

}  // namespace kqa
