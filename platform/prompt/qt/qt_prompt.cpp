#include "platform/prompt/qt/qt_prompt.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QThread>

namespace kqa {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Caption() {
  const QString name = QApplication::applicationDisplayName();
  return name.isEmpty() ? QStringLiteral("kestrelqa") : name;
}

bool OnGuiThread() {
  return QCoreApplication::instance() != nullptr &&
         QThread::currentThread() == QCoreApplication::instance()->thread();
}

}  // namespace

void QtPrompt::showMessage(std::string_view text) {
  if (!OnGuiThread()) {
    // From the capture worker: the box opens on the window's thread once its
    // event loop gets there; the worker does not wait for the user.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [parent = parent_, message = ToQString(text)] {
          QMessageBox box(QMessageBox::NoIcon, Caption(), message, QMessageBox::Ok, parent);
          box.exec();
        },
        Qt::QueuedConnection);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, Caption(), ToQString(text), QMessageBox::Ok, parent_);
  box.exec();
}

bool QtPrompt::askOkCancel(std::string_view text) {
  if (!OnGuiThread()) return false;  // nothing off the window's thread asks
  QMessageBox box(QMessageBox::Question, Caption(), ToQString(text),
                  QMessageBox::Ok | QMessageBox::Cancel, parent_);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

std::optional<std::string> QtPrompt::chooseOpenFile(const FileDialogOptions& options) {
  return chooseFile(options, /*save=*/false);
}

std::optional<std::string> QtPrompt::chooseSaveFile(const FileDialogOptions& options) {
  return chooseFile(options, /*save=*/true);
}

std::optional<std::string> QtPrompt::chooseFile(const FileDialogOptions& options, bool save) {
  if (!OnGuiThread()) return std::nullopt;
  QFileDialog dialog(parent_, ToQString(options.title));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilter(QtFilterString(options.filters));
  // The caller applies the extension rule itself, so the dialog must not.
  dialog.setDefaultSuffix(QString());
  if (!options.initialFolder.empty()) dialog.setDirectory(ToQString(options.initialFolder));
  if (!options.initialName.empty()) dialog.selectFile(ToQString(options.initialName));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(files.front()).toStdString();
}

QString QtPrompt::QtFilterString(const std::vector<FileFilter>& filters) {
  QStringList entries;
  for (const FileFilter& filter : filters) {
    QString patterns = ToQString(filter.pattern);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString text = ToQString(filter.text).trimmed();
    if (text.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
      entries << text;
    else
      entries << text + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
}

}  // namespace kqa
