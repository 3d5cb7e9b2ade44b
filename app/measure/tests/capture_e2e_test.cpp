// Capture, spectrum, files and the noise scan against the emulated Kestrel
// through the in-process driver.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

#include "app/device/connection.h"
#include "app/measure/adc_file.h"
#include "app/measure/capture_dump.h"
#include "app/measure/capture_sequence.h"
#include "app/measure/fft_capture.h"
#include "app/measure/noise_scan.h"
#include "app/measure/tests/measure_rig.h"
#include "platform/bytes/little_endian.h"

namespace kqa::measure {
namespace {

using device::testing::RigBed;
using testing::RigTuner;
using testing::RadioRig;

int Signed(std::uint32_t word, int byte) { return static_cast<std::int8_t>(word >> (8 * byte)); }

// The chip's capture ring, oldest word first, straight from its memory.
struct ChipRing {
  std::vector<std::uint32_t> a, b;
};
ChipRing ReadChipRing(RigBed& bed) {
  const std::uint32_t end = bed.bench.chip().peekRegister(0x0C04) & 0x3FFF;
  ChipRing ring;
  bed.bench.chip().withCore([&](chip::ChipCore& core) {
    for (std::uint32_t i = 0; i < 4096; ++i) {
      ring.a.push_back(core.memory().packetBuffer(0)[(end / 4 + i) % 4096]);
      ring.b.push_back(core.memory().packetBuffer(1)[(end / 4 + i) % 4096]);
    }
  });
  return ring;
}

// Each CR LF line of a file as its tab-separated numbers.
std::vector<std::vector<int>> ReadNumbers(const std::string& path, const std::string& lineEnd) {
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::vector<int>> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find(lineEnd, at);
    if (end == std::string::npos) break;
    std::istringstream fields(text.substr(at, end - at));
    std::vector<int> numbers;
    for (std::string field; std::getline(fields, field, '\t');)
      if (!field.empty()) numbers.push_back(std::stoi(field));
    lines.push_back(numbers);
    at = end + lineEnd.size();
  }
  return lines;
}

class TempFolder {
 public:
  TempFolder() : path_(std::filesystem::temp_directory_path() / ("kqa-measure-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

Spectrum OneSpectrum(RigBed& bed) {
  bed.bench.clock().sleep(std::chrono::milliseconds(50));  // the ring has filled since power-on
  WriteFftGain(bed.device);
  std::atomic<bool> running = true;
  FftCaptureSettings settings;
  settings.maxCaptures = 1;
  SampleStore store;
  Spectrum spectrum;
  EXPECT_EQ(RunFftCaptures(bed.device, settings, running, store, nullptr,
                           [&](const FftCaptureResult& result) { spectrum = *result.spectrum; }),
            1);
  return spectrum;
}

TEST(CaptureEndToEnd, AToneShowsInTheSpectrumAtItsOffsetAndLevel) {
  // dB on the graph for dBm at the antenna: the frozen gain (20 + 2 x 0x1C =
  // 76 dB), 160 LSB for 0 dBm, the window's coherent sum, less the graph's 28 dB.
  double windowSum = 0;
  for (double w : SpectrumWindow()) windowSum += w;
  const double graphDbForDbm = 76.0 + 20 * std::log10(160.0) + 20 * std::log10(windowSum) - 28.0;
  // Point j shows bin j + 1, so a tone on a bin shows one bin (20 / 256 MHz)
  // below its frequency; these tones sit on bins.
  const double bin = 20.0 / 256.0;
  for (auto [offset, level] : {std::pair{3.125, -90.0}, {-6.25, -84.0}, {0.9375, -100.0}}) {
    std::ostringstream environment;
    environment << "noise default -97\ntone channel=3 level=" << level << " offset=" << offset << "\n";
    RigBed bed(RadioRig(environment.str()));
    RigTuner(bed).selectChannel(2);
    const Spectrum spectrum = OneSpectrum(bed);
    std::size_t peak = 0;
    for (std::size_t j = 0; j < kFftPoints; ++j)
      if (spectrum.curve[j].y > spectrum.curve[peak].y) peak = j;
    EXPECT_LE(std::abs(spectrum.curve[peak].x - offset), bin) << offset;
    EXPECT_NEAR(spectrum.curve[peak].y - graphDbForDbm, level, 3.0) << offset;
  }
}

TEST(CaptureEndToEnd, ANoiseFloorAtTheGoldenUnitsLevelGivesAFigureNearZero) {
  RigBed bed(RadioRig("noise default -95\n"));
  RigTuner(bed).selectChannel(0);
  const Spectrum spectrum = OneSpectrum(bed);
  EXPECT_NEAR(spectrum.curve[255 - 64].y, GoldenSpectrum()[255 - 64], 2.0) << "in the band";
  RigBed louder(RadioRig("noise default -85\n"));
  RigTuner(louder).selectChannel(0);
  EXPECT_NEAR(OneSpectrum(louder).noiseFigure - spectrum.noiseFigure, 10.0, 1.5);
}

TEST(CaptureEndToEnd, TheFetchReadsTheRingInTimeOrderWhateverItsBlockSize) {
  RigBed bed(RadioRig("noise default -80\n"));
  RigTuner(bed).selectChannel(0);
  CaptureRecipe recipe;
  recipe.stopOffset = 0x124;  // leaves the end pointer off a 64-byte boundary
  const CaptureOutcome outcome = RunCapture(bed.device, recipe);
  ASSERT_TRUE(outcome.completed);
  ASSERT_NE(outcome.endPointer % 64, 0u);
  const ChipRing ring = ReadChipRing(bed);
  CaptureBanks small, large;
  ASSERT_TRUE(FetchCaptureBanks(bed.device, outcome.endPointer, kSmallFetchBlock, small));
  ASSERT_TRUE(FetchCaptureBanks(bed.device, outcome.endPointer, kLargeFetchBlock, large));
  EXPECT_EQ(small.a, large.a);
  EXPECT_EQ(small.b, large.b);
  for (std::size_t i = 0; i < 4096; ++i) {
    ASSERT_EQ(GetLe32(small.a.data(), 4 * i), ring.a[i]) << i;
    ASSERT_EQ(GetLe32(small.b.data(), 4 * i), ring.b[i]) << i;
  }
}

TEST(CaptureEndToEnd, CaptureModeFilesHoldTheChipsCaptureMemory) {
  TempFolder folder;
  RigBed bed(RadioRig("noise default -75\n"));
  RigTuner(bed).selectChannel(0);
  CaptureSettings settings;
  settings.count = 2;
  settings.triggerSource = 0;
  const CaptureModeResult result = RunCaptureMode(bed.device, settings, folder.file("run.cap"));
  EXPECT_TRUE(result.completed);
  EXPECT_EQ(result.files, (std::vector<std::string>{folder.file("run_00001.txt"), folder.file("run_00002.txt")}));
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"Capture data done!"});
  const ChipRing adc8 = ReadChipRing(bed);
  const auto lines8 = ReadNumbers(folder.file("run_00002.txt"), "\r\n");
  ASSERT_EQ(lines8.size(), 8192u * 4);
  for (std::size_t i = 0; i < 8192; ++i) {
    const std::uint32_t a = adc8.a[i % 4096], b = adc8.b[i % 4096];
    const std::vector<std::vector<int>> expected = {{Signed(a, 1), Signed(a, 0)}, {Signed(a, 3), Signed(a, 2)},
                                                    {Signed(b, 1), Signed(b, 0)}, {Signed(b, 3), Signed(b, 2)}};
    for (std::size_t k = 0; k < 4; ++k) ASSERT_EQ(lines8[4 * i + k], expected[k]) << i;
  }

  settings.count = 1;
  settings.format = SampleFormat::Adc6;
  RunCaptureMode(bed.device, settings, folder.file("six.txt"));
  const ChipRing adc6 = ReadChipRing(bed);
  const auto lines6 = ReadNumbers(folder.file("six.txt"), "\r\n");
  ASSERT_EQ(lines6.size(), 8192u * 8);
  bool varied = false;
  for (std::size_t i = 0; i < 4096; ++i)
    for (int bank = 0; bank < 2; ++bank) {
      const std::uint32_t word = bank == 0 ? adc6.a[i] : adc6.b[i];
      ASSERT_EQ(word & 0x03030303u, 0u) << "six-bit samples sit in bits 2-7";
      for (int k = 0; k < 4; ++k) {
        const int expected = static_cast<std::int8_t>(word >> (8 * (3 - k))) / 4;
        ASSERT_EQ(lines6[8 * i + 4 * static_cast<std::size_t>(bank) + static_cast<std::size_t>(k)],
                  std::vector<int>{expected});
        varied = varied || expected != 0;
      }
    }
  EXPECT_TRUE(varied);
}

TEST(CaptureEndToEnd, AnUnopenableFileEndsTheCapturesWithItsMessage) {
  RigBed bed(RadioRig("noise default -95\n"));
  CaptureSettings settings;
  settings.count = 3;
  settings.triggerSource = 0;
  const CaptureModeResult result = RunCaptureMode(bed.device, settings, "/nonexistent/folder/run.txt");
  EXPECT_FALSE(result.completed);
  EXPECT_TRUE(result.files.empty());
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"CaptureData File not opened!"});
}

TEST(CaptureEndToEnd, TheAdcFileHoldsTheChipsSamples) {
  TempFolder folder;
  RigBed bed(RadioRig("noise default -70\n"));
  RigTuner(bed).selectChannel(0);
  std::atomic<bool> running = true;
  FftCaptureSettings settings;
  settings.domain = Domain::Time;
  settings.manualTrigger = true;
  settings.maxCaptures = 1;
  SampleStore store;
  ASSERT_EQ(RunFftCaptures(bed.device, settings, running, store, nullptr, {}), 1);
  std::string error;
  ASSERT_TRUE(SaveAdcFile(folder.file("samples.adc"), store, true, error)) << error;
  const ChipRing ring = ReadChipRing(bed);
  const auto lines = ReadNumbers(folder.file("samples.adc"), "\n");
  ASSERT_EQ(lines.size(), 8192u);
  for (std::size_t g = 0; g < 2048; ++g) {
    const std::uint32_t a = ring.a[g], b = ring.b[g];
    ASSERT_EQ(lines[4 * g], (std::vector<int>{Signed(a, 1), Signed(a, 0)})) << g;
    ASSERT_EQ(lines[4 * g + 1], (std::vector<int>{Signed(a, 3), Signed(a, 2)}));
    ASSERT_EQ(lines[4 * g + 2], (std::vector<int>{Signed(b, 1), Signed(b, 0)}));
    ASSERT_EQ(lines[4 * g + 3], (std::vector<int>{Signed(b, 3), Signed(b, 2)}));
  }
}

TEST(CaptureEndToEnd, StoppingWhileWaitingForAFrameAbandonsTheCapture) {
  RigBed bed(RadioRig("noise default -95\n"));
  RigTuner(bed).selectChannel(0);
  std::atomic<bool> running = true;
  FftCaptureSettings settings;
  settings.domain = Domain::Time;  // auto trigger: waits for a frame that never comes
  SampleStore store;
  int polls = 0;
  // The clock's sleeps stand for the worker's time; the page clears the flag.
  struct StoppingClock final : Clock {
    Clock& inner;
    std::atomic<bool>& flag;
    int& count;
    StoppingClock(Clock& c, std::atomic<bool>& f, int& n) : inner(c), flag(f), count(n) {}
    Duration now() const override { return inner.now(); }
    void sleep(Duration d) override {
      if (++count == 50) flag = false;
      inner.sleep(d);
    }
  } clock(bed.bench.clock(), running, polls);
  device::CloseDevice(bed.device);  // the driver serves one handle at a time
  device::DeviceContext context(bed.bench.provider(), bed.prompt, clock);
  context.trace = nullptr;
  context.asicVersion = bed.device.asicVersion;
  context.eepromWord34 = bed.device.eepromWord34;
  EXPECT_EQ(RunFftCaptures(context, settings, running, store, nullptr, {}), 0);
  EXPECT_LT(polls, 60) << "the 1000 polls were not waited out";
  EXPECT_EQ(bed.bench.chip().peekRegister(0x0404), 0x00F40016u) << "the capture memory was given back";
}

TEST(NoiseScanEndToEnd, EachChannelShowsTheFloorOfBothPaths) {
  RigBed bed(RadioRig("noise default -95\nnoise 3 -88\nnoise 6 -92\nnoise 9 -101\nnoise 14 -80\n"));
  RigTuner tuner(bed);
  bed.channels.channelIndex = 4;
  NoiseScanOptions options;
  options.offsets = {2, 3, 0};  // the board's true offsets (EEPROM word 0x46)
  std::vector<int> heard;
  const auto results = RunNoiseScan(bed.device, bed.memoryMode, bed.channels, tuner, options, nullptr,
                                    [&](const NoiseChannelResult& r) { heard.push_back(r.index); });
  ASSERT_EQ(results.size(), 14u);
  EXPECT_EQ(heard.size(), 14u);
  const std::map<int, int> floors = {{3, -88}, {6, -92}, {9, -101}, {14, -80}};
  for (const NoiseChannelResult& result : results) {
    const int channel = result.index + 1;
    const double floor = floors.contains(channel) ? floors.at(channel) : -95;
    ASSERT_TRUE(result.rssi[0] && result.rssi[1]) << channel;
    EXPECT_FALSE(result.rssi[2]) << "the board has two paths";
    EXPECT_NEAR(*result.rssi[0], floor, 1.0) << channel;
    EXPECT_NEAR(*result.rssi[1], floor, 1.0) << channel;
  }
  EXPECT_EQ(tuner.toggles, 28);
  EXPECT_EQ(bed.channels.channelIndex, 4) << "the channel is selected again";
  EXPECT_TRUE(RunNoiseScan(bed.device, bed.memoryMode, bed.channels, tuner, {.band = NoiseBand::Five}).empty())
      << "the channel list offers no 5 GHz channel";
}

}  // namespace
}  // namespace kqa::measure
