#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include "platform/prompt/prompt.h"

namespace kqa {

// The Prompt of the window program: modal QMessageBox and QFileDialog over a
// parent widget, captioned with the application's display name.
//
// Threads: the capture worker reaches it through the device layer's failure
// messages. A message from any other thread than the window's is queued to
// the window's thread and shown there (the caller goes on); a question or a
// file choice from another thread is answered Cancel.
class QtPrompt final : public Prompt {
 public:
  explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}

  void setParent(QWidget* parent) { parent_ = parent; }

  void showMessage(std::string_view text) override;
  bool askOkCancel(std::string_view text) override;
  std::optional<std::string> chooseOpenFile(const FileDialogOptions& options) override;
  std::optional<std::string> chooseSaveFile(const FileDialogOptions& options) override;

  // "Script Files(*.txt) (*.txt);;..." as QFileDialog wants it. A text that
  // already ends with its pattern in brackets is used as it stands.
  static QString QtFilterString(const std::vector<FileFilter>& filters);

 private:
  std::optional<std::string> chooseFile(const FileDialogOptions& options, bool save);

  QPointer<QWidget> parent_;
};

}  // namespace kqa
