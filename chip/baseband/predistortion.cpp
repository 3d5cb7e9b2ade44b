#include "chip/baseband/predistortion.h"

#include <algorithm>
#include <cmath>

namespace kqa::chip {

namespace {

constexpr double kSaturation = 0.85;
constexpr double kSmoothness = 2.0;

// Output amplitude of the amplifier for input amplitude x (both 0..1).
double Rapp(double x) {
  return x / std::pow(1.0 + std::pow(x / kSaturation, 2.0 * kSmoothness), 1.0 / (2.0 * kSmoothness));
}

std::uint8_t ToByte(double x) { return static_cast<std::uint8_t>(std::clamp(std::lround(255.0 * x), 0L, 255L)); }

}  // namespace

Predistortion::Predistortion(ChipCore& core) : core_(core) {
  reset();
  auto& bbp = core_.bbp();
  bbp.setHook(kData, {[this](std::uint8_t) { return selected()[core_.bbp().stored(kIndex)]; },
                      [this](std::uint8_t, std::uint8_t value) { selected()[core_.bbp().stored(kIndex)] = value; }});
  bbp.setHook(kStart, {nullptr, [this](std::uint8_t id, std::uint8_t value) {
                         core_.bbp().store(id, value);
                         if ((value & 0x20) != 0) calibrate();
                       }});
}

std::array<std::uint8_t, 256>& Predistortion::selected() {
  return (core_.bbp().stored(kSelect) & 0x80) != 0 ? buffer_ : table_;
}

void Predistortion::calibrate() {
  ++calibrations_;
  for (int i = 0; i < 256; ++i) buffer_[static_cast<std::size_t>(i)] = ToByte(Rapp(i / 255.0));
  // The table aims at a straight line up to the largest output the
  // amplifier reaches: find the input that gives each output by bisection.
  const double top = Rapp(1.0);
  for (int i = 0; i < 256; ++i) {
    const double wanted = top * i / 255.0;
    double low = 0.0;
    double high = 1.0;
    for (int step = 0; step < 40; ++step) {
      const double mid = (low + high) / 2.0;
      (Rapp(mid) < wanted ? low : high) = mid;
    }
    table_[static_cast<std::size_t>(i)] = ToByte(high);
  }
}

void Predistortion::reset() {
  buffer_.fill(0);
  for (int i = 0; i < 256; ++i) table_[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  calibrations_ = 0;
}

}  // namespace kqa::chip
