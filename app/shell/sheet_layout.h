#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace kqa::shell {

// Every page of the property sheet, in the order the sheet constructs them.
enum class Page {
  UsbConfig,
  TxRx,
  Mac,
  Bbp1,
  Bbp2,
  Bbp3,
  Rf1,
  Rf2,
  Eeprom,
  Eeprom2,
  NandFlash,
  NorFlash,
  Sniffer,
  About,
  NoiseLevel,
  FftGraph,
  PapdTest,
  IqCalibration,
};

// The optional pages the command line adds (letters f, p and i).
struct PageFlags {
  bool fftPages = false;   // Noise Level and FFT Graph
  bool papdPage = false;   // PAPD Test Page
  bool iqCalPage = false;  // IQ Cal

  bool operator==(const PageFlags&) const = default;
};

// The tab text of a page.
std::string_view TabCaption(Page page);

// The tabs the sheet shows, left to right: 13 without options, 17 with all.
// The NAND flash page is constructed but never shown.
std::vector<Page> SheetTabs(const PageFlags& flags);

// The pages that freeze when the device goes and revive when it comes back.
// RF Page 2 and the optional measurement pages are left as they are.
std::span<const Page> PresenceGovernedPages();

}  // namespace kqa::shell
