#include "app/shell/sheet_layout.h"

#include <array>

namespace kqa::shell {

std::string_view TabCaption(Page page) {
  switch (page) {
    case Page::UsbConfig: return "USB Config";
    case Page::TxRx: return "TX/RX";
    case Page::Mac: return "MAC";
    case Page::Bbp1: return "BBP Page 1";
    case Page::Bbp2: return "BBP Page 2";
    case Page::Bbp3: return "BBP Page 3";
    case Page::Rf1: return "RF Page 1";
    case Page::Rf2: return "RF Page 2";
    case Page::Eeprom: return "EEPROM";
    case Page::Eeprom2: return "EEPROM2";
    case Page::NandFlash: return "NAND-Flash";
    case Page::NorFlash: return "NOR-Flash";
    case Page::Sniffer: return "Sniffer";
    case Page::About: return "About";
    case Page::NoiseLevel: return "Noise Level";
    case Page::FftGraph: return "FFT Graph";
    case Page::PapdTest: return "PAPD Test Page";
    case Page::IqCalibration: return "IQ Cal";
  }
  return {};
}

std::vector<Page> SheetTabs(const PageFlags& flags) {
  std::vector<Page> tabs = {Page::UsbConfig, Page::TxRx};
  if (flags.papdPage) tabs.push_back(Page::PapdTest);
  if (flags.iqCalPage) tabs.push_back(Page::IqCalibration);
  for (Page page : {Page::Mac, Page::Bbp1, Page::Bbp2, Page::Bbp3, Page::Rf1, Page::Rf2,
                    Page::Eeprom, Page::Eeprom2, Page::NorFlash, Page::Sniffer})
    tabs.push_back(page);
  if (flags.fftPages) {
    tabs.push_back(Page::NoiseLevel);
    tabs.push_back(Page::FftGraph);
  }
  tabs.push_back(Page::About);
  return tabs;
}

std::span<const Page> PresenceGovernedPages() {
  static constexpr std::array kPages = {
      Page::UsbConfig, Page::TxRx,    Page::Mac,      Page::Bbp1,    Page::Bbp2, Page::Bbp3,
      Page::Rf1,       Page::Eeprom,  Page::Eeprom2,  Page::NorFlash, Page::Sniffer, Page::About,
  };
  return kPages;
}

}  // namespace kqa::shell
