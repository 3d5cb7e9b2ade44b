#include "app/nvm/views/flash_pages.h"

CFLASHPage::CFLASHPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(tr("NAND-Flash"), parent) {}

CFLASHIIPage::CFLASHIIPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(tr("NOR-Flash"), parent) {
  showLaterVersionNotice(tr("Erasing, programming and reading back the NOR flash, and "
                            "flash images."));
}
