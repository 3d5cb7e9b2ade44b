#include "app/nvm/views/flash_pages.h"

CFLASHPage::CFLASHPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {}
