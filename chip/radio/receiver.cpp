#include "chip/radio/receiver.h"

#include <algorithm>

#include "chip/radio/random.h"

namespace kqa::chip {

namespace {

std::uint32_t Saturated(std::uint64_t count) { return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, 0xFFFF)); }

}  // namespace

void Receiver::file(const AirFrame& frame, const Reception& reception, const Context& context) {
  using Result = Reception::Result;
  switch (reception.result) {
    case Result::Missed:
      return;
    case Result::FalseCca:
      ++sinceRead_.falseCca;
      ++totals_.falseCca;
      return;
    case Result::PhyError:
      ++sinceRead_.phyErrors;
      ++totals_.phyErrors;
      return;
    case Result::CrcError:
      ++sinceRead_.crcErrors;
      ++totals_.crcErrors;
      break;
    case Result::Received:
      break;
  }

  RxRecordFields fields;
  fields.frame = frame.mpdu;
  if (frame.toChip && fields.frame.size() >= 10)
    std::copy(context.station.begin(), context.station.end(), fields.frame.begin() + 4);
  fields.crcError = reception.result == Result::CrcError;
  if (fields.crcError && fields.frame.size() > 2) {
    // What a bad FCS usually hides: a few damaged bytes past the header.
    Random random(Random::Mix(seed_ ^ 0xBADFC5ull, frame.id));
    const std::size_t from = fields.frame.size() > 24 ? 24 : 2;
    const int count = 1 + static_cast<int>(random.below(3));
    for (int i = 0; i < count; ++i) {
      const std::size_t at = from + random.below(static_cast<std::uint32_t>(fields.frame.size() - from));
      fields.frame[at] ^= static_cast<std::uint8_t>(1 + random.below(255));
    }
  }
  fields.toMe = fields.frame.size() >= 10 && std::equal(context.station.begin(), context.station.end(), fields.frame.begin() + 4);
  fields.rate = frame.rate;
  fields.wcid = context.wcid;
  for (int p = 0; p < frontEnd_.rxPaths && p < 3; ++p) {
    const auto i = static_cast<std::size_t>(p);
    fields.rssi[i] = EncodeDescriptorRssi(reception.levelDbm[i], frontEnd_.rssiOffset(p, context.fiveGhz),
                                          frontEnd_.lnaGain(context.fiveGhz), context.wide, context.auxAntenna);
    if (p < 2) fields.snr[i] = EncodeSnr(reception.snrDb[i]);
  }
  fields.deviation = EncodeDeviation(reception.deviationKHz);
  fields.timerUs = context.timerUs;
  fields.noise = context.noise;

  lastEnd_ = frame.end;
  lastLevel_ = reception.levelDbm;
  lastDeviation_ = fields.deviation;
  ++sinceRead_.received;
  ++totals_.received;
  push(EncodeRxRecord(fields));
}

void Receiver::push(std::vector<std::uint8_t> record) {
  if (fifoBytes_ + record.size() > kFifoBytes) {
    ++sinceRead_.overflows;
    ++totals_.overflows;
    return;
  }
  fifoBytes_ += record.size();
  fifo_.push_back(std::move(record));
}

std::optional<std::vector<std::uint8_t>> Receiver::takeTransfer(std::size_t capacity, bool several) {
  if (fifo_.empty()) return std::nullopt;
  std::vector<std::uint8_t> transfer = std::move(fifo_.front());
  fifoBytes_ -= transfer.size();
  fifo_.pop_front();
  while (several && !fifo_.empty() && transfer.size() + fifo_.front().size() <= capacity) {
    transfer.insert(transfer.end(), fifo_.front().begin(), fifo_.front().end());
    fifoBytes_ -= fifo_.front().size();
    fifo_.pop_front();
  }
  return transfer;
}

void Receiver::flush() {
  fifo_.clear();
  fifoBytes_ = 0;
}

std::uint32_t Receiver::peekCounter(std::uint16_t address) const {
  switch (address) {
    case 0x1700: return Saturated(sinceRead_.phyErrors) << 16 | Saturated(sinceRead_.crcErrors);
    case 0x1704: return Saturated(sinceRead_.received) << 16 | Saturated(sinceRead_.falseCca);
    case 0x1708: return Saturated(sinceRead_.overflows) << 16;
    default: return 0;
  }
}

std::uint32_t Receiver::readCounter(std::uint16_t address) {
  const std::uint32_t value = peekCounter(address);
  switch (address) {
    case 0x1700: sinceRead_.phyErrors = sinceRead_.crcErrors = 0; break;
    case 0x1704: sinceRead_.received = sinceRead_.falseCca = 0; break;
    case 0x1708: sinceRead_.overflows = 0; break;
    default: break;
  }
  return value;
}

std::optional<std::array<double, 3>> Receiver::heldLevel(Clock::Duration now) const {
  if (!lastEnd_ || now - *lastEnd_ > kRssiHold || now < *lastEnd_) return std::nullopt;
  return lastLevel_;
}

void Receiver::reset() {
  sinceRead_ = {};
  totals_ = {};
  flush();
  lastEnd_.reset();
  lastLevel_ = {};
  lastDeviation_ = 0;
}

}  // namespace kqa::chip
