#include "chip/tests/test_host.h"

#include <gtest/gtest.h>

#include "chip/efuse.h"

namespace kqa::chip::testing {

namespace {
constexpr std::uint16_t kEfuseControl = 0x24;
constexpr std::uint32_t kEfuseBusy = 1u << 30;
constexpr std::uint16_t kMapStart = 480;
constexpr std::uint16_t kMapEnd = 508;
}  // namespace

usb::TransferResult TestHost::control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                                      std::uint16_t index, std::span<std::uint8_t> data) {
  const usb::SetupPacket setup{requestType, request, value, index, static_cast<std::uint16_t>(data.size())};
  return device_.controlTransfer(setup, data);
}

usb::TransferResult TestHost::vendorIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                       std::span<std::uint8_t> data) {
  return control(usb::kVendorIn, request, value, index, data);
}

usb::TransferResult TestHost::vendorOut(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                                        std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> copy(data.begin(), data.end());
  return control(usb::kVendorOut, request, value, index, copy);
}

std::vector<std::uint8_t> TestHost::descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t length) {
  std::vector<std::uint8_t> data(length);
  const auto result = control(usb::kStandardInDevice, usb::kGetDescriptor, static_cast<std::uint16_t>(type << 8 | index),
                              type == usb::kStringDescriptor ? 0x0409 : 0, data);
  data.resize(result.ok() ? result.length : 0);
  return data;
}

void TestHost::configure(std::uint8_t configuration) {
  const auto result = control(usb::kStandardOutDevice, usb::kSetConfiguration, configuration, 0, {});
  EXPECT_TRUE(result.ok());
}

std::uint32_t TestHost::read32(std::uint16_t address, std::uint8_t request) {
  std::uint8_t data[4] = {};
  const auto result = vendorIn(request, 0, address, data);
  EXPECT_TRUE(result.ok()) << "read of 0x" << std::hex << address;
  return static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) | static_cast<std::uint32_t>(data[3]) << 24;
}

void TestHost::write32(std::uint16_t address, std::uint32_t value, std::uint8_t request) {
  const std::uint8_t data[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  const auto result = vendorOut(request, 0, address, data);
  EXPECT_TRUE(result.ok()) << "write of 0x" << std::hex << address;
}

std::uint32_t TestHost::pollBusy(std::uint16_t address, std::uint32_t busyBit) {
  std::uint32_t value = 0;
  for (int i = 0; i < 10; ++i) {
    ++polls_;
    value = read32(address);
    if ((value & busyBit) == 0) break;
  }
  return value;
}

std::uint8_t TestHost::bbpRead(std::uint8_t id) {
  pollBusy(0x101C, 0x20000);
  write32(0x101C, 0xB0000u | static_cast<std::uint32_t>(id) << 8);
  return static_cast<std::uint8_t>(pollBusy(0x101C, 0x20000));
}

void TestHost::bbpWrite(std::uint8_t id, std::uint8_t value) {
  pollBusy(0x101C, 0x20000);
  write32(0x101C, 0xA0000u | static_cast<std::uint32_t>(id) << 8 | value);
}

std::uint8_t TestHost::rfRead(int bank, int reg) {
  pollBusy(0x0500, 0x80000000u);
  write32(0x0500, 0x80000000u | static_cast<std::uint32_t>(bank) << 14 | static_cast<std::uint32_t>(reg) << 8);
  return static_cast<std::uint8_t>(pollBusy(0x0500, 0x80000000u));
}

void TestHost::rfWrite(int bank, int reg, std::uint8_t value) {
  pollBusy(0x0500, 0x80000000u);
  write32(0x0500,
          0xC0000000u | static_cast<std::uint32_t>(bank) << 14 | static_cast<std::uint32_t>(reg) << 8 | value);
}

// --- eFuse -------------------------------------------------------------------

std::uint32_t TestHost::efuseWait(int reads) {
  std::uint32_t value = 0;
  for (int i = 0; i < reads; ++i) {
    ++efuseControlReads_;
    value = read32(kEfuseControl);
    if ((value & kEfuseBusy) == 0) break;
  }
  return value;
}

void TestHost::efuseStart(std::uint16_t offset, std::uint32_t operation, int waitReads) {
  std::uint32_t control = read32(kEfuseControl);
  control &= ~(0xC0u | 0x3FF0000u);
  control |= static_cast<std::uint32_t>(offset & 0x3F0) << 16 | operation << 6 | kEfuseBusy;
  write32(kEfuseControl, control);
  efuseWait(waitReads);
}

int TestHost::efuseLogicalRead(std::uint16_t offset, std::uint16_t& word) {
  std::uint32_t control = read32(kEfuseControl);
  control &= ~(0xC0u | 0x3FF0000u);
  control |= static_cast<std::uint32_t>(offset & 0x3F0) << 16 | kEfuseBusy;
  write32(kEfuseControl, control);
  const int result = static_cast<int>(efuseWait(100) & 0x3F);
  if (result == Efuse::kUnmapped) {
    word = 0xFFFF;
    return result;
  }
  word = static_cast<std::uint16_t>(read32(static_cast<std::uint16_t>(0x28 + (offset & 0xC))) >> (8 * (offset & 3)));
  return result;
}

std::uint16_t TestHost::efusePhysicalRead(std::uint16_t offset) {
  efuseStart(offset, 1, 100);
  return static_cast<std::uint16_t>(read32(static_cast<std::uint16_t>(0x28 + (offset & 0xC))) >> (8 * (offset & 3)));
}

void TestHost::efusePhysicalWrite(std::uint16_t offset, std::uint16_t word) {
  efuseStart(offset, 1, 100);
  const std::uint32_t control = read32(kEfuseControl);
  std::uint32_t data[4];
  for (std::uint16_t k = 0; k < 4; ++k) data[k] = read32(static_cast<std::uint16_t>(0x28 + 4 * k));
  std::uint32_t& target = data[(offset >> 2) & 3];
  target = (offset & 3) == 0 ? (target & 0xFFFF0000u) | word : (target & 0xFFFFu) | static_cast<std::uint32_t>(word) << 16;
  for (std::uint16_t k = 0; k < 4; ++k) write32(static_cast<std::uint16_t>(0x28 + 4 * k), data[k]);
  write32(kEfuseControl,
          (control & ~0x3FF0000u) | static_cast<std::uint32_t>(offset & 0x3F0) << 16 | 0xC0u | kEfuseBusy);
  efuseWait(500);
}

int TestHost::findFreeMapByte() {
  for (int a = kMapEnd; a >= kMapStart; a -= 2) {
    const std::uint16_t word = efusePhysicalRead(static_cast<std::uint16_t>(a));
    if ((word >> 8) == 0 && a != kMapEnd) return a + 1 - kMapStart;
    if ((word & 0xFF) == 0 && a != kMapStart - 1) return a - kMapStart;
  }
  return -1;
}

bool TestHost::verifyBlock(int block, const std::vector<std::uint16_t>& target) {
  for (int i = 0; i < 8; ++i)
    if (efusePhysicalRead(static_cast<std::uint16_t>(16 * block + 2 * i)) != target[static_cast<std::size_t>(i)])
      return false;
  return true;
}

bool TestHost::efuseWriteLogical(std::uint16_t x, std::span<const std::uint8_t> data) {
  const bool wholeBlock = data.size() == 16;
  std::uint16_t ignored = 0;
  const int status = efuseLogicalRead(static_cast<std::uint16_t>(x & ~1), ignored);
  int block = status;
  std::vector<std::uint16_t> target(8);
  auto dataWord = [&](std::size_t i) { return static_cast<std::uint16_t>(data[2 * i] | data[2 * i + 1] << 8); };
  if (status != Efuse::kUnmapped) {
    if (efuseFreeBlockCount() == 0) {
      for (std::size_t i = 0; i < (wholeBlock ? 8u : 1u); ++i) {
        const std::uint16_t at = static_cast<std::uint16_t>(16 * block + (wholeBlock ? 2 * i : (x & 15)));
        const std::uint16_t wanted = wholeBlock ? dataWord(i) : dataWord(0);
        if ((efusePhysicalRead(at) | wanted) != wanted) return false;
      }
    }
  } else {
    block = findFreeMapByte();
    if (block < 0) return false;
  }
  for (std::size_t i = 0; i < 8; ++i)
    target[i] = wholeBlock ? dataWord(i) : efusePhysicalRead(static_cast<std::uint16_t>(16 * block + 2 * i));
  if (!wholeBlock) target[(x >> 1) & 7] = dataWord(0);

  const int logical = x >> 4;
  bool first = true;
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (!wholeBlock && first) {
      efusePhysicalWrite(static_cast<std::uint16_t>(16 * block + (x & 15)), dataWord(0));
    } else {
      for (std::size_t i = 0; i < 8; ++i) efusePhysicalWrite(static_cast<std::uint16_t>(16 * block + 2 * i), target[i]);
    }
    const int m = kMapStart + block;
    const std::uint8_t mapByte = Efuse::MapByte(logical);
    if ((m & 1) != 0) {
      efusePhysicalWrite(static_cast<std::uint16_t>(m - 1), static_cast<std::uint16_t>(mapByte << 8));
    } else {
      efusePhysicalWrite(static_cast<std::uint16_t>(m), mapByte);
    }
    if (verifyBlock(block, target)) return true;

    first = false;
    block = findFreeMapByte();
    if (block < 0) return false;
    // Invalidate the old map byte by burning its lowest clear bit.
    std::uint16_t word = efusePhysicalRead(static_cast<std::uint16_t>(m & ~1));
    const bool high = (m & 1) != 0;
    for (int bit = 0; bit < (high ? 7 : 8); ++bit) {
      const std::uint16_t mask = static_cast<std::uint16_t>(1u << (bit + (high ? 8 : 0)));
      if ((word & mask) == 0) {
        word = static_cast<std::uint16_t>(word | mask);
        break;
      }
    }
    efusePhysicalWrite(static_cast<std::uint16_t>(m & ~1), word);
  }
  return true;  // as the device layer reports it after five attempts
}

int TestHost::efuseFreeBlockCount() {
  int first = -1;
  for (int w = kMapStart; w <= kMapEnd && first < 0; w += 2) {
    const std::uint16_t word = efusePhysicalRead(static_cast<std::uint16_t>(w));
    if ((word & 0xFF) == 0 && w != kMapStart - 1) {
      first = w;
    } else if ((word >> 8) == 0 && w != kMapEnd) {
      first = w + 1;
    }
  }
  if (first < 0) return 0;
  int last = -1;
  for (int w = kMapEnd; w >= kMapStart && last < 0; w -= 2) {
    const std::uint16_t word = efusePhysicalRead(static_cast<std::uint16_t>(w));
    if ((word >> 8) == 0 && w != kMapEnd) {
      last = w + 1;
    } else if ((word & 0xFF) == 0 && w != kMapStart - 1) {
      last = w;
    }
  }
  return last >= first ? last - first + 1 : 0;
}

}  // namespace kqa::chip::testing
