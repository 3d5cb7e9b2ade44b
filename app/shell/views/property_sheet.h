#pragma once

#include <QDialog>

class QTabWidget;

// The one window of the program: a property sheet with one tab per test
// function.
class CQAPropertySheet : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kCaption = "Kestrel USB V1.0.1.5";

  explicit CQAPropertySheet(QWidget* parent = nullptr);

  QTabWidget* tabs() const { return tabs_; }

 private:
  QTabWidget* tabs_;
};
