#include "chip/efuse_controller.h"

namespace kqa::chip {

EfuseController::EfuseController(Clock& clock, ChipFaults& faults, Efuse& efuse, bool configInEfuse,
                                 Clock::Duration readTime, Clock::Duration programTime)
    : clock_(clock),
      faults_(faults),
      efuse_(efuse),
      configInEfuse_(configInEfuse),
      readTime_(readTime),
      programTime_(programTime) {}

void EfuseController::install(RegisterSpace& mac) {
  mac.map(kControl, kControl,
          {[this](std::uint16_t) { return readControl(); },
           [this](std::uint16_t, std::uint32_t value) { writeControl(value); },
           [this](std::uint16_t) { return peekControl(); }});
  auto dataIndex = [](std::uint16_t address) { return static_cast<std::size_t>((address - kData) / 4); };
  auto readData = [this, dataIndex](std::uint16_t address) {
    latch_.settle(clock_.now(), stuck());
    return data_[dataIndex(address)];
  };
  mac.map(kData, kData + 12,
          {readData,
           [this, dataIndex](std::uint16_t address, std::uint32_t value) {
             latch_.settle(clock_.now(), stuck());
             data_[dataIndex(address)] = value;
           },
           [this, dataIndex](std::uint16_t address) { return data_[dataIndex(address)]; }});
}

void EfuseController::reset() {
  latch_.reset();
  control_ = 0;
  result_ = 0;
  data_ = {};
}

std::uint32_t EfuseController::readControl() {
  const bool busy = latch_.poll(clock_.now(), stuck()) || stuck();
  return (peekControl() & ~kStart) | (busy ? kStart : 0);
}

std::uint32_t EfuseController::peekControl() const {
  const bool busy = latch_.busy() || stuck();
  return (control_ & ~(kResultMask | kStart | kConfigInEfuse)) | result_ | (busy ? kStart : 0) |
         (configInEfuse_ ? kConfigInEfuse : 0);
}

void EfuseController::writeControl(std::uint32_t value) {
  latch_.settle(clock_.now(), stuck());
  if (latch_.busy() || stuck()) return;  // the controller is still working
  control_ = value & ~(kResultMask | kStart | kConfigInEfuse);
  if ((value & kStart) == 0) return;
  const auto operation = static_cast<Operation>((value >> 6) & 3);
  const auto blockAddress = static_cast<std::uint16_t>((value >> 16) & 0x3F0);
  start(operation, blockAddress);
}

void EfuseController::start(Operation operation, std::uint16_t blockAddress) {
  const int busyReads = faults_.busyReads(BusyUnit::Efuse);
  const auto now = clock_.now();
  switch (operation) {
    case LogicalRead:
      latch_.start(now, readTime_, busyReads, false, [this, blockAddress] {
        const int block = efuse_.lookup(blockAddress >> 4);
        result_ = static_cast<std::uint32_t>(block);
        if (block != Efuse::kUnmapped) fillData(static_cast<std::uint16_t>(block * Efuse::kBlockSize));
      });
      return;
    case PhysicalRead:
      latch_.start(now, readTime_, busyReads, false, [this, blockAddress] { fillData(blockAddress); });
      return;
    case PhysicalWrite: {
      const auto words = data_;  // the controller latches the data at the start
      latch_.start(now, programTime_, busyReads, false,
                   [this, blockAddress, words] { program(blockAddress, words); });
      return;
    }
    case Nothing:
      latch_.start(now, {}, busyReads, false, [] {});
      return;
  }
}

void EfuseController::fillData(std::uint16_t blockAddress) {
  for (std::size_t word = 0; word < 4; ++word) {
    std::uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4; ++byte)
      value |= static_cast<std::uint32_t>(efuse_.byte(blockAddress + word * 4 + byte)) << (8 * byte);
    data_[word] = value;
  }
}

void EfuseController::program(std::uint16_t blockAddress, const std::array<std::uint32_t, 4>& words) {
  bool burnt = false;
  for (std::size_t i = 0; i < Efuse::kBlockSize; ++i) {
    const auto address = static_cast<std::uint16_t>(blockAddress + i);
    const auto bits = static_cast<std::uint8_t>(words[i / 4] >> (8 * (i % 4)));
    burnt = efuse_.burn(address, bits, faults_.weakEfuseBits(address)) || burnt;
  }
  if (burnt && burnListener_) burnListener_();
}

}  // namespace kqa::chip
