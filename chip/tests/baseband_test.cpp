#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <set>

#include "chip/baseband/fft.h"
#include "chip/kestrel.h"
#include "chip/tests/radio_host.h"

namespace kqa::chip {
namespace {

using namespace std::chrono_literals;
using testing::RadioHost;

// A quiet bench and a part without analog errors but those asked for.
KestrelOptions Quiet(double iqGain = 0.0, double iqPhaseDeg = 0.0, double iqDelayNs = 0.0, double dcI = 0.0) {
  return {.completions = Completions::Stepped,
          .radio = {.environment = Environment{}, .iqGainImbalance = iqGain, .iqPhaseDeg = iqPhaseDeg,
                    .iqGroupDelayNs = iqDelayNs, .dcOffsetI = dcI, .dcOffsetQ = 0.0}};
}

// The IQ calibration page's measurement through R158/R159: the five 32-bit
// sums over 4096 samples (I, Q, I^2, Q^2, IQ), read most significant byte first.
struct Statistics {
  double mi, mq, si, sq, cross;
  double theta() const { return std::asin(cross / (si * sq)) * 180.0 / 3.14159; }
};

Statistics Measure(RadioHost& radio) {
  radio.writeIndirect(0x00, 0x93);
  double mean[5];
  for (int k = 0; k < 5; ++k) {
    radio.writeIndirect(0x1E, static_cast<std::uint8_t>(k));
    std::uint32_t sum = 0;
    for (int byte = 3; byte >= 0; --byte)
      sum |= static_cast<std::uint32_t>(radio.readIndirect(static_cast<std::uint8_t>(0x1F + byte))) << (8 * byte);
    mean[k] = static_cast<std::int32_t>(sum) / 4096.0;
  }
  return {mean[0], mean[1], std::sqrt(mean[2] - mean[0] * mean[0]), std::sqrt(mean[3] - mean[1] * mean[1]),
          mean[4] - mean[0] * mean[1]};
}

void ToneAt(RadioHost& radio, std::uint8_t r244) {
  radio.bbp(241, 20);
  radio.bbp(242, 0x80);
  radio.bbp(244, r244);
}

// Tones at 9.375 and 3.125 MHz: each gives the gain and the phase less the
// group delay's share at its frequency; their average and difference give
// the phase and the delay as the IQ calibration page computes them.
TEST(IqStatistics, TheCalibrationPageRecoversTheConfiguredGainPhaseAndDelay) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet(0.04, 2.0, 0.5));
  RadioHost radio(chip, clock);
  radio.tune(1);
  radio.bbp(23, 0x10);
  radio.bbp(65, 0x3D);
  radio.bbp(66, 0x10);
  double gain = 0;
  double phase = 0;
  double delay = 0;
  constexpr int kPasses = 20;
  for (int pass = 0; pass < kPasses; ++pass) {
    double theta[2];
    for (int tone = 0; tone < 2; ++tone) {
      ToneAt(radio, tone == 0 ? 0x33 : 0x31);
      const Statistics s = Measure(radio);
      const double r = s.sq / s.si;
      gain += 2 * (1 - r) / (1 + r) / (2 * kPasses);
      theta[tone] = s.theta();
    }
    phase += (theta[0] + theta[1]) / (2 * kPasses);
    delay += (theta[1] - theta[0]) / (360 * 6.25e-3) / kPasses;
  }
  EXPECT_NEAR(gain, 0.04, 0.002);
  EXPECT_NEAR(phase, 2.0 - 360 * 6.25e-3 * 0.5, 0.05);
  EXPECT_NEAR(delay, 0.5, 0.03);
}

// The ring from the end pointer on, unpacked as the FFT page does: position
// p gives bank 0's two samples, then bank 1's, I in the high byte of each.
std::vector<std::complex<double>> ReadRing(RadioHost& radio, std::uint32_t positions = 4096) {
  const std::uint32_t end = radio.read(0x0C04) & 0x3FFF;
  std::vector<std::uint32_t> banks[2];
  for (int bank = 0; bank < 2; ++bank) {
    radio.write(0x0400, bank == 0 ? 0xC00 : 0x20C00);
    for (std::uint32_t p = 0; p < positions; ++p)
      banks[bank].push_back(radio.read(static_cast<std::uint16_t>(0x8000 + (end + 4 * p) % 0x4000)));
  }
  std::vector<std::complex<double>> samples;
  for (std::size_t p = 0; p < positions; ++p) {
    for (std::uint32_t word : {banks[0][p], banks[1][p]}) {
      samples.emplace_back(static_cast<std::int8_t>(word >> 8), static_cast<std::int8_t>(word));
      samples.emplace_back(static_cast<std::int8_t>(word >> 24), static_cast<std::int8_t>(word >> 16));
    }
  }
  return samples;
}

// The FFT page's capture with the manual trigger: 8192 samples from the end
// pointer on.
std::vector<std::complex<double>> CaptureAsTheFftPage(RadioHost& radio) {
  radio.write(0x1004, 0);
  radio.write(0x0404, 0);
  radio.write(0x0400, 0x80C00);
  radio.set(0x0404, 0x200);
  radio.bbp(31, 0x48);
  radio.write(0x0C08, radio.read(0x0C08) & ~0x20000u);
  radio.bbp(251, 0x64);
  radio.bbp(252, 0);
  radio.write(0x0C08, (radio.read(0x0C08) & ~0x3FFFu) | 0x200);
  radio.write(0x1004, 8);
  radio.write(0x0C00, 0x11);
  radio.write(0x0C00, 0x111);
  radio.pass(10ms);
  radio.set(0x0C08, 0x100000);
  int polls = 0;
  while (polls++ < 1000) {
    radio.pass(10ms);
    if ((radio.read(0x0C04) & 0x10000) == 0) break;
  }
  EXPECT_LT(polls, 1000);
  radio.write(0x1004, 0);
  radio.set(0x0C00, 0x200);
  return ReadRing(radio, 2048);
}

TEST(Capture, AToneShowsUpInTheCaptureMemoryAtItsFrequency) {
  VirtualClock clock;
  KestrelOptions options = Quiet();
  options.radio.environment->tone = Tone{6, 2.5, -90.0};
  options.radio.crystalPpm = 0.0;
  Kestrel chip(clock, options);
  RadioHost radio(chip, clock);
  radio.tune(6);
  radio.bbp(65, 0xBD);  // the FFT page freezes the gain
  radio.bbp(66, 0x1C);
  auto samples = CaptureAsTheFftPage(radio);
  ASSERT_EQ(samples.size(), 8192u);
  Fft(samples);
  std::vector<double> power(samples.size());
  for (std::size_t k = 0; k < samples.size(); ++k) power[k] = std::norm(samples[k]);
  const auto peak = std::max_element(power.begin(), power.end()) - power.begin();
  EXPECT_EQ(peak, 512) << "2.5 MHz of 40 MHz in 8192 bins";
  auto sorted = power;
  std::nth_element(sorted.begin(), sorted.begin() + 4096, sorted.end());
  EXPECT_GT(10 * std::log10(power[512] / sorted[4096]), 40.0);
  // -90 dBm with 76 dB of gain: a complex amplitude of 160 x 10^(-14/20) LSB.
  EXPECT_NEAR(std::sqrt(power[512]) / 8192, 160 * std::pow(10.0, -14.0 / 20), 2.5);
  // The noise: -92 dBm over the 40 MHz sampled, 76 dB up: 17.9 LSB per
  // component where the channel filter passes it.
  double inBand = 0;
  int bins = 0;
  for (std::size_t k = 0; k < power.size(); ++k) {
    const double mhz = (k < 4096 ? k : k - 8192.0) * 40.0 / 8192;
    if (std::abs(mhz) < 4 && std::abs(mhz - 2.5) > 0.1) {
      inBand += power[k];
      ++bins;
    }
  }
  EXPECT_NEAR(std::sqrt(inBand / bins / 8192 / 2), 17.9, 1.0);
}

TEST(Capture, TheEngineWaitsForItsTriggerAndStopsAtTheOffset) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet());
  RadioHost radio(chip, clock);
  radio.tune(1);
  radio.bbp(252, 4);  // 6-bit samples
  radio.write(0x0C08, 0x400);
  radio.write(0x0C00, 0x11);
  radio.write(0x0C00, 0x111);
  radio.pass(50ms);
  EXPECT_NE(radio.read(0x0C04) & 0x10000, 0u) << "nothing to trigger on with the receiver off";
  const auto triggered = clock.now();
  radio.set(0x0C08, 0x100000);
  EXPECT_NE(radio.read(0x0C04) & 0x10000, 0u) << "still recording the stop offset";
  radio.pass(30us);
  const std::uint32_t status = radio.read(0x0C04);
  EXPECT_EQ(status & 0x10000, 0u);
  const std::uint64_t stop = static_cast<std::uint64_t>(triggered.count()) / 100 + 0x400 / 4;
  EXPECT_EQ(status & 0x3FFF, (stop % 4096) * 4) << "where the ring stopped";
  radio.write(0x0400, 0xC00);
  bool varied = false;
  for (std::uint16_t a = 0x8000; a < 0x8400; a += 4) {
    const std::uint32_t word = radio.read(a);
    EXPECT_EQ(word & 0x03030303u, 0u) << "6-bit samples sit in bits 2-7";
    varied = varied || word != 0;
  }
  EXPECT_TRUE(varied);
}

double MeanPower(const std::vector<std::complex<double>>& samples, std::size_t from, std::size_t to) {
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += std::norm(samples[i]);
  return sum / static_cast<double>(to - from);
}

TEST(Capture, WithoutTheManualTriggerTheFirstFrameTriggersIt) {
  VirtualClock clock;
  KestrelOptions options = Quiet();
  // 400 bytes at 6 Mbps: 20 us of preamble and 136 us of symbols.
  const GeneratorFrames one{.count = 1, .rate = {PhyMode::Ofdm, 0}, .length = 400, .startMs = 5.0};
  options.radio.environment->generator = one;
  Kestrel chip(clock, options);
  RadioHost radio(chip, clock);
  radio.tune(1);
  radio.write(0x1004, 8);
  for (bool feq : {false, true}) {
    SCOPED_TRACE(feq ? "FEQ" : "ADC");
    radio.write(0x0C08, (feq ? 0x20000u : 0u) | 0x2000);  // stop 2048 positions (204.8 us) after the trigger
    radio.write(0x0C00, 0x11);
    radio.write(0x0C00, 0x111);
    if (feq) chip.withRadio([&](RadioSide& r) { r.startGenerator(one); });
    radio.pass(4ms);
    EXPECT_NE(radio.read(0x0C04) & 0x10000, 0u) << "waiting for a frame";
    radio.pass(2ms);
    ASSERT_EQ(radio.read(0x0C04) & 0x10000, 0u);
    const auto samples = ReadRing(radio);
    if (!feq) {
      // The frame starts at position 2048 of the ring, sample 8192.
      EXPECT_LT(MeanPower(samples, 0, 8100), 2.0) << "noise before it";
      EXPECT_GT(MeanPower(samples, 8200, 14000), 300.0) << "the frame (-15 dBm after the AGC)";
      continue;
    }
    // FEQ: 64 subcarriers per symbol; BPSK data sits at +-32 on the I axis.
    const std::uint32_t end = radio.read(0x0C04) & 0x3FFF;
    EXPECT_EQ(end, 46u * 16 * 4) << "the 46 symbols after SIGNAL that end within 204.8 us, 16 positions each";
    int points = 0;
    for (std::size_t i = samples.size() - 46 * 64; i < samples.size(); ++i) {
      if (samples[i] == std::complex<double>{}) continue;
      ++points;
      EXPECT_NEAR(std::abs(samples[i].real()), 32.0, 3.0);
      EXPECT_NEAR(samples[i].imag(), 0.0, 3.0);
    }
    EXPECT_EQ(points, 46 * 52);
  }
}

TEST(Calibration, DcocFinishesOnR159Bit6AndTakesTheDcAway) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet(0.0, 0.0, 0.0, 6.0));
  RadioHost radio(chip, clock);
  radio.bbp(65, 0x3D);
  const auto mismatch = [&] {
    radio.writeIndirect(5, 0x1C);
    radio.writeIndirect(0, 0x83);
    radio.writeIndirect(0, 0x03);
    return radio.readIndirect(5);
  };
  EXPECT_EQ(mismatch(), 0x1E) << "residual DC too high";
  EXPECT_NEAR(Measure(radio).mi, 6.0, 0.5);

  radio.writeIndirect(0x8D, 0xFC);
  radio.writeIndirect(0x8C, 0x4C);
  EXPECT_NE(radio.bbp(159) & 0x40, 0) << "running";
  radio.pass(10ms);
  EXPECT_NE(radio.bbp(159) & 0x40, 0);
  radio.pass(20ms);
  EXPECT_EQ(radio.bbp(159) & 0x40, 0) << "done after 25 ms";
  radio.writeIndirect(0x8D, 0xE0);
  EXPECT_EQ(mismatch(), 0x1C);
  EXPECT_NEAR(Measure(radio).mi, 0.18, 0.3);
}

std::uint8_t Convert(RadioHost& radio, std::uint8_t select) {
  radio.bbp(47, static_cast<std::uint8_t>((radio.bbp(47) & 0xDF) | 0x40));
  radio.bbp(58, 0);
  radio.bbp(47, static_cast<std::uint8_t>(radio.bbp(47) | 0x10));
  int polls = 0;
  while ((radio.bbp(47) & 0x10) != 0 && polls++ < 300) radio.pass(10ms);
  EXPECT_NE(radio.bbp(47) & 0x40, 0) << "results ready";
  radio.bbp(47, static_cast<std::uint8_t>((radio.bbp(47) & 0xF8) | select));
  return radio.bbp(49);
}

TEST(Sensors, TemperatureAndTssiFollowTheirSources) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet());
  RadioHost radio(chip, clock);
  EXPECT_EQ(Convert(radio, 4), 0x20) << "25 degrees";
  chip.withRadio([](RadioSide& r) { r.sensors().setTemperature(45.0); });
  EXPECT_EQ(Convert(radio, 4), 37) << "20 degrees more, 3.89 degrees a step";

  radio.write(0x13B0, 0x10);  // 16 dBm
  const std::uint8_t idle = Convert(radio, 0);
  radio.bbp(241, 2);
  radio.bbp(244, 0x31);  // the test tone, 6 dB down: 10 dBm
  const std::uint8_t tone = Convert(radio, 0);
  radio.write(0x13B0, 0x14);  // 2 dB more
  const std::uint8_t louder = Convert(radio, 0);
  EXPECT_NEAR(idle, 26, 1) << "the detector's offset at 45 degrees";
  EXPECT_NEAR(tone - idle, 15, 1) << "1.5 per mW";
  EXPECT_NEAR(louder - idle, 24, 1);
}

// The converter samples when its conversion ends: a tone switched on after
// the start is measured. The amplifier's gain error moves the detector, and
// the faults hold the DC-offset calibration and the converter busy.
TEST(Sensors, SampleAtTheEndGainErrorAndStuckEngines) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet());
  RadioHost radio(chip, clock);
  radio.write(0x13B0, 0x10);  // 16 dBm; the tone 6 dB down is 10 mW
  radio.bbp(47, 0x50);
  radio.bbp(241, 2);
  radio.bbp(244, 0x31);
  radio.pass(2ms);
  EXPECT_NE(radio.bbp(47) & 0x40, 0);
  radio.bbp(47, 0x40);
  EXPECT_EQ(radio.bbp(49), 24 + 15);

  chip.withRadio([](RadioSide& r) { r.sensors().setTxGainError(-3.0); });  // 5 mW
  EXPECT_EQ(Convert(radio, 0), 24 + 8);

  chip.faults().setBusyStuck(BusyUnit::Sensor, true);
  radio.bbp(47, 0x50);
  radio.pass(50ms);
  EXPECT_EQ(radio.bbp(47) & 0x50, 0x10) << "busy, no results";
  chip.faults().setBusyStuck(BusyUnit::Sensor, false);
  EXPECT_EQ(radio.bbp(47) & 0x50, 0x40);

  chip.faults().setBusyStuck(BusyUnit::DcOffset, true);
  radio.writeIndirect(0x8C, 0x4C);
  radio.pass(100ms);
  EXPECT_NE(radio.bbp(159) & 0x40, 0);
  chip.faults().setBusyStuck(BusyUnit::DcOffset, false);
  EXPECT_EQ(radio.bbp(159) & 0x40, 0);
}

TEST(Baseband, PredistortionTablesDataScopeAndVcoCalibration) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet());
  RadioHost radio(chip, clock);
  radio.bbp(4, 0x10);
  const auto table = [&](bool buffer) {
    radio.bbp(189, buffer ? 0x80 : 0x00);
    std::vector<int> values;
    for (int i = 0; i < 256; ++i) {
      radio.bbp(190, static_cast<std::uint8_t>(i));
      values.push_back(radio.bbp(191));
    }
    return values;
  };
  EXPECT_EQ(table(false)[200], 200) << "identity until calibrated";
  EXPECT_EQ(table(true)[200], 0);
  radio.bbp(186, static_cast<std::uint8_t>(radio.bbp(186) | 0x20));
  const auto measured = table(true);
  const auto correction = table(false);
  EXPECT_TRUE(std::is_sorted(measured.begin(), measured.end()));
  EXPECT_TRUE(std::is_sorted(correction.begin(), correction.end()));
  EXPECT_LT(measured[255], 230) << "the amplifier compresses";
  for (int i = 0; i < 256; i += 15)
    EXPECT_NEAR(measured[static_cast<std::size_t>(correction[static_cast<std::size_t>(i)])], measured[255] * i / 255.0, 2.0)
        << "the correction makes the amplifier linear, " << i;

  radio.tune(1);
  radio.bbp(65, 0xBD);
  radio.bbp(66, 0x1C);
  radio.set(0x05F8, 1);
  std::set<std::uint32_t> values;
  for (int i = 0; i < 5000; ++i) values.insert(radio.read(0x05FC));
  EXPECT_GT(values.size(), 10u) << "noise, sample by sample";
  EXPECT_LT(*values.rbegin(), 256u);
  radio.set(0x05F8, 1);
  for (std::uint32_t v : {0x12u, 0x1034u, 0x56u}) radio.write(0x05FC, v);
  const auto playback = chip.withRadio([](RadioSide& r) { return r.dataScope().playback(); });
  EXPECT_EQ((std::vector<int>{playback[0], playback[1], playback[2]}), (std::vector<int>{0x12, 0x34, 0x56}));

  radio.host().rfWrite(0, 4, static_cast<std::uint8_t>(radio.host().rfRead(0, 4) | 0x80));
  EXPECT_NE(radio.host().rfRead(0, 4) & 0x80, 0) << "calibrating";
  radio.pass(2ms);
  EXPECT_EQ(radio.host().rfRead(0, 4) & 0x80, 0);
}

}  // namespace
}  // namespace kqa::chip

namespace kqa::chip {
namespace {

TEST(Baseband, IndirectTablesBehindTheirIndexAndDataRegisters) {
  VirtualClock clock;
  Kestrel chip(clock, Quiet());
  RadioHost radio(chip, clock);
  const auto entry = [&](std::uint8_t index, std::uint8_t data, std::uint8_t i) {
    radio.bbp(index, i);
    return radio.bbp(data);
  };
  EXPECT_EQ(entry(184, 185, 0x10), 0x20);  // gain: 2i
  EXPECT_EQ(entry(184, 185, 0xFF), 0xFE);  // ... at most 0xFE
  EXPECT_EQ(entry(195, 196, 40), 0x1B);    // filter: 7 x 40 + 3 = 283 = 0x11B
  radio.bbp(195, 2);
  radio.bbp(196, 0xA5);
  EXPECT_EQ(entry(195, 196, 2), 0xA5);
  EXPECT_EQ(radio.bbp(195), 2) << "the index register keeps its value";

  // The PAPD table answers only while R4 holds 0x10.
  radio.bbp(187, 7);
  radio.bbp(188, 0x5C);  // R4 = 0: a plain register
  EXPECT_EQ(radio.bbp(188), 0x5C);
  radio.bbp(4, 0x10);
  EXPECT_EQ(entry(187, 188, 7), 7) << "identity, untouched by the write above";
  radio.bbp(188, 0x3E);
  radio.bbp(4, 0x00);
  EXPECT_EQ(radio.bbp(188), 0x5C);
  const auto papd = chip.withRadio([](RadioSide& r) { return r.bbpTables().papd(); });
  EXPECT_EQ(papd[7], 0x3E);
  EXPECT_EQ(papd[8], 8);
}

}  // namespace
}  // namespace kqa::chip
