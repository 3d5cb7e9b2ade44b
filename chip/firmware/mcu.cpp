#include "chip/firmware/mcu.h"

#include <algorithm>

#include "chip/firmware/firmware_image.h"
#include "platform/bytes/little_endian.h"

namespace kqa::chip {

namespace {

// The function commands the firmware serves (its DLM table lists the same).
bool KnownFunction(std::uint32_t function) {
  switch (function) {
    case 1: case 4: case 5: case 6: case 7: case 8: case 9: return true;
    default: return false;
  }
}

enum Status : std::uint32_t { kDone = 0, kUnknownCommand = 1, kUnknownFunction = 2, kTooShort = 3 };

}  // namespace

Mcu::Mcu(ChipCore& core) : core_(core) {
  RegisterSpace& sys = core_.space(Space::Sys);
  // SYS 0x0230 holds the download destination; bit 0 reads the MCU's state.
  auto status = [this, &sys](std::uint16_t address) {
    return (sys.stored(address) & ~kRunning) | (running_ ? kRunning : 0u);
  };
  sys.map(kDestinationRegister, kDestinationRegister, {status, nullptr, status});
  core_.setFirmwareReloadHandler([this](const ChipCore::VectorBlock& block) { start(block); });
}

bool Mcu::download(std::span<const std::uint8_t> data) {
  const RegisterSpace& sys = core_.space(Space::Sys);
  const std::uint32_t destination = sys.stored(kDestinationRegister) & ~kRunning;
  const std::uint32_t expected = sys.stored(kLengthRegister) >> 16;
  std::vector<std::uint8_t>* memory = nullptr;
  std::vector<bool>* written = nullptr;
  std::uint32_t offset = 0;
  if (destination + data.size() <= kIlmSize) {
    memory = &ilm_;
    written = &ilmWritten_;
    offset = destination;
  } else if (destination >= kDlmBase && destination - kDlmBase + data.size() <= kDlmSize) {
    memory = &dlm_;
    written = &dlmWritten_;
    offset = destination - kDlmBase;
  }
  if (memory == nullptr || data.size() != expected || data.empty()) {
    ++counters_.refusedChunks;
    return false;
  }
  if (!downloadOpen_) {
    // A new download: whatever ran before is being replaced.
    running_ = false;
    std::fill(ilmWritten_.begin(), ilmWritten_.end(), false);
    std::fill(dlmWritten_.begin(), dlmWritten_.end(), false);
    downloadOpen_ = true;
  }
  std::copy(data.begin(), data.end(), memory->begin() + offset);
  std::fill_n(written->begin() + offset, data.size(), true);
  ++counters_.chunks;
  return true;
}

bool Mcu::covered(const std::vector<bool>& written, std::size_t length) const {
  return length <= written.size() && std::all_of(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(length),
                                                 [](bool b) { return b; });
}

Mcu::StartResult Mcu::start(std::span<const std::uint8_t, 64> vectorBlock) {
  running_ = false;
  downloadOpen_ = false;
  functions_.clear();
  const auto info = DecodeVectorBlock(vectorBlock);
  StartResult result = StartResult::Started;
  if (!info || info->ilmLength > kIlmSize || info->dlmLength > kDlmSize) {
    result = StartResult::BadVectorBlock;
  } else {
    const std::size_t ilmLength = info->ilmLength;
    // The vector block itself arrives with the request, not as a chunk.
    std::vector<bool> ilmProgram(ilmWritten_.begin() + 64, ilmWritten_.end());
    if (!covered(ilmProgram, ilmLength - 64) || !covered(dlmWritten_, info->dlmLength)) {
      result = StartResult::IncompleteDownload;
    } else if (Crc32Mpeg2(std::span(ilm_).subspan(64, ilmLength - 64)) != info->ilmCrc ||
               Crc32Mpeg2(std::span(dlm_).first(info->dlmLength)) != info->dlmCrc) {
      result = StartResult::ChecksumMismatch;
    } else {
      std::copy(vectorBlock.begin(), vectorBlock.end(), ilm_.begin());
      version_ = info->version;
      running_ = true;
    }
  }
  lastStart_ = result;
  return result;
}

std::optional<std::vector<std::uint8_t>> Mcu::command(std::uint32_t header, std::span<const std::uint8_t> payload) {
  if (!running_) {
    ++counters_.ignoredCommands;
    return std::nullopt;
  }
  ++counters_.commands;
  const std::uint32_t number = (header >> 20) & 0x7F;
  const std::uint32_t sequence = (header >> 16) & 0x0F;
  payload = payload.first(std::min<std::size_t>(payload.size(), header & 0xFFFF));

  std::vector<std::uint32_t> words;
  if (number != kFunctionCommand) {
    words = {kUnknownCommand};
  } else if (payload.size() < 8) {
    words = {kTooShort};
  } else {
    const std::uint32_t function = GetLe32(payload, 0);
    const std::uint32_t parameter = GetLe32(payload, 4);
    const bool known = KnownFunction(function);
    if (known) functions_[function] = parameter;
    words = {known ? kDone : kUnknownFunction, function, parameter};
  }
  std::vector<std::uint8_t> response(4 + 4 * words.size());
  PutLe32(response, 0, 0x40000000u | number << 20 | sequence << 16 | static_cast<std::uint32_t>(4 * words.size()));
  for (std::size_t i = 0; i < words.size(); ++i) PutLe32(response, 4 + 4 * i, words[i]);
  return response;
}

std::optional<std::uint32_t> Mcu::functionParameter(std::uint32_t function) const {
  auto it = functions_.find(function);
  if (it == functions_.end()) return std::nullopt;
  return it->second;
}

void Mcu::reset() {
  std::fill(ilm_.begin(), ilm_.end(), std::uint8_t{0});
  std::fill(dlm_.begin(), dlm_.end(), std::uint8_t{0});
  std::fill(ilmWritten_.begin(), ilmWritten_.end(), false);
  std::fill(dlmWritten_.begin(), dlmWritten_.end(), false);
  downloadOpen_ = false;
  running_ = false;
  version_ = 0;
  lastStart_.reset();
  functions_.clear();
  counters_ = {};
}

}  // namespace kqa::chip
