#include "app/measure/capture_fetch.h"

#include <algorithm>
#include <span>

#include "app/device/register_access.h"

namespace kqa::measure {
namespace {

constexpr std::uint32_t kBankSelect = 0x0400;
constexpr std::uint32_t kSharedMemoryBank = 1u << 19;

bool FetchRing(device::RegisterAccess& access, std::uint32_t endPointer, std::size_t blockBytes,
               std::span<std::uint8_t, kRingBytes> ring) {
  std::size_t position = endPointer % kRingBytes;
  for (std::size_t done = 0; done < kRingBytes;) {
    const std::size_t length = std::min({blockBytes, kRingBytes - position, kRingBytes - done});
    if (!access.ReadMemoryBlock(kCaptureWindow + static_cast<std::uint32_t>(position),
                                ring.subspan(done, length)))
      return false;
    done += length;
    position = (position + length) % kRingBytes;
  }
  return true;
}

}  // namespace

bool FetchCaptureBanks(device::DeviceContext& device, std::uint32_t endPointer,
                       std::size_t blockBytes, CaptureBanks& banks) {
  banks = {};
  blockBytes = std::max<std::size_t>(blockBytes, 4);
  device::RegisterAccess access(device);
  std::uint32_t select = 0;
  access.ReadMacRegister(kBankSelect, select);
  access.WriteMacRegister(kBankSelect, select & ~kSharedMemoryBank);
  const bool ok = access.WriteMacRegister(kBankSelect, kBankASelect) &&
                  FetchRing(access, endPointer, blockBytes, banks.a) &&
                  access.WriteMacRegister(kBankSelect, kBankBSelect) &&
                  FetchRing(access, endPointer, blockBytes, banks.b);
  if (!ok) banks = {};
  return ok;
}

}  // namespace kqa::measure
