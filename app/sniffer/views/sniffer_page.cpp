#include "app/sniffer/views/sniffer_page.h"

CSnifferPage::CSnifferPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(tr("Capture of 802.11 frames, their decoding, and packet files."));
}
