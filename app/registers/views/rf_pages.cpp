#include "app/registers/views/rf_pages.h"

CRFPage::CRFPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("RF registers in banks, the channel settings, RF register files "
         "and RF scripts."));
}

CRFPage2::CRFPage2(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(tr("Further RF register tools."));
}
