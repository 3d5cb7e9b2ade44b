#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/prompt/prompt.h"

namespace kqa::cli {

// The prompt of the command-line tool: messages go to standard error;
// questions are answered on the terminal, confirmed by --yes, or refused
// when there is neither. There are no file dialogs: files come from the
// command line.
class TerminalPrompt final : public Prompt {
 public:
  TerminalPrompt(std::istream& in, std::ostream& err, bool interactive, bool assumeYes)
      : in_(in), err_(err), interactive_(interactive), assumeYes_(assumeYes) {}

  void showMessage(std::string_view text) override;
  bool askOkCancel(std::string_view text) override;
  std::optional<std::string> chooseOpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> chooseSaveFile(const FileDialogOptions& options) override;

  // Messages shown so far: each one reports something that went wrong.
  int messageCount() const { return static_cast<int>(messages_.size()); }
  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::istream& in_;
  std::ostream& err_;
  bool interactive_;
  bool assumeYes_;
  std::vector<std::string> messages_;
};

}  // namespace kqa::cli
