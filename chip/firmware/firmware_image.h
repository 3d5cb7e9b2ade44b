#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace kqa::chip {

// The MCU firmware of the emulated Kestrel, and its file "Kestrel.bin".
//
// File (little-endian):
//   0   u32  ILM length in bytes (the vector block included)
//   4   u32  DLM length in bytes
//   8   4    "KQFW"
//   12  u32  firmware version (0x00010000 is 1.0)
//   16  16   zero
//   32       ILM: the 64-byte vector block, then the program
//   32+ILM   DLM: the firmware's data
// The loader uses only the two lengths; the rest of the header is for
// people and tools.
//
// Vector block (the ILM's first 64 bytes, sixteen u32), which the host hands
// over with the firmware-reload request and which starts the MCU:
//   0-7   exception vectors (word 0, reset, is the entry point)
//   8     "KQFW" (0x5746514B)
//   9     firmware version
//   10    ILM length, 11 DLM length
//   12    CRC of ILM bytes 64 .. ILM length - 1
//   13    CRC of the DLM
//   14    0
//   15    CRC of bytes 0-59 of the block itself
// CRCs are CRC-32/MPEG-2 (polynomial 0x04C11DB7, preset 0xFFFFFFFF, MSB
// first, no reflection, no final XOR). The MCU starts only when the block is
// intact and the ILM and DLM it describes were downloaded whole and match
// their CRCs.
struct FirmwareImage {
  static constexpr std::size_t kHeaderSize = 32;
  static constexpr std::size_t kVectorBlockSize = 64;
  static constexpr std::uint32_t kMagic = 0x5746514B;  // "KQFW"

  std::vector<std::uint8_t> ilm;  // vector block first
  std::vector<std::uint8_t> dlm;
  std::uint32_t version = 0;
};

// What the vector block says about the image.
struct VectorBlockInfo {
  std::uint32_t entry = 0;
  std::uint32_t version = 0;
  std::uint32_t ilmLength = 0;
  std::uint32_t dlmLength = 0;
  std::uint32_t ilmCrc = 0;
  std::uint32_t dlmCrc = 0;
};

std::uint32_t Crc32Mpeg2(std::span<const std::uint8_t> bytes, std::uint32_t crc = 0xFFFFFFFF);

// The firmware this model runs: version 1.0, an ILM of 5064 bytes (the
// vector block and 5000 bytes of program, so the download takes four chunks
// of 1024 bytes and one of 904) and a DLM of 1536 bytes holding the
// firmware's name and its table of function commands. The same bytes every
// time.
FirmwareImage BuildKestrelFirmware();

// The vector block describing `ilm` and `dlm` (written into the ILM's first
// 64 bytes by BuildKestrelFirmware).
std::array<std::uint8_t, 64> MakeVectorBlock(std::uint32_t entry, std::uint32_t version,
                                             std::span<const std::uint8_t> ilm, std::span<const std::uint8_t> dlm);
// The block's contents, when its magic and its own CRC are right.
std::optional<VectorBlockInfo> DecodeVectorBlock(std::span<const std::uint8_t, 64> block);

// The bytes of "Kestrel.bin", and back. Decoding refuses a file whose
// lengths do not fit it.
std::vector<std::uint8_t> EncodeFirmwareFile(const FirmwareImage& image);
std::optional<FirmwareImage> DecodeFirmwareFile(std::span<const std::uint8_t> file);

}  // namespace kqa::chip
