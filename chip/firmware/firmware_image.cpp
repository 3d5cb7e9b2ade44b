#include "chip/firmware/firmware_image.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/bytes/little_endian.h"

namespace kqa::chip {

namespace {

constexpr std::uint32_t kVersion = 0x00010000;
constexpr std::uint32_t kEntry = 0x00000040;  // the program starts right after the vector block
constexpr std::size_t kIlmProgramBytes = 5000;
constexpr std::size_t kDlmBytes = 1536;

// The program body: a deterministic instruction-like pattern (16-bit and
// 32-bit words from a fixed LFSR), standing for the firmware's code.
std::vector<std::uint8_t> ProgramBody() {
  std::vector<std::uint8_t> body(kIlmProgramBytes);
  std::uint32_t lfsr = 0x5EC70001;
  for (auto& byte : body) {
    for (int i = 0; i < 8; ++i) lfsr = (lfsr >> 1) ^ ((lfsr & 1) != 0 ? 0xC000002Bu : 0u);
    byte = static_cast<std::uint8_t>(lfsr);
  }
  return body;
}

// The data memory: the firmware's name, then the functions it serves (u32
// function number, u32 flags), then zeros.
std::vector<std::uint8_t> DataMemory() {
  std::vector<std::uint8_t> dlm(kDlmBytes, 0);
  constexpr std::string_view kName = "Kestrel QA firmware 1.0";
  std::copy(kName.begin(), kName.end(), dlm.begin());
  constexpr std::uint32_t kFunctions[] = {1, 4, 5, 6, 7, 8, 9};
  std::size_t at = 64;
  PutLe32(dlm, at, static_cast<std::uint32_t>(std::size(kFunctions)));
  for (std::uint32_t function : kFunctions) {
    at += 8;
    PutLe32(dlm, at, function);
    PutLe32(dlm, at + 4, 1);
  }
  return dlm;
}

}  // namespace

std::uint32_t Crc32Mpeg2(std::span<const std::uint8_t> bytes, std::uint32_t crc) {
  for (std::uint8_t byte : bytes) {
    crc ^= static_cast<std::uint32_t>(byte) << 24;
    for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

std::array<std::uint8_t, 64> MakeVectorBlock(std::uint32_t entry, std::uint32_t version,
                                             std::span<const std::uint8_t> ilm, std::span<const std::uint8_t> dlm) {
  std::array<std::uint8_t, 64> block{};
  for (std::size_t i = 0; i < 8; ++i) PutLe32(block, 4 * i, entry + (i == 0 ? 0 : 0x10 * static_cast<std::uint32_t>(i)));
  PutLe32(block, 32, FirmwareImage::kMagic);
  PutLe32(block, 36, version);
  PutLe32(block, 40, static_cast<std::uint32_t>(ilm.size()));
  PutLe32(block, 44, static_cast<std::uint32_t>(dlm.size()));
  PutLe32(block, 48, Crc32Mpeg2(ilm.size() > 64 ? ilm.subspan(64) : std::span<const std::uint8_t>{}));
  PutLe32(block, 52, Crc32Mpeg2(dlm));
  PutLe32(block, 60, Crc32Mpeg2(std::span<const std::uint8_t>(block).first(60)));
  return block;
}

std::optional<VectorBlockInfo> DecodeVectorBlock(std::span<const std::uint8_t, 64> block) {
  if (GetLe32(block, 32) != FirmwareImage::kMagic) return std::nullopt;
  if (GetLe32(block, 60) != Crc32Mpeg2(block.first(60))) return std::nullopt;
  VectorBlockInfo info;
  info.entry = GetLe32(block, 0);
  info.version = GetLe32(block, 36);
  info.ilmLength = GetLe32(block, 40);
  info.dlmLength = GetLe32(block, 44);
  info.ilmCrc = GetLe32(block, 48);
  info.dlmCrc = GetLe32(block, 52);
  if (info.ilmLength < FirmwareImage::kVectorBlockSize) return std::nullopt;
  return info;
}

FirmwareImage BuildKestrelFirmware() {
  FirmwareImage image;
  image.version = kVersion;
  image.dlm = DataMemory();
  image.ilm.resize(FirmwareImage::kVectorBlockSize);
  const auto body = ProgramBody();
  image.ilm.insert(image.ilm.end(), body.begin(), body.end());
  const auto block = MakeVectorBlock(kEntry, kVersion, image.ilm, image.dlm);
  std::copy(block.begin(), block.end(), image.ilm.begin());
  return image;
}

std::vector<std::uint8_t> EncodeFirmwareFile(const FirmwareImage& image) {
  std::vector<std::uint8_t> file(FirmwareImage::kHeaderSize, 0);
  PutLe32(file, 0, static_cast<std::uint32_t>(image.ilm.size()));
  PutLe32(file, 4, static_cast<std::uint32_t>(image.dlm.size()));
  PutLe32(file, 8, FirmwareImage::kMagic);
  PutLe32(file, 12, image.version);
  file.insert(file.end(), image.ilm.begin(), image.ilm.end());
  file.insert(file.end(), image.dlm.begin(), image.dlm.end());
  return file;
}

std::optional<FirmwareImage> DecodeFirmwareFile(std::span<const std::uint8_t> file) {
  if (file.size() < FirmwareImage::kHeaderSize) return std::nullopt;
  const std::uint64_t ilm = GetLe32(file, 0);
  const std::uint64_t dlm = GetLe32(file, 4);
  if (FirmwareImage::kHeaderSize + ilm + dlm != file.size()) return std::nullopt;
  FirmwareImage image;
  image.version = GetLe32(file, 12);
  const auto* start = file.data() + FirmwareImage::kHeaderSize;
  image.ilm.assign(start, start + ilm);
  image.dlm.assign(start + ilm, start + ilm + dlm);
  return image;
}

}  // namespace kqa::chip
