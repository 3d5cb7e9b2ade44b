#include "app/measure/capture_samples.h"

namespace kqa::measure {
namespace {

int Signed(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }

}  // namespace

void UnpackSamples(const CaptureBanks& banks, SampleStore& store) {
  store = {};
  for (std::size_t g = 0; g < kSampleCount / 4; ++g) {
    const std::uint8_t* a = &banks.a[4 * g];
    const std::uint8_t* b = &banks.b[4 * g];
    const int pairs[4][2] = {{Signed(a[1]), Signed(a[0])},
                             {Signed(a[3]), Signed(a[2])},
                             {Signed(b[1]), Signed(b[0])},
                             {Signed(b[3]), Signed(b[2])}};
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t n = 4 * g + k;
      store.i0[n] = pairs[k][0];
      store.q0[n] = pairs[k][1];
      store.s0[n] = {static_cast<double>(pairs[k][0]), static_cast<double>(pairs[k][1])};
    }
  }
}

}  // namespace kqa::measure
