#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/txrx/run_settings.h"

namespace kqa::txrx {

// The page's TX work buffer and the build's local frame area (descriptor
// and frame).
inline constexpr std::size_t kWorkBufferSize = 102'400;
inline constexpr std::size_t kFrameAreaSize = 5120;
// The descriptor's MPDU byte count is a 12-bit field.
inline constexpr int kMaxTotalBytes = 4095;
// FC, Dur and Address1: the least a frame holds.
inline constexpr int kMinTotalBytes = 10;

// The values the register side of a build writes (tx_registers.h).
struct RunRegisterValues {
  std::array<std::uint8_t, 16> key{};  // Key Value
  int cipher = 0;
  int keyTable = 0;
  std::uint32_t eiv = 0;
  std::uint32_t wmmAifsn = 0;  // MAC 0x0214
  std::uint32_t wmmCwMin = 0;  // MAC 0x0218
  std::uint32_t wmmCwMax = 0;  // MAC 0x021C
  std::uint32_t ipg = 0;       // "IPG", decimal
  bool rdgVisible = false;
  bool rdg = false;
};

// One build of a transmit run: what "Start &TX" hands to the driver.
struct TxBuild {
  int frameType = 0;
  std::uint32_t repeat = 0;  // packets of the run; 0 sends until stopped
  // The driver TX record from offset 0 (slot word, packet length word, the
  // packet, four closing zero bytes): packet length + 12 bytes. Empty for a
  // beacon, which the page does not send.
  std::vector<std::uint8_t> record;
  std::uint32_t infoWord = 0;
  std::array<std::uint32_t, 5> descriptor{};
  // The frame area after the descriptor (kFrameAreaSize - descriptor
  // size bytes); the first "Total bytes" of it are sent.
  std::vector<std::uint8_t> frame;
  RunRegisterValues registers;

  std::uint32_t packetLength() const;
};

// Builds the descriptor, the test frame and the driver TX record from the
// run's settings, for a chip whose TX descriptor has `descriptorSize` bytes
// (20 or 16). Pure: the register writes of a build are tx_registers.h's.
// Every field the build reads is checked first; `problem` then names the
// first bad one and the result is empty. A beacon (frame type 6) is built
// as nothing, without reading a field.
struct TxBuildResult {
  TxBuild build;
  std::string problem;
  bool ok() const { return problem.empty(); }
};
TxBuildResult BuildTxRun(const RunSettings& settings, std::uint32_t descriptorSize);

// The TX information word's packet length field and its fixed bits, for
// `descriptorSize` + `totalBytes` bytes.
std::uint32_t TxInfoWord(const RunSettings& settings, std::uint32_t descriptorSize, int totalBytes);

// Eight 4-bit fields, entry 0 in bits 0-3 (the WMM registers).
std::uint32_t NibbleWord(const std::array<int, 8>& values);

// The IV word of the WCID's IV entry: 0x20, then (key index << 6), with
// 0x20 added for TKIP, AES-CCMP and cipher 7, in bits 16-23.
std::uint32_t ComposeIvWord(int cipher, int keyIndex);

}  // namespace kqa::txrx
