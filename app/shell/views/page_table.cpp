#include "app/shell/views/page_table.h"

#include <array>

#include "app/measure/views/measure_pages.h"
#include "app/nvm/views/eeprom_page.h"
#include "app/nvm/views/eeprom_page2.h"
#include "app/nvm/views/flash_pages.h"
#include "app/nvm/views/nor_flash_page.h"
#include "app/registers/views/bbp_pages.h"
#include "app/registers/views/mac_page.h"
#include "app/registers/views/rf_pages.h"
#include "app/shell/views/about_page.h"
#include "app/shell/views/page/qt_text.h"
#include "app/sniffer/views/sniffer_page.h"
#include "app/txrx/views/txrx_page.h"
#include "app/txrx/views/usb_config_page.h"

namespace kqa::shell {
namespace {

template <class Widget>
std::unique_ptr<PropertyPage> Make(PageServices& services) {
  return std::make_unique<Widget>(services);
}

constexpr Presence kGoverned = Presence::Governed;
constexpr Presence kFree = Presence::Free;

// RF Page 2 and the optional measurement pages are left alone by the
// presence check; the NAND flash page is built but never shown.
constexpr std::array kPages = {
    PageRow{Page::UsbConfig, "USB Config", kGoverned, 0, &Make<CUSBConfigPage>},
    PageRow{Page::TxRx, "TX/RX", kGoverned, 0, &Make<CTXRXPage>},
    PageRow{Page::PapdTest, "PAPD Test Page", kFree, 'p', &Make<CPAPDTESTPage>},
    PageRow{Page::IqCalibration, "IQ Cal", kFree, 'i', &Make<CIQCalibrationPage>},
    PageRow{Page::Mac, "MAC", kGoverned, 0, &Make<CMACPage>},
    PageRow{Page::Bbp1, "BBP Page 1", kGoverned, 0, &Make<CBBPPage>},
    PageRow{Page::Bbp2, "BBP Page 2", kGoverned, 0, &Make<CBBPPage2>},
    PageRow{Page::Bbp3, "BBP Page 3", kGoverned, 0, &Make<CBBPPage3>},
    PageRow{Page::Rf1, "RF Page 1", kGoverned, 0, &Make<CRFPage>},
    PageRow{Page::Rf2, "RF Page 2", kFree, 0, &Make<CRFPage2>},
    PageRow{Page::Eeprom, "EEPROM", kGoverned, 0, &Make<CEEPROMPage>},
    PageRow{Page::Eeprom2, "EEPROM2", kGoverned, 0, &Make<CEEPROMPage2>},
    PageRow{Page::NandFlash, "NAND-Flash", kFree, '-', &Make<CFLASHPage>},
    PageRow{Page::NorFlash, "NOR-Flash", kGoverned, 0, &Make<CFLASHIIPage>},
    PageRow{Page::Sniffer, "Sniffer", kGoverned, 0, &Make<CSnifferPage>},
    PageRow{Page::NoiseLevel, "Noise Level", kFree, 'f', &Make<CNoiseLevelPage>},
    PageRow{Page::FftGraph, "FFT Graph", kFree, 'f', &Make<CFftGraphPage>},
    PageRow{Page::About, "About", kGoverned, 0, &Make<CAboutPage>},
};

}  // namespace

std::span<const PageRow> PageTable() {
  return kPages;
}

const PageRow* FindPage(std::span<const PageRow> table, Page id) {
  for (const PageRow& row : table)
    if (row.id == id) return &row;
  return nullptr;
}

bool IsShown(const PageRow& row, const PageFlags& flags) {
  switch (row.letter) {
    case 0:
      return true;
    case 'f':
      return flags.fftPages;
    case 'p':
      return flags.papdPage;
    case 'i':
      return flags.iqCalPage;
    default:
      return false;
  }
}

std::vector<Page> SheetTabs(const PageFlags& flags, std::span<const PageRow> table) {
  std::vector<Page> tabs;
  for (const PageRow& row : table)
    if (IsShown(row, flags)) tabs.push_back(row.id);
  return tabs;
}

std::unique_ptr<PropertyPage> MakePage(const PageRow& row, PageServices& services) {
  std::unique_ptr<PropertyPage> page = row.make(services);
  page->setWindowTitle(ToQString(row.caption));
  return page;
}

}  // namespace kqa::shell
