#pragma once

#include "app/shell/page_services.h"
#include "app/shell/views/page/property_page.h"

// "EEPROM": the configuration memory (external EEPROM, eFuse or image).
class CEEPROMPage : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CEEPROMPage(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};

// "EEPROM2": the USB identity and string descriptors in it.
class CEEPROMPage2 : public kqa::PropertyPage {
  Q_OBJECT

 public:
  explicit CEEPROMPage2(kqa::shell::PageServices& services, QWidget* parent = nullptr);
};
