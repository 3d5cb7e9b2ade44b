#include "chip/radio/air.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "chip/radio/channel_plan.h"
#include "chip/radio/mac_frames.h"
#include "chip/radio/random.h"

namespace kqa::chip {

namespace {

using Duration = Clock::Duration;
using std::chrono::microseconds;
using std::chrono::nanoseconds;

constexpr Duration kNever = Duration::max();

Duration FromMs(double ms) { return nanoseconds(static_cast<std::int64_t>(std::llround(ms * 1e6))); }
Duration FromSeconds(double s) { return nanoseconds(static_cast<std::int64_t>(std::llround(s * 1e9))); }

Duration Sifs(int channel) { return IsFiveGhz(channel) ? microseconds(16) : microseconds(10); }

// ACKs, CTS and management frames go at a basic rate.
PhyRate ControlRate(const PhyRate& data, int channel) {
  if (!IsFiveGhz(channel) && data.mode == PhyMode::Cck) return {PhyMode::Cck, 1};
  return {PhyMode::Ofdm, 4};
}

PhyRate ManagementRate(int channel) { return IsFiveGhz(channel) ? PhyRate{PhyMode::Ofdm, 0} : PhyRate{PhyMode::Cck, 0}; }

// A frame id: the source in the top bits, its running count below.
class FrameIds {
 public:
  explicit FrameIds(std::uint64_t source) : base_(source << 40) {}
  std::uint64_t next() { return base_ | count_++; }

 private:
  std::uint64_t base_;
  std::uint64_t count_ = 0;
};

AirFrame MakeFrame(std::uint64_t id, Duration start, int channel, double level, double ppm, const PhyRate& rate,
                   std::vector<std::uint8_t> mpdu) {
  AirFrame frame;
  frame.id = id;
  frame.start = start;
  frame.end = start + AirTime(rate, mpdu.size());
  frame.channel = channel;
  frame.levelDbm = level;
  frame.ppm = ppm;
  frame.rate = rate;
  frame.mpdu = std::move(mpdu);
  return frame;
}

class BeaconSource final : public AirSource {
 public:
  BeaconSource(const AccessPoint& ap, std::uint64_t seed, std::uint64_t index, Duration origin)
      : ap_(ap), ids_(index), interval_(FromMs(ap.beaconIntervalMs)) {
    Random random(Random::Mix(seed, index));
    next_ = origin + FromMs(random.uniform() * ap.beaconIntervalMs);
    tsfOffsetUs_ = random.next() >> 24;
    origin_ = origin;
  }

  Duration nextStart() const override { return next_; }

  void emit(std::vector<AirFrame>& out) override {
    const auto sinceOn = std::chrono::duration_cast<microseconds>(next_ - origin_).count();
    auto mpdu = frames::Beacon(ap_.bssid, ap_.ssid, ap_.channel, tsfOffsetUs_ + static_cast<std::uint64_t>(sinceOn),
                               sequence_++, IsFiveGhz(ap_.channel));
    out.push_back(MakeFrame(ids_.next(), next_, ap_.channel, ap_.levelDbm, ap_.ppm, ap_.beaconRate, std::move(mpdu)));
    next_ += interval_;
  }

 private:
  AccessPoint ap_;
  FrameIds ids_;
  Duration interval_;
  Duration next_{};
  Duration origin_{};
  std::uint64_t tsfOffsetUs_ = 0;
  std::uint16_t sequence_ = 0;
};

// A station and its access point talking.
class StationSource final : public AirSource {
 public:
  StationSource(const Station& station, const AccessPoint& ap, std::uint64_t seed, std::uint64_t index,
                Duration origin)
      : station_(station), ap_(ap), ids_(index), random_(Random::Mix(seed, index)) {
    next_ = station.framesPerSecond > 0 ? origin + gap() : kNever;
  }

  Duration nextStart() const override { return next_; }

  void emit(std::vector<AirFrame>& out) override {
    const double u = random_.uniform();
    Duration t = next_;
    if (u < 0.08) {
      push(out, t, true, ManagementRate(ap_.channel), frames::ProbeRequest(station_.address, staSeq_++, fiveGhz()));
    } else if (u < 0.18) {
      t = push(out, t, true, ControlRate(station_.rate, ap_.channel),
               frames::NullFunction(station_.address, ap_.bssid, staSeq_++));
      push(out, t + Sifs(ap_.channel), false, ControlRate(station_.rate, ap_.channel), frames::Ack(station_.address));
    } else {
      const bool toAp = random_.uniform() < 0.5;
      const std::size_t length =
          station_.minLength + random_.below(static_cast<std::uint32_t>(station_.maxLength - station_.minLength + 1));
      std::vector<std::uint8_t> body{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
      while (body.size() + 24 < length) body.push_back(random_.byte());
      const MacAddress& sender = toAp ? station_.address : ap_.bssid;
      const MacAddress& receiver = toAp ? ap_.bssid : station_.address;
      const PhyRate control = ControlRate(station_.rate, ap_.channel);
      if (length > 1000) {  // protected by RTS/CTS
        t = push(out, t, toAp, control, frames::Rts(receiver, sender, 300));
        t = push(out, t + Sifs(ap_.channel), !toAp, control, frames::Cts(sender, 250));
        t += Sifs(ap_.channel);
      }
      std::uint16_t& sequence = toAp ? staSeq_ : apSeq_;
      t = push(out, t, toAp, station_.rate, frames::Data(station_.address, ap_.bssid, toAp, sequence++, body));
      t = push(out, t + Sifs(ap_.channel), !toAp, control, frames::Ack(sender));
    }
    // The next exchange waits for this one and for the medium.
    next_ = std::max(next_ + gap(), out.back().end + std::chrono::microseconds(50));
  }

 private:
  bool fiveGhz() const { return IsFiveGhz(ap_.channel); }
  Duration gap() { return FromSeconds(random_.exponential(1.0 / station_.framesPerSecond)); }

  // Sends one frame from the station (fromStation) or its access point;
  // returns its end.
  Duration push(std::vector<AirFrame>& out, Duration start, bool fromStation, const PhyRate& rate,
                std::vector<std::uint8_t> mpdu) {
    AirFrame frame = MakeFrame(ids_.next(), start, ap_.channel, fromStation ? station_.levelDbm : ap_.levelDbm,
                               fromStation ? station_.ppm : ap_.ppm, rate, std::move(mpdu));
    frame.corrupted = random_.uniform() < station_.errorRate;
    out.push_back(std::move(frame));
    return out.back().end;
  }

  Station station_;
  AccessPoint ap_;
  FrameIds ids_;
  Random random_;
  Duration next_{};
  std::uint16_t staSeq_ = 0;
  std::uint16_t apSeq_ = 0;
};

class InterfererSource final : public AirSource {
 public:
  InterfererSource(const Interferer& interferer, std::uint64_t seed, std::uint64_t index, Duration origin)
      : interferer_(interferer), ids_(index), random_(Random::Mix(seed, index)) {
    rate_ = interferer.phyErrorsPerSecond + interferer.falseCcaPerSecond;
    next_ = rate_ > 0 ? origin + FromSeconds(random_.exponential(1.0 / rate_)) : kNever;
  }

  Duration nextStart() const override { return next_; }

  void emit(std::vector<AirFrame>& out) override {
    AirFrame burst;
    burst.id = ids_.next();
    const bool phyError = random_.uniform() * rate_ < interferer_.phyErrorsPerSecond;
    burst.kind = phyError ? AirFrame::Kind::PhyError : AirFrame::Kind::Energy;
    burst.start = next_;
    burst.end = next_ + microseconds(phyError ? 20 + random_.below(100) : 5 + random_.below(55));
    burst.channel = interferer_.channel;
    burst.levelDbm = interferer_.levelDbm + 2.0 * random_.gaussian();
    out.push_back(burst);
    next_ = std::max(burst.end, next_ + FromSeconds(random_.exponential(1.0 / rate_)));
  }

 private:
  Interferer interferer_;
  FrameIds ids_;
  Random random_;
  double rate_ = 0;
  Duration next_{};
};

// The signal generator's burst of frames to the chip.
class GeneratorSource final : public AirSource {
 public:
  GeneratorSource(const GeneratorFrames& config, std::uint64_t index, Duration start)
      : config_(config), ids_(index), next_(config.count > 0 ? start : kNever) {}

  Duration nextStart() const override { return next_; }

  void emit(std::vector<AirFrame>& out) override {
    static constexpr MacAddress kGenerator{0x02, 0x4B, 0x51, 0xC0, 0x00, 0x01};
    std::vector<std::uint8_t> body{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x88, 0xB5};
    for (int i = 0; i < 4; ++i) body.push_back(static_cast<std::uint8_t>(sent_ >> (8 * i)));
    body.resize(config_.length - 24, 0x5A);
    auto mpdu = frames::PlainData(MacAddress{}, kGenerator, static_cast<std::uint16_t>(sent_), body);
    AirFrame frame =
        MakeFrame(ids_.next(), next_, config_.channel, config_.levelDbm, config_.ppm, config_.rate, std::move(mpdu));
    frame.toChip = true;
    out.push_back(std::move(frame));
    ++sent_;
    next_ = sent_ < config_.count ? next_ + std::max(FromMs(config_.intervalMs), out.back().end - next_) : kNever;
  }

 private:
  GeneratorFrames config_;
  FrameIds ids_;
  Duration next_;
  std::uint32_t sent_ = 0;
};

constexpr std::uint64_t kGeneratorIndex = 0x8000;

}  // namespace

Air::Air(const Environment& environment, std::uint64_t seed, Duration origin)
    : environment_(environment), seed_(seed) {
  environment_.validate();
  std::uint64_t index = 1;
  for (const auto& ap : environment_.accessPoints)
    sources_.push_back(std::make_unique<BeaconSource>(ap, seed, index++, origin));
  for (const auto& station : environment_.stations)
    sources_.push_back(std::make_unique<StationSource>(station, *environment_.accessPoint(station.accessPoint), seed,
                                                       index++, origin));
  for (const auto& interferer : environment_.interferers)
    sources_.push_back(std::make_unique<InterfererSource>(interferer, seed, index++, origin));
  if (environment_.generator) startGenerator(*environment_.generator, origin);
}

void Air::startGenerator(const GeneratorFrames& frames, Duration now) {
  Environment::Validate(frames);
  // Frames of an earlier burst that were produced but have not started are
  // withdrawn with it.
  std::erase_if(pending_, [](const AirFrame& frame) { return (frame.id >> 40) >= kGeneratorIndex; });
  environment_.generator = frames;
  generator_ = std::make_unique<GeneratorSource>(frames, kGeneratorIndex + generatorRuns_++, now + FromMs(frames.startMs));
}

void Air::refill(Duration time) {
  std::vector<AirFrame> emitted;
  for (;;) {
    AirSource* earliest = nullptr;
    for (auto& source : sources_)
      if (!earliest || source->nextStart() < earliest->nextStart()) earliest = source.get();
    if (generator_ && (!earliest || generator_->nextStart() < earliest->nextStart())) earliest = generator_.get();
    if (!earliest || earliest->nextStart() > time) break;
    earliest->emit(emitted);
  }
  for (auto& frame : emitted) {
    auto at = std::upper_bound(pending_.begin(), pending_.end(), frame.start,
                               [](Duration start, const AirFrame& f) { return start < f.start; });
    pending_.insert(at, std::move(frame));
  }
}

std::vector<AirFrame> Air::take(Duration time) {
  refill(time);
  std::vector<AirFrame> out;
  while (!pending_.empty() && pending_.front().start <= time) {
    out.push_back(std::move(pending_.front()));
    pending_.pop_front();
  }
  return out;
}

std::optional<Duration> Air::nextStart() const {
  Duration next = pending_.empty() ? kNever : pending_.front().start;
  for (const auto& source : sources_) next = std::min(next, source->nextStart());
  if (generator_) next = std::min(next, generator_->nextStart());
  if (next == kNever) return std::nullopt;
  return next;
}

}  // namespace kqa::chip
