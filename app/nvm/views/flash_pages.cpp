#include "app/nvm/views/flash_pages.h"

CFLASHPage::CFLASHPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {}

CFLASHIIPage::CFLASHIIPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("Erasing, programming and reading back the NOR flash, and "
         "flash images."));
}
