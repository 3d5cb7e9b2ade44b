#pragma once

#include <QLabel>
#include <array>

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "USB Config": the chip's USB device descriptor as the driver read it. Each
// showing of the page reads it again (ReadUsbConfiguration) and keeps the
// product id in the context for the other pages.
class CUSBConfigPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CUSBConfigPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);

  // The page's data exchange.
  void refresh();

 protected:
  void onInitDialog() override { refresh(); }
  void onSetActive() override { refresh(); }

 private:
  kqa::shell::PageServices& services_;
  std::array<QLabel*, 7> values_{};
};
