#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "chip/chip_core.h"

namespace kqa::chip {

// The chip's microcontroller: its instruction and data memories (ILM, DLM),
// the download of firmware into them over the bulk OUT path, the start from
// the vector block, and the firmware's answers to QA command packets.
//
// Download: the host writes the destination to SYS 0x0230 and the chunk's
// length to SYS 0x0234 bits 16-31, then sends a packet whose information
// word has PORT = 2 (bits 27-29) and the same length in bits 0-15. ILM
// addresses are 0x00000-0x0FFFF, DLM addresses 0x80000-0x87FFF; a chunk that
// does not lie inside one of them, or whose length differs from SYS 0x0234,
// is refused. The first chunk after a start begins a new download and halts
// the MCU.
//
// Start: the vector block of the firmware-reload request. The MCU runs when
// the block is intact and the ILM and DLM it describes were downloaded whole
// since the download began and match their CRCs (chip/firmware/
// firmware_image.h); otherwise it stays stopped. SYS 0x0230 bit 0 reads 1
// while the firmware runs.
//
// Commands: a packet whose first word has bits 31-30 = 01 is a QA command
// (bits 20-26 command, 16-19 sequence, 0-15 payload length). The running
// firmware answers each with a response whose first word is 0x40000000 |
// command << 20 | sequence << 16 | response length (bits 0-12), followed by
// the response payload: u32 status (0 done, 1 unknown command, 2 unknown
// function, 3 payload too short), and for command 31 (function) the function
// number and parameter it was given. A stopped MCU ignores commands.
class Mcu {
 public:
  static constexpr std::uint16_t kDestinationRegister = 0x0230;  // SYS
  static constexpr std::uint16_t kLengthRegister = 0x0234;       // SYS
  static constexpr std::uint32_t kRunning = 1u << 0;
  static constexpr std::uint32_t kIlmSize = 0x10000;
  static constexpr std::uint32_t kDlmBase = 0x80000;
  static constexpr std::uint32_t kDlmSize = 0x8000;
  static constexpr std::uint32_t kFunctionCommand = 31;

  enum class StartResult { Started, BadVectorBlock, IncompleteDownload, ChecksumMismatch };

  struct Counters {
    std::uint64_t chunks = 0;           // accepted download chunks
    std::uint64_t refusedChunks = 0;
    std::uint64_t commands = 0;         // answered
    std::uint64_t ignoredCommands = 0;  // while stopped
  };

  // Hooks SYS 0x0230 and the firmware-reload request of `core`.
  explicit Mcu(ChipCore& core);

  // A PORT 2 packet's bytes. Returns whether they were taken.
  bool download(std::span<const std::uint8_t> data);
  StartResult start(std::span<const std::uint8_t, 64> vectorBlock);
  // The response transfer to a command packet, or nothing while stopped.
  std::optional<std::vector<std::uint8_t>> command(std::uint32_t header, std::span<const std::uint8_t> payload);

  bool running() const { return running_; }
  std::optional<StartResult> lastStart() const { return lastStart_; }
  std::uint32_t version() const { return running_ ? version_ : 0; }
  // The parameter of the last function command `function` the firmware ran.
  std::optional<std::uint32_t> functionParameter(std::uint32_t function) const;
  const Counters& counters() const { return counters_; }

  // Power-on: stopped, memories cleared.
  void reset();

 private:
  bool covered(const std::vector<bool>& written, std::size_t length) const;

  ChipCore& core_;
  std::vector<std::uint8_t> ilm_ = std::vector<std::uint8_t>(kIlmSize);
  std::vector<std::uint8_t> dlm_ = std::vector<std::uint8_t>(kDlmSize);
  // Bytes written since the download began.
  std::vector<bool> ilmWritten_ = std::vector<bool>(kIlmSize);
  std::vector<bool> dlmWritten_ = std::vector<bool>(kDlmSize);
  bool downloadOpen_ = false;  // false: the next chunk begins a new download
  bool running_ = false;
  std::uint32_t version_ = 0;
  std::optional<StartResult> lastStart_;
  std::map<std::uint32_t, std::uint32_t> functions_;
  Counters counters_;
};

}  // namespace kqa::chip
