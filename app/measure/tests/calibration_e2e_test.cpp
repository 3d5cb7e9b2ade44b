// The IQ calibration page's proposals and the PA/PD memories against the
// emulated Kestrel.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>

#include <unistd.h>

#include "app/measure/iq_calibration.h"
#include "app/measure/papd_memories.h"
#include "app/measure/tests/measure_rig.h"

namespace kqa::measure {
namespace {

using device::testing::RigBed;

chip::KestrelOptions Imbalanced(double gain, double phaseDeg, double delayNs) {
  chip::KestrelOptions options = testing::RadioRig("noise default -95\n");
  options.radio.iqGainImbalance = gain;
  options.radio.iqPhaseDeg = phaseDeg;
  options.radio.iqGroupDelayNs = delayNs;
  options.radio.dcOffsetI = 6;
  options.radio.dcOffsetQ = -4;
  return options;
}

TEST(IqCalibrationEndToEnd, TheProposalsRecoverTheReceiversImbalance) {
  struct Part {
    double gain, phase, delay;
  };
  for (const Part part : {Part{0.03, 1.5, 0.0}, Part{-0.05, -2.25, 0.0}, Part{0.02, 1.0, 0.4}}) {
    RigBed bed(Imbalanced(part.gain, part.phase, part.delay));
    IqCalibration calibration(bed.device);
    const IqCalibrationResult iq = calibration.rxIq();
    EXPECT_EQ(iq.measurements, 40);
    // The two tones (9.375 and 3.125 MHz) average the delay's phase at 6.25 MHz.
    const double phaseSeen = part.phase - 360.0 * 6.25e6 * part.delay * 1e-9;
    EXPECT_NEAR(iq.gain, part.gain, 1.0 / 128) << part.gain;
    EXPECT_NEAR(iq.phase * 3.14159 / std::numbers::pi, phaseSeen, 0.25) << part.phase;
    EXPECT_NEAR(iq.r40, -part.gain * 128, 1.0) << part.gain;
    EXPECT_NEAR(iq.r41, -phaseSeen * 4, 1.0) << part.phase;
    EXPECT_NEAR(iq.last.mi, 6.0, 0.5) << "the DC shows in the means";
    EXPECT_NEAR(iq.last.mq, -4.0, 0.5);

    const IqCalibrationResult rx = calibration.rxGroupDelay();
    EXPECT_EQ(rx.measurements, 200);
    EXPECT_NEAR(rx.groupDelay, part.delay, 0.05) << part.delay;
    EXPECT_NEAR(rx.delayRegister, part.delay * 10, 1.0) << part.delay;
    const IqCalibrationResult tx = calibration.groupDelay();
    EXPECT_NEAR(tx.groupDelay, part.delay * 4 / 3, 0.07) << part.delay;
    EXPECT_EQ(bed.bench.chip().peekBbp(23), 0x10) << "the set-up is left as set";
  }
}

class PapdEndToEnd : public ::testing::Test {
 protected:
  PapdEndToEnd() : folder_(std::filesystem::temp_directory_path() / ("kqa-papd-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(folder_);
  }
  ~PapdEndToEnd() override { std::filesystem::remove_all(folder_); }
  std::string file(const std::string& name) const { return (folder_ / name).string(); }
  std::uint32_t packet(int bank, std::size_t word) {
    return bed_.bench.chip().withCore([&](chip::ChipCore& core) { return core.memory().packetBuffer(bank)[word]; });
  }
  std::uint32_t shared(int bank, std::size_t word) {
    return bed_.bench.chip().withCore([&](chip::ChipCore& core) { return core.memory().sharedMemory(bank)[word]; });
  }

  std::filesystem::path folder_;
  RigBed bed_;
  PapdMemories memories_{bed_.device};
};

TEST_F(PapdEndToEnd, APacketBufferFileGoesInAndComesBackOutWordForWord) {
  std::ofstream out(file("in.txt"));
  for (std::uint32_t i = 0; i < 16384 + 3; ++i) out << std::hex << (0xA5000000u | i) << "\n";
  out.close();
  const MemoryFileResult written = memories_.writePbf(file("in.txt"));
  EXPECT_TRUE(written.ok);
  EXPECT_EQ(written.values, 16384u);
  EXPECT_EQ(written.ignored, 3u) << "lines past bank 1's end are not wrapped over it";
  EXPECT_EQ(packet(0, 0), 0xA5000000u);
  EXPECT_EQ(packet(0, 8191), 0xA5001FFFu);
  EXPECT_EQ(packet(1, 0), 0xA5002000u);
  EXPECT_EQ(packet(1, 8191), 0xA5003FFFu);

  ASSERT_TRUE(memories_.readPbf(file("out.txt")).ok);
  std::ifstream in(file("out.txt"));
  std::string line;
  for (std::uint32_t i = 0; i < 16384; ++i) {
    ASSERT_TRUE(std::getline(in, line));
    char expected[16];
    std::snprintf(expected, sizeof expected, "%08X", 0xA5000000u | i);
    ASSERT_EQ(line, expected) << i;
  }
  EXPECT_FALSE(std::getline(in, line));
  memories_.papdMode = true;
  ASSERT_TRUE(memories_.readPbf(file("papd.txt")).ok);
  EXPECT_EQ(std::filesystem::file_size(file("papd.txt")), (8192u + 2731u) * 9);
}

TEST_F(PapdEndToEnd, AFileWithATypoWritesNothing) {
  std::ofstream(file("bad.txt")) << "11111111\n2222X222\n";
  const MemoryFileResult result = memories_.writeShareMemory(file("bad.txt"));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.problem, "Line 2: \"2222X222\" is not a hexadecimal number.");
  EXPECT_EQ(shared(0, 0), 0u);
  EXPECT_FALSE(memories_.writePbf(file("missing.txt")).ok);
}

TEST_F(PapdEndToEnd, ShareMemoryAndWaveformsLandInBothMemories) {
  std::ofstream out(file("share.txt"));
  for (std::uint32_t i = 0; i < 4096 + 2; ++i) out << std::hex << (0x5A000000u | i) << "\n";
  out.close();
  ASSERT_TRUE(memories_.writeShareMemory(file("share.txt")).ok);
  EXPECT_EQ(shared(0, 4095), 0x5A000FFFu);
  EXPECT_EQ(shared(1, 1), 0x5A001001u);
  EXPECT_EQ(bed_.bench.chip().peekRegister(0x0400) & (1u << 19), 0u) << "bank 0 selected at the end";
  ASSERT_TRUE(memories_.readShareMemory(file("back.txt")).ok);
  EXPECT_EQ(std::filesystem::file_size(file("back.txt")), (4096u + 2048u) * 9);

  std::ofstream(file("wave.txt")) << "1\t2\t3\t4\n5\t6\t7\t8\n-1\t0\t0\t0\n0\t0\t0\t0\n";
  const MemoryFileResult wave = memories_.writeWaveform(file("wave.txt"));
  EXPECT_TRUE(wave.ok);
  EXPECT_EQ(wave.values, 2u);
  EXPECT_EQ(packet(0, 0), 0x03002001u);
  EXPECT_EQ(packet(0, 1), 0x07006005u);
  EXPECT_EQ(packet(0, 2), 0x000003FFu);
  EXPECT_EQ(shared(0, 0), 0x00800040u);
  ASSERT_TRUE(memories_.readWaveform(file("wave-out.txt")).ok);
  std::ifstream in(file("wave-out.txt"));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "1\t32\t0\t3");
}

TEST_F(PapdEndToEnd, DataScopeAndTheCalibrationTablesMatchTheChip) {
  ASSERT_TRUE(memories_.readDataScope(file("scope.txt")).ok);
  const auto snapshot = bed_.bench.chip().withRadio([](chip::RadioSide& radio) { return radio.dataScope().snapshot(); });
  std::ifstream in(file("scope.txt"));
  std::string line;
  for (std::size_t i = 0; i < 5000; ++i) {
    ASSERT_TRUE(std::getline(in, line));
    ASSERT_EQ(std::stoul(line, nullptr, 16), snapshot[i]) << i;
  }
  std::ofstream(file("play.txt")) << "12\n1FF\n";
  EXPECT_TRUE(memories_.writeDataScope(file("play.txt")).ok);
  const auto playback = bed_.bench.chip().withRadio([](chip::RadioSide& radio) { return radio.dataScope().playback(); });
  EXPECT_EQ(playback[0], 0x12);
  EXPECT_EQ(playback[1], 0xFF);

  memories_.papdCalibration(1, folder_.string());
  const auto [buffer, table] = bed_.bench.chip().withRadio([](chip::RadioSide& radio) {
    return std::pair{radio.predistortion().buffer(), radio.predistortion().table()};
  });
  const auto lines = [&](const std::string& name) {
    std::ifstream table_in(file(name));
    std::vector<unsigned> values;
    for (std::string l; std::getline(table_in, l);) values.push_back(static_cast<unsigned>(std::stoul(l, nullptr, 16)));
    return values;
  };
  const std::vector<unsigned> measured = lines("buf1.txt");
  const std::vector<unsigned> correction = lines("lut1_hw_cal.txt");
  ASSERT_EQ(measured.size(), 256u);
  ASSERT_EQ(correction.size(), 256u);
  for (std::size_t i = 0; i < 256; ++i) {
    EXPECT_EQ(measured[i], buffer[i]) << i;
    EXPECT_EQ(correction[i], table[i]) << i;
  }
  EXPECT_NE(measured[200], 200u) << "the amplifier compresses";
  EXPECT_EQ(bed_.bench.chip().peekBbp(189) & 0x80, 0) << "the table selected again";
}

}  // namespace
}  // namespace kqa::measure
