// The pages' own logic: the graph's frames, the controls' rules, the register
// box, the fields of the IQ page, what the PA/PD page says, the board's RSSI
// offsets.
#include <gtest/gtest.h>

#include "app/device/tests/fake_device.h"
#include "app/measure/fft_graph_tool.h"
#include "app/measure/iq_calibration.h"
#include "app/measure/noise_scan.h"
#include "app/measure/papd_test_tool.h"

namespace kqa::measure {
namespace {

using device::testing::TestBed;

TEST(FftGraphTool, TheGraphFramesAndTheControlsRules) {
  const GraphFrame frequency = FrequencyGraph(40);
  EXPECT_EQ(frequency.xLabel, "Frequency (MHz)");
  EXPECT_EQ(frequency.yLabel, "Power Spectrum Magnitude (dB)");
  EXPECT_EQ(std::tie(frequency.xMin, frequency.xMax, frequency.yMin, frequency.yMax),
            std::make_tuple(-40.0, 40.0, -20.0, 60.0));
  const GraphFrame time = TimeGraph(50);
  EXPECT_EQ(time.title, "");
  EXPECT_EQ(time.xLabel, "Time (micro second)");
  EXPECT_EQ(std::tie(time.xMin, time.xMax, time.yMin, time.yMax),
            std::make_tuple(0.0, 50.0, -140.0, 140.0));
  EXPECT_EQ(NoiseTitle(-1.5), "The noise is larger than golden noise power by -1.500000 dB");

  EXPECT_EQ(SpanOfBandwidth(0), 20);
  EXPECT_EQ(SpanOfBandwidth(1), 40);
  EXPECT_EQ(TimeRangeFor(200, 40), 100);
  EXPECT_EQ(TimeRangeFor(200, 20), 200);
  EXPECT_EQ(TimeRangeFor(50, 40), 50);
  EXPECT_EQ(RxPathNames(1), std::vector<std::string>{"RX 0"});
  EXPECT_EQ(RxPathNames(3), (std::vector<std::string>{"RX 1", "RX 2", "RX 0"}));
}

TEST(FftGraphTool, ATriggerOffsetOrARegisterBoxTypoSendsNothing) {
  TestBed bed;
  FftGraphTool tool(bed.device);
  bed.chip.bbp[65] = 0x2C;
  bed.chip.bbp[66] = 0x38;
  tool.initialise();
  EXPECT_EQ(tool.r65Text(), "2C");
  bed.chip.clearCalls();

  tool.triggerOffsetText = "4G00";
  FftCaptureSettings settings;
  EXPECT_EQ(tool.prepareRun(settings), page::Outcome::Refused);
  tool.registerBox = {"256", "", registers::Direction::Read};
  EXPECT_EQ(tool.registerReadWrite(), page::Outcome::Refused);
  tool.registerBox = {"70", "1FF", registers::Direction::Write};
  EXPECT_EQ(tool.registerReadWrite(), page::Outcome::Refused);
  EXPECT_TRUE(bed.chip.calls().empty());
  EXPECT_EQ(bed.prompt.messages().size(), 3u);

  // A frequency-domain run freezes the gain and gives the saved one back.
  tool.triggerOffsetText = " 0x3E00 ";
  EXPECT_EQ(tool.prepareRun(settings), page::Outcome::Done);
  EXPECT_EQ(settings.triggerOffset, 0x3E00u);
  EXPECT_EQ(bed.chip.bbp[65], 0xBD);
  tool.finishRun(settings);
  EXPECT_EQ(bed.chip.bbp[65], 0x2C);
  EXPECT_EQ(tool.r65Text(), "2C");

  tool.registerBox = {"70", "5a", registers::Direction::Write};
  EXPECT_EQ(tool.registerReadWrite(), page::Outcome::Done);
  EXPECT_EQ(bed.chip.bbp[70], 0x5A);
  tool.registerBox = {"70", "", registers::Direction::Read};
  tool.registerReadWrite();
  EXPECT_EQ(tool.registerBox.valueText, "5A");
}

TEST(IqCalibrationFields, EachCalibrationFillsItsFieldsInThePagesFormats) {
  IqCalibrationResult result;
  result.last = {.mi = 6.0004, .mq = -4.0, .si = 25.25, .sq = 24.5, .cross = 0.125};
  result.gain = 0.0299;
  result.r40 = -4;
  result.delayRegister = 4;
  const auto iq = IqCalibrationFields(result, IqCalibrationKind::RxIq);
  ASSERT_EQ(iq.size(), 9u);
  EXPECT_EQ(iq[0].text, "6.000");
  EXPECT_EQ(iq[4].caption, "cross iq");
  EXPECT_EQ(iq[5].text, "0.030");
  EXPECT_EQ(iq[7].caption, "Cal R40=");
  EXPECT_EQ(iq[7].text, "-4.000");
  const auto delay = IqCalibrationFields(result, IqCalibrationKind::GroupDelay);
  EXPECT_EQ(delay.back().caption, "Cal R42=");
  EXPECT_EQ(delay.back().text, "4");
  EXPECT_EQ(IqCalibrationFields(result, IqCalibrationKind::RxGroupDelay).back().caption,
            "Cal R53=");
}

TEST(PapdTestTool, WhatAReadOrAWriteSays) {
  const PapdTarget pbf{PapdTarget::Kind::Memory, PapdMemory::Pbf};
  MemoryFileResult result{.ok = true, .problem = {}, .values = 16384, .ignored = 0};
  EXPECT_EQ(DescribeMemoryFile(pbf, true, result, "/tmp/a/pbf.txt"),
            "Read 16384 words from PBF into pbf.txt.");
  result.ignored = 1;
  EXPECT_EQ(DescribeMemoryFile(pbf, false, result, "in.txt"),
            "Wrote 16384 words of in.txt to PBF; 1 value past its end was not written.");
  const PapdTarget waveform{PapdTarget::Kind::Memory, PapdMemory::Waveform};
  EXPECT_EQ(DescribeMemoryFile(waveform, false,
                               {.ok = true, .problem = {}, .values = 1, .ignored = 0}, "w.txt"),
            "Wrote 1 line pair of w.txt to the waveform.");
  EXPECT_EQ(DescribeMemoryFile(pbf, false,
                               {.ok = false,
                                .problem = "Line 2: \"x\" is not a hexadecimal number.",
                                .values = 0,
                                .ignored = 0},
                               "/tmp/b.txt"),
            "/tmp/b.txt: Line 2: \"x\" is not a hexadecimal number.");
  for (const char* name : {"pbf", "share", "scope", "waveform", "table"})
    EXPECT_EQ(PapdTargetName(*PapdTargetNamed(name)), name);
  EXPECT_FALSE(PapdTargetNamed("PBF"));
}

TEST(NoiseScan, TheBoardsOffsetsComeFromItsConfigurationMemory) {
  TestBed bed;
  bed.chip.eeprom[0x46] = 0x02;  // path 0
  bed.chip.eeprom[0x47] = 0xFD;  // path 1: -3
  bed.chip.eeprom[0x48] = 0x81;  // path 2: -127
  bed.chip.eeprom[0x4A] = 0x04;
  EXPECT_EQ(BoardRssiOffsets(bed.configMemory(), NoiseBand::TwoPointFour),
            (std::array<std::int8_t, 3>{2, -3, -127}));
  EXPECT_EQ(BoardRssiOffsets(bed.configMemory(), NoiseBand::Five)[0], 4);
}

}  // namespace
}  // namespace kqa::measure
