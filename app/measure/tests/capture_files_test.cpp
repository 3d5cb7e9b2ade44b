// The capture-mode files, the ".adc" file and the unpacking of the capture
// memory, pinned to layouts worked out by hand.
#include <gtest/gtest.h>

#include <string>

#include "app/device/tests/fake_device.h"
#include "app/measure/adc_file.h"
#include "app/measure/capture_dump.h"
#include "app/measure/capture_samples.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::measure {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    EXPECT_NE(end, std::string::npos) << "every line ends in CR LF";
    if (end == std::string::npos) break;
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

CaptureBanks WithWords(std::uint32_t a0, std::uint32_t b0, std::uint32_t a1 = 0, std::uint32_t b1 = 0) {
  CaptureBanks banks;
  PutLe32(banks.a.data(), 0, a0);
  PutLe32(banks.b.data(), 0, b0);
  PutLe32(banks.a.data(), 4, a1);
  PutLe32(banks.b.data(), 4, b1);
  return banks;
}

TEST(CaptureFile, Adc8WritesBytes1And0ThenBytes3And2BankABeforeBankB) {
  const auto lines = Lines(FormatCaptureFile(WithWords(0x7F80FF01, 0x00020300, 0x00000040), SampleFormat::Adc8));
  ASSERT_EQ(lines.size(), 8192u * 4);
  EXPECT_EQ(lines[0], "-1\t+1\t");      // byte 1 = 0xFF, byte 0 = 0x01
  EXPECT_EQ(lines[1], "+127\t-128\t");  // byte 3 = 0x7F, byte 2 = 0x80
  EXPECT_EQ(lines[2], "+3\t0\t");       // bank B
  EXPECT_EQ(lines[3], "0\t+2\t");
  EXPECT_EQ(lines[4], "0\t+64\t");      // word 1 of bank A
  // Word 4096 is the ring's word 0 again: the file holds the ring twice.
  EXPECT_EQ(lines[4096 * 4], lines[0]);
  EXPECT_EQ(lines[4096 * 4 + 3], lines[3]);
}

TEST(CaptureFile, Adc6WritesTheSixBitFieldsFromTheTopOneALine) {
  const auto lines = Lines(FormatCaptureFile(WithWords(0x04000000, 0xFC000000, 0x0000FC7C), SampleFormat::Adc6));
  ASSERT_EQ(lines.size(), 8192u * 8);
  const std::vector<std::string> first(lines.begin(), lines.begin() + 12);
  EXPECT_EQ(first, (std::vector<std::string>{"+1\t", "0\t", "0\t", "0\t",           // bank A word 0
                                              "-1\t", "0\t", "0\t", "0\t",           // bank B word 0
                                              "0\t", "0\t", "-1\t", "+31\t"}));      // bank A word 1
}

TEST(CaptureFile, NamesDropTheExtensionAndAreNumberedWhenThereAreSeveral) {
  EXPECT_EQ(CaptureFileName("/data/run1.cap", 1, 1), "/data/run1.txt");
  EXPECT_EQ(CaptureFileName("/data/run1", 1, 1), "/data/run1.txt");
  EXPECT_EQ(CaptureFileName("/data.old/run", 1, 1), "/data.old/run.txt");
  EXPECT_EQ(CaptureFileName("/data/run.txt", 1, 3), "/data/run_00001.txt");
  EXPECT_EQ(CaptureFileName("/data/run.txt", 3, 3), "/data/run_00003.txt");
  EXPECT_EQ(CaptureFileDialog().filters.front().pattern, "*.txt");
}

TEST(CaptureFile, TheDialogFieldsAreCheckedBeforeTheyAreTaken) {
  CaptureSettings settings;
  std::string problem;
  EXPECT_TRUE(ApplyCaptureDialogFields("3E00", " 3 ", settings, problem));
  EXPECT_EQ(settings.stopOffset, 0x3E00u);
  EXPECT_EQ(settings.count, 3);
  for (auto [offset, times] : {std::pair{"3G00", "1"}, {"200", "two"}, {"200", "-1"}, {"", "1"}}) {
    EXPECT_FALSE(ApplyCaptureDialogFields(offset, times, settings, problem)) << offset << " " << times;
    EXPECT_FALSE(problem.empty());
  }
  EXPECT_EQ(settings.stopOffset, 0x3E00u) << "a refused field changes nothing";
  EXPECT_EQ(settings.count, 3);
}

TEST(CaptureSamples, UnpackTakesIFromTheHighAndQFromTheLowByteOfEachHalf) {
  SampleStore store;
  UnpackSamples(WithWords(0x04FD02FF, 0x80017F10), store);
  const std::complex<double> expected[] = {{2, -1}, {4, -3}, {127, 16}, {-128, 1}};
  for (std::size_t n = 0; n < 4; ++n) {
    EXPECT_EQ(store.s0[n], expected[n]) << n;
    EXPECT_EQ(store.i0[n], static_cast<int>(expected[n].real()));
    EXPECT_EQ(store.q0[n], static_cast<int>(expected[n].imag()));
  }
  EXPECT_EQ(store.s1[0], std::complex<double>{});
}

TEST(AdcFile, OnePathWritesS0AndTwoPathsWriteS1ThenS0) {
  SampleStore store;
  store.s0[0] = {-5, 7};
  store.s0[1] = {128, -129};  // taken as signed bytes
  store.s1[0] = {1, 2};
  const std::string one = FormatAdcFile(store, true);
  EXPECT_EQ(one.substr(0, 14), "-5\t7\n-128\t127\n");
  EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 8192);
  const std::string two = FormatAdcFile(store, false);
  EXPECT_EQ(two.substr(0, 17), "1\t2\t-5\t7\n0\t0\t-128");
  EXPECT_EQ(AdcFilePath("/tmp/run"), "/tmp/run.adc");
  EXPECT_EQ(AdcFilePath("/tmp/run.adc"), "/tmp/run.adc");
  EXPECT_EQ(AdcFileDialog().filters.front().text, "adc Files(*.adc)");
}

}  // namespace
}  // namespace kqa::measure

namespace kqa::measure {
namespace {

// What the driver is asked for: (offset, length) of each block read.
std::vector<std::pair<std::uint32_t, std::uint32_t>> BlockReads(const device::testing::FakeDevice& chip) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> reads;
  for (const auto& call : chip.callsOf(ioctl::VQ_OID_USB_VENDOR_READ_BLOCK))
    reads.emplace_back(GetLe32(call.input.data(), 0), GetLe32(call.input.data(), 4));
  return reads;
}

TEST(CaptureFetch, BlocksStopAtTheRingsEndAndGoOnAtItsStart) {
  // End pointer 0x3FE4: 28 bytes up to 0xC000, then from 0x8000 on; the
  // last read ends where the first began.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> small = {{0xBFE4, 28}};
  for (std::uint32_t i = 0; i < 255; ++i) small.emplace_back(0x8000 + 64 * i, 64);
  small.emplace_back(0xBFC0, 36);
  const std::vector<std::pair<std::uint32_t, std::uint32_t>> large = {{0xBFE4, 28}, {0x8000, 16356}};
  for (const auto& [block, expected] : {std::pair{kSmallFetchBlock, small}, {kLargeFetchBlock, large}}) {
    device::testing::TestBed bed;
    bed.chip.mac[0x0400] = 0x00080C00;
    for (int bank = 0; bank < 2; ++bank)
      for (const auto& [offset, length] : expected)
        bed.chip.script(ioctl::VQ_OID_USB_VENDOR_READ_BLOCK, ERROR_SUCCESS,
                        std::vector<std::uint8_t>(length, static_cast<std::uint8_t>(bank + 1)));
    CaptureBanks banks;
    ASSERT_TRUE(FetchCaptureBanks(bed.device, 0x3FE4, block, banks));
    auto both = expected;
    both.insert(both.end(), expected.begin(), expected.end());
    EXPECT_EQ(BlockReads(bed.chip), both) << block;
    EXPECT_EQ(bed.chip.macWrites(0x0400), (std::vector<std::uint32_t>{0x0C00, 0x0C00, 0x20C00}));
    EXPECT_EQ(banks.a[16383], 1);
    EXPECT_EQ(banks.b[0], 2);
  }
}

TEST(CaptureFetch, AFailedReadClearsTheBanksAndIsShownOnce) {
  device::testing::TestBed bed;
  bed.chip.failAlways(ioctl::VQ_OID_USB_VENDOR_READ_BLOCK, ERROR_GEN_FAILURE);
  CaptureBanks banks;
  banks.a.fill(7);
  EXPECT_FALSE(FetchCaptureBanks(bed.device, 0, kSmallFetchBlock, banks));
  EXPECT_EQ(BlockReads(bed.chip).size(), 1u);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"DeviceIoControl read failed!"});
  EXPECT_EQ(banks.a[0], 0);
}

}  // namespace
}  // namespace kqa::measure
