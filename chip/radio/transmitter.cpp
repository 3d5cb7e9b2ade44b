#include "chip/radio/transmitter.h"

#include <algorithm>

namespace kqa::chip {

std::vector<std::uint8_t> Transmitter::prepare(const TxFrame& frame) {
  std::vector<std::uint8_t> mpdu(frame.mpdu.begin(), frame.mpdu.end());
  if (frame.descriptor.hardwareSequence && mpdu.size() >= 24) {
    const std::uint16_t control = static_cast<std::uint16_t>((mpdu[22] & 0x0F) | (sequence_ & 0x0FFF) << 4);
    mpdu[22] = static_cast<std::uint8_t>(control);
    mpdu[23] = static_cast<std::uint8_t>(control >> 8);
    sequence_ = static_cast<std::uint16_t>((sequence_ + 1) & 0x0FFF);
  }
  return mpdu;
}

void Transmitter::sent(std::uint8_t endpoint, const PhyRate& rate, double powerDbm, Clock::Duration now) {
  ++perEndpoint_[endpoint];
  ++sentTotal_;
  ++sentSinceRead_;
  last_ = LastTransmission{now, rate, powerDbm};
}

std::uint64_t Transmitter::sentOn(std::uint8_t endpoint) const {
  auto it = perEndpoint_.find(endpoint);
  return it == perEndpoint_.end() ? 0 : it->second;
}

std::uint32_t Transmitter::peekCounter() const {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(droppedSinceRead_, 0xFFFF)) << 16 |
         static_cast<std::uint32_t>(std::min<std::uint64_t>(sentSinceRead_, 0xFFFF));
}

std::uint32_t Transmitter::readCounter() {
  const std::uint32_t value = peekCounter();
  sentSinceRead_ = droppedSinceRead_ = 0;
  return value;
}

void Transmitter::reset() { *this = Transmitter{}; }

}  // namespace kqa::chip
