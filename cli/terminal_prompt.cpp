#include "cli/terminal_prompt.h"

#include <string>

namespace kqa::cli {

void TerminalPrompt::showMessage(std::string_view text) {
  messages_.emplace_back(text);
  err_ << text << '\n';
  err_.flush();
}

bool TerminalPrompt::askOkCancel(std::string_view text) {
  if (assumeYes_) {
    err_ << text << " [confirmed by --yes]\n";
    return true;
  }
  if (!interactive_) {
    err_ << text << "\nRefused: there is no terminal to answer on; pass --yes to confirm.\n";
    return false;
  }
  err_ << text << " [y/N] ";
  err_.flush();
  std::string answer;
  if (!std::getline(in_, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

std::optional<std::string> TerminalPrompt::chooseOpenFile(const FileDialogOptions& options) {
  err_ << options.title << ": no file dialog here; name the file on the command line.\n";
  return std::nullopt;
}

std::optional<std::string> TerminalPrompt::chooseSaveFile(const FileDialogOptions& options) {
  return chooseOpenFile(options);
}

}  // namespace kqa::cli
