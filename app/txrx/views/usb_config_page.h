#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "USB Config": the chip's USB configuration.
class CUSBConfigPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CUSBConfigPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
