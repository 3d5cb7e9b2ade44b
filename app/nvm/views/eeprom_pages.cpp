#include "app/nvm/views/eeprom_pages.h"

CEEPROMPage::CEEPROMPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("Reading, editing, saving and programming the configuration "
         "memory: external EEPROM, eFuse or the eeprom.bin image."));
}

CEEPROMPage2::CEEPROMPage2(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("The USB identity and string descriptors kept in the "
         "configuration memory."));
}
