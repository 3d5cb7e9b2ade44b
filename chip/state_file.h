#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <vector>

#include "chip/efuse.h"
#include "chip/kestrel_options.h"

namespace kqa::chip {

// What the chip keeps across runs: its non-volatile memories.
struct NvmState {
  Board board = Board::Eeprom;
  std::vector<std::uint8_t> eeprom;  // Eeprom::kSize bytes
  Efuse::Content efuse{};
  std::vector<std::uint8_t> flash;   // NorFlash::kSize bytes
};

// A state file that cannot be read or written; what() says which file and why.
class ChipStateError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The state file, all integers little-endian:
//
//   0   8 bytes  magic "KQACHIP\n"
//   8   u32      format version (1)
//   12  u32      number of sections
//   16  sections, each: u32 tag, u32 payload length, payload
//         "BORD"  u32 board: 0 EEPROM board, 1 eFuse board
//         "EEPR"  the 8192 EEPROM bytes
//         "EFUS"  the 512 eFuse bytes
//         "FLSH"  u32 sector size (65536), u32 sector count (64), u32 n, then
//                 n times: u32 sector number, the sector's bytes. Sectors not
//                 listed are erased (all 0xFF).
//   end u32      CRC-32 (IEEE 802.3) of every byte before it
//
// Each section appears exactly once. Anything else (wrong magic, version,
// lengths, CRC, a missing, repeated or unknown section, a short file) is
// refused with ChipStateError; nothing is half-loaded.

// Writes the state to "<path>.tmp" in the same folder, syncs it, renames it
// over `path` and syncs the folder: a crash at any moment leaves either the
// old or the new file. Throws ChipStateError when the file cannot be written.
void SaveNvmState(const std::filesystem::path& path, const NvmState& state);

// The write-and-rename underneath SaveNvmState, for any content.
void ReplaceFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Throws ChipStateError for a file that cannot be read or is malformed.
NvmState LoadNvmState(const std::filesystem::path& path);

// The encoding itself (for tests and tools).
std::vector<std::uint8_t> EncodeNvmState(const NvmState& state);
NvmState DecodeNvmState(const std::vector<std::uint8_t>& bytes);  // throws ChipStateError

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length);

}  // namespace kqa::chip
