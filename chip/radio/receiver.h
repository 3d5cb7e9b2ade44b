#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "chip/radio/air_frame.h"
#include "chip/radio/front_end.h"
#include "chip/radio/reception.h"
#include "chip/radio/rx_record.h"
#include "platform/clock/clock.h"

namespace kqa::chip {

// Counts of the receiver, as MAC 0x1700-0x1708 report them.
struct RxCounts {
  std::uint64_t crcErrors = 0;
  std::uint64_t phyErrors = 0;
  std::uint64_t falseCca = 0;
  std::uint64_t received = 0;  // handed to the host (good and bad FCS)
  std::uint64_t overflows = 0; // lost because the receive FIFO was full
};

// The receiver's back end: counters, the RSSI and frequency readings of the
// last frame, and the FIFO of records waiting for a bulk IN transfer.
class Receiver {
 public:
  static constexpr std::size_t kFifoBytes = 64 * 1024;
  static constexpr Clock::Duration kRssiHold = std::chrono::milliseconds(2);

  // What the chip knows when it files a frame.
  struct Context {
    MacAddress station{};
    std::uint8_t wcid = 0xFF;
    std::uint32_t timerUs = 0;
    std::uint8_t noise = 0;  // the channel's noise in R50 terms
    bool fiveGhz = false;
    bool wide = false;
    bool auxAntenna = false;
  };

  Receiver(const FrontEnd& frontEnd, std::uint64_t seed) : frontEnd_(frontEnd), seed_(seed) {}

  // Files the verdict on `frame` (counts, latches, queues a record).
  void file(const AirFrame& frame, const Reception& reception, const Context& context);

  bool hasRecords() const { return !fifo_.empty(); }
  // The next bulk IN transfer: one record, or as many whole records as fit
  // when `several`.
  std::optional<std::vector<std::uint8_t>> takeTransfer(std::size_t capacity, bool several);
  void flush();

  // MAC 0x1700 (PHY errors << 16 | CRC errors), 0x1704 (frames received << 16
  // | false CCA), 0x1708 (FIFO overflows << 16): 16-bit counts that saturate
  // and clear when read.
  std::uint32_t readCounter(std::uint16_t address);
  std::uint32_t peekCounter(std::uint16_t address) const;
  const RxCounts& totals() const { return totals_; }

  // The last frame's per-path level while the AGC holds it (2 ms after its
  // end), else nothing.
  std::optional<std::array<double, 3>> heldLevel(Clock::Duration now) const;
  std::int8_t lastDeviation() const { return lastDeviation_; }

  void reset();

 private:
  void push(std::vector<std::uint8_t> record);

  FrontEnd frontEnd_;
  std::uint64_t seed_;
  RxCounts sinceRead_;
  RxCounts totals_;
  std::deque<std::vector<std::uint8_t>> fifo_;
  std::size_t fifoBytes_ = 0;
  std::optional<Clock::Duration> lastEnd_;
  std::array<double, 3> lastLevel_{};
  std::int8_t lastDeviation_ = 0;
};

}  // namespace kqa::chip
