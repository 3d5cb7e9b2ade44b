// The receive-EVM component against the emulated receive chain, loaded the
// way the page loads it, and the loader's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "app/measure/evm/rx_evm.h"
#include "app/measure/evm_component.h"
#include "app/measure/fft_capture.h"
#include "app/measure/tests/measure_rig.h"

namespace kqa::measure {
namespace {

using device::testing::RigBed;

// One time-domain capture triggered by the generator's first frame. The
// stop offset (0x3E00 bytes, 396.8 us after the trigger) puts the frame's
// start 12.8 us into the 204.8 us the page processes.
SampleStore CaptureFrame(RigBed& bed) {
  testing::RigTuner(bed).selectChannel(0);
  std::atomic<bool> running = true;
  FftCaptureSettings settings;
  settings.domain = Domain::Time;
  settings.triggerOffset = 0x3E00;
  settings.maxCaptures = 1;
  SampleStore store;
  EXPECT_EQ(RunFftCaptures(bed.device, settings, running, store, nullptr, {}), 1);
  return store;
}

std::string Generator(double snrDb, const char* rate) {
  std::ostringstream text;
  text << "noise default -95\ngenerator channel=1 level=" << -95 + snrDb << " frames=100 interval=2 rate=" << rate
       << " length=600 start=5\n";
  return text.str();
}

TEST(RxEvmEndToEnd, TheEvmTracksTheFramesSnr) {
  const auto component = EvmComponent::Load(KQA_EVM_LIBRARY);
  ASSERT_NE(component, nullptr);
  struct Case {
    double snr;
    const char* rate;
    int bits;
  };
  for (const Case c : {Case{10, "ofdm-12", 2}, Case{15, "ofdm-18", 2}, Case{20, "ofdm-24", 4}, Case{25, "ofdm-36", 4},
                       Case{30, "ofdm-54", 6}}) {
    RigBed bed(testing::RadioRig(Generator(c.snr, c.rate)));
    const SampleStore store = CaptureFrame(bed);
    const auto evm = component->measure(store.i0, store.q0);
    ASSERT_TRUE(evm) << c.snr;
    EXPECT_NEAR(*evm, -c.snr, 2.0) << c.rate;
    const evm::RxEvmReport report = evm::AnalyzeRxEvm(store.i0, store.q0);
    EXPECT_EQ(report.bitsPerCarrier, c.bits) << c.rate;
    EXPECT_EQ(report.oversampling, 2);
    EXPECT_GE(report.dataSymbols, 20) << c.rate;
  }
}

TEST(RxEvmEndToEnd, ThePartsImbalanceSetsAFloor) {
  // The default part (3 % gain, 1.5 degrees, DC) leaves its image in every
  // subcarrier: a clean frame cannot measure better than that.
  RigBed bed(testing::RadioRig(Generator(40, "ofdm-54"), true));
  const SampleStore store = CaptureFrame(bed);
  const auto evm = evm::AnalyzeRxEvm(store.i0, store.q0);
  ASSERT_TRUE(evm.frame);
  EXPECT_LT(evm.evmDb, -25.0);
  EXPECT_GT(evm.evmDb, -38.0);
}

TEST(RxEvmEndToEnd, NoiseAToneOrSilenceIsNoFrame) {
  const auto component = EvmComponent::Load(KQA_EVM_LIBRARY);
  ASSERT_NE(component, nullptr);
  RigBed noise(testing::RadioRig("noise default -95\n"));
  std::atomic<bool> running = true;
  FftCaptureSettings settings;
  settings.domain = Domain::Time;
  settings.manualTrigger = true;
  settings.maxCaptures = 1;
  SampleStore store;
  testing::RigTuner(noise).selectChannel(0);
  std::string text;
  ASSERT_EQ(RunFftCaptures(noise.device, settings, running, store, component.get(),
                           [&](const FftCaptureResult& result) { text = result.evmText; }),
            1);
  EXPECT_EQ(text, "no frame");
  store = {};
  EXPECT_FALSE(component->measure(store.i0, store.q0));
  for (std::size_t n = 0; n < kSampleCount; ++n) {
    store.i0[n] = static_cast<int>(std::lround(40 * std::cos(0.3 * static_cast<double>(n))));
    store.q0[n] = static_cast<int>(std::lround(40 * std::sin(0.3 * static_cast<double>(n))));
  }
  EXPECT_FALSE(component->measure(store.i0, store.q0)) << "a tone";
  EXPECT_EQ(FormatEvmText(-23.5), "-23.500000 dB");
  EXPECT_EQ(FormatEvmText(-23.5, std::nullopt), "R0 -23.500000 dB / R1 no frame");
}

TEST(RxEvmEndToEnd, AMissingLibraryOrFunctionMeansNoComponent) {
  EXPECT_EQ(EvmComponent::Load("libkestrelqa-no-such-component.so"), nullptr);
  EXPECT_EQ(EvmComponent::Load("libm.so.6"), nullptr) << "a library without fnRXEVM";
  EXPECT_NE(EvmComponent::Load(KQA_EVM_LIBRARY), nullptr);
  EXPECT_NE(EvmComponent::Load(), nullptr) << "by name, through the build's run path";
}

}  // namespace
}  // namespace kqa::measure
