#include "chip/baseband/data_scope.h"

#include <chrono>

namespace kqa::chip {

DataScope::DataScope(ChipCore& core, const SignalView& signal) : core_(core), signal_(signal) {
  RegisterSpace& mac = core_.mac();
  mac.map(kControl, kControl, {nullptr, [this](std::uint16_t address, std::uint32_t value) {
                                 core_.mac().store(address, value);
                                 if ((value & 1) == 0) return;
                                 position_ = 0;
                                 const ChainInput input = signal_.chainInput();
                                 const double rate = SampleRateMHz(input.receiver.wide);
                                 const auto span = std::chrono::nanoseconds(static_cast<std::int64_t>(kBytes * 1000.0 / rate));
                                 const auto samples = RenderAdc(input, core_.clock().now() - span, kBytes);
                                 for (std::size_t i = 0; i < kBytes; ++i)
                                   snapshot_[i] = static_cast<std::uint8_t>(Quantize8(samples[i].real()));
                               },
                               nullptr});
  auto peek = [this](std::uint16_t) { return enabled() ? std::uint32_t{snapshot_[position_]} : 0u; };
  mac.map(kPort, kPort,
          {[this, peek](std::uint16_t address) {
             const std::uint32_t value = peek(address);
             if (enabled()) position_ = (position_ + 1) % kBytes;
             return value;
           },
           [this](std::uint16_t, std::uint32_t value) {
             if (!enabled()) return;
             playback_[position_] = static_cast<std::uint8_t>(value);
             position_ = (position_ + 1) % kBytes;
           },
           peek});
}

void DataScope::reset() {
  snapshot_.fill(0);
  playback_.fill(0);
  position_ = 0;
}

}  // namespace kqa::chip
