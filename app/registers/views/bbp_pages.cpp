#include "app/registers/views/bbp_pages.h"

CBBPPage::CBBPPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("Baseband (BBP) registers: all 256 at a glance, single reads "
         "and writes, register files and BBP scripts."));
}

CBBPPage2::CBBPPage2(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(tr("Baseband (BBP) register sets and tables."));
}

CBBPPage3::CBBPPage3(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(tr("Further baseband (BBP) register tools."));
}
