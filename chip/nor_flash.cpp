#include "chip/nor_flash.h"

#include <algorithm>
#include <stdexcept>

namespace kqa::chip {

void NorFlash::read(std::size_t address, std::span<std::uint8_t> out) const {
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(address), out.size(), out.begin());
}

void NorFlash::program(std::size_t address, std::span<const std::uint8_t> data) {
  for (std::size_t i = 0; i < data.size(); ++i) bytes_[address + i] &= data[i];
}

void NorFlash::eraseSector(std::size_t sector) {
  const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(sector * kSectorSize);
  std::fill(first, first + static_cast<std::ptrdiff_t>(kSectorSize), std::uint8_t{0xFF});
}

void NorFlash::eraseChip() { std::fill(bytes_.begin(), bytes_.end(), std::uint8_t{0xFF}); }

void NorFlash::assign(std::vector<std::uint8_t> bytes) {
  if (bytes.size() != kSize) throw std::invalid_argument("flash content must be 4 MB");
  bytes_ = std::move(bytes);
}

}  // namespace kqa::chip
