#pragma once

#include <QString>
#include <QWidget>

#include "app/shell/sheet_operations.h"

namespace kqa {

// The base of every page of the property sheet. A page is created with the
// sheet but builds nothing that touches the device until it is first shown:
// onInitDialog() runs once, on the first activation, and onSetActive() on
// every activation after it. hasWindow() tells the sheet's cross-page
// operations whether the page has been shown yet.
class PropertyPage : public QWidget {
  Q_OBJECT

 public:
  explicit PropertyPage(const QString& caption, QWidget* parent = nullptr);

  bool hasWindow() const { return initialised_; }

  // The sheet calls this when the page's tab becomes the current one.
  void activate();

  void setSheet(shell::SheetOperations* sheet) { sheet_ = sheet; }

 protected:
  virtual void onInitDialog() {}
  virtual void onSetActive() {}

  shell::SheetOperations* sheet() const { return sheet_; }

  // For pages whose own functions come in a later version: one honest line
  // saying what the page will do.
  void showLaterVersionNotice(const QString& functions);

 private:
  bool initialised_ = false;
  shell::SheetOperations* sheet_ = nullptr;
};

}  // namespace kqa
