#include "app/txrx/views/usb_config_page.h"

CUSBConfigPage::CUSBConfigPage(kqa::shell::PageServices&, QWidget* parent) : PropertyPage(parent) {
  showLaterVersionNotice(
      tr("USB configuration of the chip: descriptors, configuration and "
         "pipe settings."));
}
