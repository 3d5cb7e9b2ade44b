#include "app/device/efuse_controller.h"

#include <chrono>

#include "platform/bytes/little_endian.h"
#include "platform/clock/polling.h"

namespace kqa::device {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kOperationMask = 0xC0;
constexpr std::uint32_t kLogicalRead = 0x00;
constexpr std::uint32_t kPhysicalRead = 0x40;
constexpr std::uint32_t kPhysicalWrite = 0xC0;
constexpr std::uint32_t kAddressMask = 0x3FFu << 16;
constexpr std::uint32_t kBusy = 1u << 30;
constexpr int kReadPolls = 100;
constexpr int kWritePolls = 500;

std::uint32_t BlockAddressField(std::uint16_t x) {
  return static_cast<std::uint32_t>(x & 0x3F0) << 16;
}

}  // namespace

std::uint32_t EfuseController::Read(std::uint32_t reg) {
  std::uint32_t value = kFailedReadValue;
  if (!failed_ && (!sequence_.ensureHeld() || !registers_.ReadMacRegister(reg, value))) failed_ = true;
  return failed_ ? kFailedReadValue : value;
}

void EfuseController::Write(std::uint32_t reg, std::uint32_t value) {
  if (!failed_ && (!sequence_.ensureHeld() || !registers_.WriteMacRegister(reg, value))) failed_ = true;
}

std::uint32_t EfuseController::Start(std::uint32_t control, std::uint32_t operation,
                                     std::uint16_t x, int polls) {
  control &= ~(kOperationMask | kAddressMask);
  Write(kControl, control | operation | BlockAddressField(x) | kBusy);
  std::uint32_t last = kFailedReadValue;
  // Sleeps 2 ms after every read that still shows the operation busy.
  PollUntil(
      device_.clock, polls, 2ms,
      [&] {
        last = Read(kControl);
        return failed_ || (last & kBusy) == 0;
      },
      true);
  return last;
}

std::uint8_t EfuseController::ReadLogicalWord(std::uint16_t x, std::uint16_t& value) {
  const std::uint32_t status = Start(Read(kControl), kLogicalRead, x, kReadPolls) & 0x3F;
  if (status == kUnmapped || failed_) {
    value = 0xFFFF;
    return kUnmapped;
  }
  value = static_cast<std::uint16_t>(Read(kData + (x & 0xC)) >> (8 * (x & 3)));
  return static_cast<std::uint8_t>(status);
}

void EfuseController::ReadPhysical(std::uint16_t x, std::span<std::uint8_t> out) {
  Start(Read(kControl), kPhysicalRead, x, kReadPolls);
  const std::uint32_t data = Read(kData + (x & 0xC)) >> (8 * (x & 3));
  for (std::size_t i = 0; i < out.size() && i < 4; ++i)
    out[i] = static_cast<std::uint8_t>(data >> (8 * i));
}

std::uint16_t EfuseController::ReadPhysicalWord(std::uint16_t x) {
  std::uint8_t bytes[2] = {0xFF, 0xFF};
  ReadPhysical(x, bytes);
  return GetLe16(bytes, 0);
}

void EfuseController::WritePhysicalWord(std::uint16_t x, std::uint16_t value) {
  Start(Read(kControl), kPhysicalRead, x, kReadPolls);
  const std::uint32_t control = Read(kControl);
  std::uint32_t data[4];
  for (std::uint32_t k = 0; k < 4; ++k) data[k] = Read(kData + 4 * k);
  // Never program from data registers that could not all be read: that
  // would burn whatever the failed reads left in them.
  if (failed_) return;
  std::uint32_t& word = data[(x >> 2) & 3];
  if ((x & 3) == 0)
    word = (word & 0xFFFF0000u) | value;
  else
    word = (word & 0x0000FFFFu) | static_cast<std::uint32_t>(value) << 16;
  for (std::uint32_t k = 0; k < 4; ++k) Write(kData + 4 * k, data[k]);
  if (failed_) return;
  Start(control, kPhysicalWrite, x, kWritePolls);
}

}  // namespace kqa::device
