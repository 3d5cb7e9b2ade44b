#pragma once

namespace kqa::shell {

// The pages of the property sheet, by name. Their captions, tab order and
// presence rules are in the page table (views/page_table.h).
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
  bool fftPages = false;   // f: Noise Level and FFT Graph
  bool papdPage = false;   // p: PAPD Test Page
  bool iqCalPage = false;  // i: IQ Cal

  bool operator==(const PageFlags&) const = default;
};

}  // namespace kqa::shell
