#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "NAND-Flash": constructed with the sheet but never shown.
class CFLASHPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CFLASHPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
