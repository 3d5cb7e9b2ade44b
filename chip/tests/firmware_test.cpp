#include <gtest/gtest.h>

#include "chip/kestrel.h"
#include "chip/tests/radio_host.h"
#include "platform/bytes/little_endian.h"

namespace kqa::chip {
namespace {

using testing::CommandPacket;
using testing::RadioHost;

class Firmware : public ::testing::Test {
 protected:
  VirtualClock clock;
  Kestrel chip{clock, {.completions = Completions::Stepped}};
  RadioHost radio{chip, clock};
  std::vector<std::uint8_t> file = testing::ReadFile(KQA_KESTREL_FIRMWARE);

  std::optional<Mcu::StartResult> lastStart() {
    return chip.withRadio([](RadioSide& r) { return r.mcu().lastStart(); });
  }
};

TEST_F(Firmware, ADownloadOfKestrelBinStartsTheMcuAndADamagedOrIncompleteOneDoesNot) {
  EXPECT_FALSE(radio.firmwareRuns());
  radio.downloadFirmware(file);
  EXPECT_TRUE(radio.firmwareRuns());
  EXPECT_EQ(lastStart(), Mcu::StartResult::Started);
  EXPECT_EQ(radio.readSys(0x0230) & ~1u, 0x80000u + 1024) << "the destination register keeps its value";
  chip.unplug();  // a power cycle stops it again
  chip.replug();
  radio.host().configure();
  EXPECT_FALSE(radio.firmwareRuns());

  struct Case {
    const char* what;
    std::vector<std::uint8_t> file;
    std::vector<int> skip;
    Mcu::StartResult expected;
  };
  auto flipped = file;
  flipped[32 + 64 + 3000] ^= 0x10;
  auto truncated = file;
  truncated.resize(32 + 64 + 2000);  // the loader sends zeros for the missing part
  auto badBlock = file;
  badBlock[32 + 4] ^= 0x01;
  const Case cases[] = {
      {"a flipped program bit", flipped, {}, Mcu::StartResult::ChecksumMismatch},
      {"a truncated file", truncated, {}, Mcu::StartResult::ChecksumMismatch},
      {"a damaged vector block", badBlock, {}, Mcu::StartResult::BadVectorBlock},
      {"a lost chunk", file, {2}, Mcu::StartResult::IncompleteDownload},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    radio.downloadFirmware(file);
    ASSERT_TRUE(radio.firmwareRuns());
    // A new download halts the running firmware; a bad one does not restart it.
    radio.downloadFirmware(c.file, c.skip);
    EXPECT_FALSE(radio.firmwareRuns());
    EXPECT_EQ(lastStart(), c.expected);
  }
}

TEST_F(Firmware, AChunkThatDoesNotMatchItsRegistersIsRefused) {
  radio.writeSys(0x0230, 64);
  radio.writeSys(0x0234, 8u << 16);
  std::vector<std::uint8_t> packet(4 + 12 + 4, 0xAB);
  PutLe32(packet, 0, 12 | 0x10000000u);  // 12 bytes, but 0x0234 says 8
  radio.send(RadioHost::kOut0, packet);
  radio.writeSys(0x0230, Mcu::kIlmSize - 4);  // runs past the ILM
  radio.writeSys(0x0234, 8u << 16);
  PutLe32(packet, 0, 8 | 0x10000000u);
  radio.send(RadioHost::kOut0, packet);
  const auto counters = chip.withRadio([](RadioSide& r) { return r.mcu().counters(); });
  EXPECT_EQ(counters.chunks, 0u);
  EXPECT_EQ(counters.refusedChunks, 2u);
}

TEST_F(Firmware, CommandsAreAnsweredWithTheirSequenceOnlyWhileTheFirmwareRuns) {
  const std::uint8_t function6[8] = {6, 0, 0, 0, 0x01, 0x01, 0x01, 0x00};
  radio.send(RadioHost::kOut1, CommandPacket(31, 1, function6));
  EXPECT_TRUE(radio.drain().empty()) << "no firmware, no answer";

  radio.downloadFirmware(file);
  radio.send(RadioHost::kOut1, CommandPacket(31, 5, function6));
  auto responses = radio.drain();
  ASSERT_EQ(responses.size(), 1u);
  const auto& response = responses[0];
  const std::uint32_t header = GetLe32(response, 0);
  EXPECT_EQ(header >> 30, 1u) << "a response, not received frames";
  EXPECT_EQ((header >> 16) & 0xF, 5u);
  EXPECT_EQ((header >> 20) & 0x7F, 31u);
  ASSERT_EQ(response.size(), (header & 0x1FFF) + 4);
  EXPECT_EQ(GetLe32(response, 4), 0u) << "done";
  EXPECT_EQ(GetLe32(response, 8), 6u);
  EXPECT_EQ(GetLe32(response, 12), 0x010101u);
  EXPECT_EQ(chip.withRadio([](RadioSide& r) { return r.mcu().functionParameter(6); }), 0x010101u);

  const std::uint8_t function2[8] = {2, 0, 0, 0, 0, 0, 0, 0};
  radio.send(RadioHost::kOut1, CommandPacket(31, 6, function2));
  radio.send(RadioHost::kOut1, CommandPacket(12, 7, {}));
  responses = radio.drain();
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_EQ(GetLe32(responses[0], 4), 2u) << "unknown function";
  EXPECT_EQ((GetLe32(responses[1], 0) >> 16) & 0xF, 7u);
  EXPECT_EQ(GetLe32(responses[1], 4), 1u) << "unknown command";
}

}  // namespace
}  // namespace kqa::chip
