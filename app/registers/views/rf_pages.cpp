#include "app/registers/views/rf_pages.h"

CRFPage::CRFPage(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(tr("RF Page 1"), parent) {
  showLaterVersionNotice(tr("RF registers in banks, the channel settings, RF register files "
                            "and RF scripts."));
}

void CRFPage::SyncChannelSelection(int) {}
void CRFPage::ShowChipInfo() {}

CRFPage2::CRFPage2(kqa::shell::PageServices&, QWidget* parent)
    : PropertyPage(tr("RF Page 2"), parent) {
  showLaterVersionNotice(tr("Further RF register tools."));
}
