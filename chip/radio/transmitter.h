#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "chip/radio/phy_rate.h"
#include "chip/radio/tx_packet.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// The last frame the chip put on the air, for the TX power detector.
struct LastTransmission {
  Clock::Duration time{};
  PhyRate rate;
  double powerDbm = 0.0;
};

// The transmit side of the MAC: what it sent per bulk OUT endpoint (its
// queue), what it dropped, and the hardware sequence number. MAC 0x170C
// reports frames sent (bits 0-15) and dropped (bits 16-31), saturating and
// clearing when read.
class Transmitter {
 public:
  // The frame as it goes out: with "sequence by hardware" the chip writes its
  // own 12-bit counter into the sequence control field.
  std::vector<std::uint8_t> prepare(const TxFrame& frame);
  void sent(std::uint8_t endpoint, const PhyRate& rate, double powerDbm, Clock::Duration now);
  void dropped() { ++dropped_; ++droppedSinceRead_; }

  std::uint64_t sentOn(std::uint8_t endpoint) const;
  std::uint64_t sentTotal() const { return sentTotal_; }
  std::uint64_t droppedTotal() const { return dropped_; }
  const std::optional<LastTransmission>& last() const { return last_; }

  std::uint32_t readCounter();
  std::uint32_t peekCounter() const;
  void reset();

 private:
  std::map<std::uint8_t, std::uint64_t> perEndpoint_;
  std::uint64_t sentTotal_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t sentSinceRead_ = 0;
  std::uint64_t droppedSinceRead_ = 0;
  std::uint16_t sequence_ = 0;
  std::optional<LastTransmission> last_;
};

}  // namespace kqa::chip
