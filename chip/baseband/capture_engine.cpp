#include "chip/baseband/capture_engine.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "chip/baseband/frame_waveform.h"
#include "chip/radio/channel_plan.h"
#include "chip/radio/random.h"

namespace kqa::chip {

namespace {

using std::chrono::nanoseconds;

constexpr double kFeqUnitLsb = 32.0;

// Ring positions are counted from power-on; one position is four samples.
std::uint64_t PositionAt(Clock::Duration t, double rateMHz) {
  return static_cast<std::uint64_t>(static_cast<double>(t.count()) * rateMHz / 4000.0);
}

Clock::Duration TimeOf(std::uint64_t position, double rateMHz) {
  return nanoseconds(static_cast<std::int64_t>(std::ceil(static_cast<double>(position) * 4000.0 / rateMHz)));
}

std::uint8_t Byte(std::int8_t value) { return static_cast<std::uint8_t>(value); }

}  // namespace

CaptureEngine::CaptureEngine(ChipCore& core, const SignalView& signal) : core_(core), signal_(signal) {
  RegisterSpace& mac = core_.mac();
  mac.map(kControl, kControl, {nullptr, [this](std::uint16_t, std::uint32_t v) { writeControl(v); }, nullptr});
  auto status = [this](std::uint16_t) { return (busy() ? kBusy : 0u) | endPointer_; };
  mac.map(kStatus, kStatus, {status, [](std::uint16_t, std::uint32_t) {}, status});
  mac.map(kConfig, kConfig, {nullptr, [this](std::uint16_t, std::uint32_t v) { writeConfig(v); }, nullptr});
}

void CaptureEngine::writeControl(std::uint32_t value) {
  RegisterSpace& mac = core_.mac();
  const std::uint32_t before = mac.stored(kControl);
  mac.store(kControl, value);
  if ((value & kEnable) == 0) {
    run_.reset();
    return;
  }
  if ((value & kArm) != 0 && (before & kArm) == 0) {
    const ChainInput input = signal_.chainInput();
    Run run;
    run.sixBit = (core_.bbp().stored(252) & 0x04) != 0;
    run.feq = (mac.stored(kConfig) & kFeq) != 0;
    run.rateMHz = SampleRateMHz(input.receiver.wide);
    run.armed = core_.clock().now();
    run_ = run;
  }
}

void CaptureEngine::writeConfig(std::uint32_t value) {
  core_.mac().store(kConfig, value);
  if ((value & kManualTrigger) != 0) trigger(core_.clock().now());
}

void CaptureEngine::frameStarted(const AirFrame& frame, bool detected) {
  if (!detected || !run_ || run_->stop || frame.start < run_->armed) return;
  if ((core_.mac().stored(kConfig) & kManualTrigger) != 0) return;
  trigger(frame.start);
}

void CaptureEngine::trigger(Clock::Duration at) {
  if (!run_ || run_->stop) return;
  const std::uint64_t offsetPositions = (core_.mac().stored(kConfig) & 0x3FFF) / 4;
  run_->stop = TimeOf(PositionAt(at, run_->rateMHz) + offsetPositions, run_->rateMHz);
}

void CaptureEngine::advance(Clock::Duration now) {
  if (!run_ || !run_->stop || now < *run_->stop) return;
  if (run_->feq) {
    fillFeq(*run_);
  } else {
    fillSamples(*run_);
  }
  run_.reset();
}

void CaptureEngine::put(std::uint64_t position, const std::int8_t (&v)[8]) {
  const std::size_t word = position % kRingPositions;
  auto& memory = core_.memory();
  memory.packetBuffer(0)[word] = Byte(v[1]) | Byte(v[0]) << 8 | Byte(v[3]) << 16 | static_cast<std::uint32_t>(Byte(v[2])) << 24;
  memory.packetBuffer(1)[word] = Byte(v[5]) | Byte(v[4]) << 8 | Byte(v[7]) << 16 | static_cast<std::uint32_t>(Byte(v[6])) << 24;
  endPointer_ = static_cast<std::uint32_t>(((position + 1) % kRingPositions) * 4);
}

void CaptureEngine::fillSamples(const Run& run) {
  const std::uint64_t stop = PositionAt(*run.stop, run.rateMHz);
  const std::uint64_t first = stop >= kRingPositions ? stop - kRingPositions : 0;
  const std::size_t count = static_cast<std::size_t>(stop - first) * 4;
  const auto samples = RenderAdc(signal_.chainInput(), TimeOf(first, run.rateMHz), count);
  const auto quantize = [&](double x) {
    return run.sixBit ? static_cast<std::int8_t>(Quantize6(x) * 4) : Quantize8(x);
  };
  for (std::uint64_t p = first; p < stop; ++p) {
    std::int8_t values[8];
    for (std::size_t k = 0; k < 4; ++k) {
      const auto& s = samples[static_cast<std::size_t>(p - first) * 4 + k];
      values[2 * k] = quantize(s.real());
      values[2 * k + 1] = quantize(s.imag());
    }
    put(p, values);
  }
  if (first == stop) endPointer_ = static_cast<std::uint32_t>((stop % kRingPositions) * 4);
}

void CaptureEngine::fillFeq(const Run& run) {
  const ChainInput input = signal_.chainInput();
  std::vector<const AirFrame*> frames;
  for (const AirFrame* frame : input.frames)
    if (frame->kind == AirFrame::Kind::Frame && frame->rate.isOfdm() && frame->channel == input.receiver.tuning.channel)
      frames.push_back(frame);
  std::sort(frames.begin(), frames.end(), [](const AirFrame* a, const AirFrame* b) { return a->start < b->start; });
  for (const AirFrame* frame : frames) {
    const Reception verdict = signal_.verdict(*frame);
    if (verdict.result != Reception::Result::Received && verdict.result != Reception::Result::CrcError) continue;
    FrameWaveform waveform(frame->rate, std::chrono::duration<double, std::micro>(frame->end - frame->start).count(),
                           run.rateMHz, Random::Mix(input.seed, frame->id));
    Random noise(Random::Mix(input.seed ^ 0xFE9ull, frame->id));
    const double sigma = kFeqUnitLsb * std::pow(10.0, -verdict.snrDb[0] / 20.0) / std::sqrt(2.0);
    for (int symbol = 1; symbol < waveform.dataSymbols(); ++symbol) {
      const auto symbolEnd = frame->start + std::chrono::microseconds(16 + 4 * (symbol + 1));
      if (symbolEnd <= run.armed || symbolEnd > *run.stop) continue;
      const auto carriers = waveform.carriers(symbol);
      for (std::size_t group = 0; group < 16; ++group) {
        std::int8_t values[8];
        for (std::size_t k = 0; k < 4; ++k) {
          const auto& c = carriers[group * 4 + k];
          const bool used = std::abs(c) > 0;
          const double i = used ? c.real() * kFeqUnitLsb + sigma * noise.gaussian() : 0.0;
          const double q = used ? c.imag() * kFeqUnitLsb + sigma * noise.gaussian() : 0.0;
          values[2 * k] = run.sixBit ? static_cast<std::int8_t>(Quantize6(i) * 4) : Quantize8(i);
          values[2 * k + 1] = run.sixBit ? static_cast<std::int8_t>(Quantize6(q) * 4) : Quantize8(q);
        }
        put(feqPosition_++, values);
      }
    }
  }
}

void CaptureEngine::reset() {
  run_.reset();
  endPointer_ = 0;
  feqPosition_ = 0;
}

}  // namespace kqa::chip
