#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/prompt/file_dialog.h"

namespace kqa {

// The only way page logic reaches the user. Views implement it with real
// message boxes and file dialogs; tests implement it with a script of
// answers. Every call is modal: it returns when the user has answered.
class Prompt {
 public:
  virtual ~Prompt() = default;

  // A message box with one OK button and the given fixed text.
  virtual void showMessage(std::string_view text) = 0;

  // An OK/Cancel question; true when the user chose OK.
  virtual bool askOkCancel(std::string_view text) = 0;

  // File choices; nullopt when the user cancelled. The path comes back as the
  // user gave it: the caller applies its own extension rule (see
  // AppendExtensionIfNoDot), because pages differ in that rule.
  virtual std::optional<std::string> chooseOpenFile(const FileDialogOptions& options) = 0;
  virtual std::optional<std::string> chooseSaveFile(const FileDialogOptions& options) = 0;
};

}  // namespace kqa
