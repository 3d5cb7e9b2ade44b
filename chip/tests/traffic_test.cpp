#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "chip/kestrel.h"
#include "chip/radio/random.h"
#include "chip/radio/rx_record.h"
#include "chip/tests/radio_host.h"
#include "platform/bytes/little_endian.h"

namespace kqa::chip {
namespace {

using namespace std::chrono_literals;
using testing::OutTransferOf;
using testing::PageRssi;
using testing::RadioHost;
using testing::RxRecord;
using testing::TxPacket;

constexpr MacAddress kMe{0x02, 0x4B, 0x51, 0x00, 0x00, 0x01};
constexpr MacAddress kOther{0x02, 0x4B, 0x51, 0x77, 0x00, 0x02};
constexpr PhyRate kOfdm54{PhyMode::Ofdm, 7};

KestrelOptions Options(std::optional<Environment> environment = std::nullopt, std::uint32_t seed = 1) {
  return {.seed = seed,
          .completions = Completions::Stepped,
          .radio = {.environment = std::move(environment), .crystalPpm = 0.0}};
}

// A quiet bench with the signal generator on channel 1.
Environment GeneratorOnly(double levelDbm, const PhyRate& rate, std::uint32_t count) {
  Environment environment;
  environment.generator = GeneratorFrames{.channel = 1, .levelDbm = levelDbm, .count = count, .intervalMs = 2.0,
                                          .rate = rate, .length = 200, .startMs = 1.0, .ppm = 10.0};
  return environment;
}

std::vector<std::uint8_t> Body(std::size_t size, std::uint8_t first) {
  std::vector<std::uint8_t> body(size);
  for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<std::uint8_t>(first + i * 7);
  return body;
}

MacAddress Transmitter(const std::vector<std::uint8_t>& frame) {
  MacAddress address{};
  if (frame.size() >= 16) std::copy_n(frame.begin() + 10, 6, address.begin());
  return address;
}

class Traffic : public ::testing::Test {
 protected:
  VirtualClock clock;
};

TEST_F(Traffic, TransmittedFramesComeBackInLoopbackByteForByte) {
  Kestrel chip(clock, Options(Environment{}));
  RadioHost radio(chip, clock);
  radio.setStation(kMe);
  radio.write(0x1004, 0x2C);  // TX, RX, loopback
  radio.set(0x0504, 0x481C);
  const std::vector<std::vector<std::uint8_t>> frames{
      frames::PlainData(kMe, kOther, 7, Body(101, 1)),
      frames::Beacon(kOther, "loop", 1, 1234, 3, false),
      frames::Ack(kOther),
  };
  const PhyRate rates[] = {kOfdm54, {PhyMode::Cck, 3}, {PhyMode::HtMixed, 7}};
  const auto transfer =
      OutTransferOf({TxPacket(rates[0], frames[0]), TxPacket(rates[1], frames[1]), TxPacket(rates[2], frames[2])});

  for (bool several : {true, false}) {
    SCOPED_TRACE(several ? "several records per transfer" : "one record per transfer");
    radio.startReception(several);
    radio.send(RadioHost::kOut0, transfer);
    const auto transfers = radio.drain();
    EXPECT_EQ(transfers.size(), several ? 1u : 3u);
    std::vector<RxRecord> records;
    for (const auto& t : transfers) {
      auto some = testing::ParseRecords(t);
      records.insert(records.end(), some.begin(), some.end());
    }
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_EQ(records[i].frame, frames[i]) << "frame " << i;
      const std::uint32_t word1 = GetLe32(records[i].descriptor, 4);
      EXPECT_EQ(word1 >> 30, static_cast<std::uint32_t>(rates[i].mode));
      EXPECT_EQ((word1 >> 16) & 0x7F, rates[i].mcs);
      EXPECT_EQ(records[i].info & kRxCrcError, 0u);
      EXPECT_NE(records[i].descriptor[8], 0) << "RSSI of path 0";
      EXPECT_EQ(records[i].descriptor[14], records[i].descriptor[8]);
    }
    EXPECT_NE(records[0].info & kRxToMe, 0u);
    EXPECT_NE(records[1].info & kRxBroadcast, 0u);
    EXPECT_EQ(records[1].info & kRxToMe, 0u);
  }
}

TEST_F(Traffic, FramesGoOutOnlyWhileTxIsEnabledAndAreCountedPerQueue) {
  Kestrel chip(clock, Options(Environment{}));
  RadioHost radio(chip, clock);
  const auto frame = frames::PlainData(kOther, kMe, 1, Body(40, 9));
  const auto two = OutTransferOf({TxPacket(kOfdm54, frame), TxPacket(kOfdm54, frame)});

  radio.write(0x1004, 0x08);
  radio.send(RadioHost::kOut0, two);
  EXPECT_EQ(radio.read(0x170C), 0x00020000u) << "two dropped, none sent";
  EXPECT_EQ(radio.read(0x170C), 0u) << "clear on read";

  radio.write(0x1004, 0x2C);  // loopback asked for, but MAC 0x0504 leaves the path open
  radio.send(RadioHost::kOut0, OutTransferOf({TxPacket(kOfdm54, frame)}));
  radio.send(0x05, two);
  EXPECT_EQ(radio.read(0x170C), 3u);
  EXPECT_TRUE(radio.drain().empty()) << "without the loopback path nothing comes back";
  const auto [queue0, queue3] = chip.withRadio([](RadioSide& r) {
    return std::pair{r.transmitter().sentOn(0x02), r.transmitter().sentOn(0x05)};
  });
  EXPECT_EQ(queue0, 1u);
  EXPECT_EQ(queue3, 2u);

  // Malformed transfers: a length past the end; a byte count past the packet.
  std::vector<std::uint8_t> shortTransfer(40, 0);
  PutLe32(shortTransfer, 0, 200 | 1u << 19);
  EXPECT_EQ(radio.send(RadioHost::kOut0, shortTransfer), usb::TransferStatus::Completed);
  auto overlong = TxPacket(kOfdm54, frame);
  PutLe32(overlong, 8, GetLe32(overlong, 8) + (100u << 16));
  radio.send(RadioHost::kOut0, OutTransferOf({overlong}));
  EXPECT_EQ(radio.read(0x170C), 0x00010000u) << "the overlong frame is dropped";
  EXPECT_EQ(chip.withRadio([](RadioSide& r) { return r.malformedTransfers(); }), 1u);

  // Garbage of every shape is taken and dropped, never read past its end.
  Random random(99);
  for (int i = 0; i < 300; ++i) {
    std::vector<std::uint8_t> junk(random.below(600));
    for (auto& byte : junk) byte = random.byte();
    if (junk.size() >= 4 && i % 2 == 0) PutLe32(junk, 0, (random.below(4) << 27) | random.below(0x400));
    EXPECT_EQ(radio.send(static_cast<std::uint8_t>(0x01 + i % 6), junk), usb::TransferStatus::Completed);
  }
  EXPECT_FALSE(radio.firmwareRuns());
}

TEST_F(Traffic, CountersRssiSnrAndDeviationAgreeWithTheFramesDelivered) {
  Kestrel chip(clock, Options(GeneratorOnly(-60.0, kOfdm54, 20)));
  RadioHost radio(chip, clock);
  radio.tune(1);
  radio.setStation(kMe);
  radio.startReception();
  // Frames end at 1 + 2k ms + 52 us; the last at 39.05 ms.
  radio.pass(39500us);

  const auto records = radio.drainRecords();
  ASSERT_EQ(records.size(), 20u);
  for (const auto& record : records) {
    EXPECT_NE(record.info & kRxToMe, 0u);
    EXPECT_EQ(record.info & kRxCrcError, 0u);
    ASSERT_EQ(record.frame.size(), 200u);
    EXPECT_TRUE(std::equal(kMe.begin(), kMe.end(), record.frame.begin() + 4)) << "sent to the station address";
    EXPECT_NEAR(PageRssi(record.descriptor[8], 2, 10), -60, 2);
    EXPECT_NEAR(PageRssi(record.descriptor[9], 3, 10), -61.5, 2.5);
    EXPECT_NEAR(record.descriptor[12] * 0.1881, 35.0, 2.5) << "SNR over a -95 dBm floor";
    EXPECT_EQ(static_cast<std::int8_t>(record.descriptor[15]), 60) << "10 ppm at 2412 MHz in 0.4 kHz";
    EXPECT_EQ(GetLe32(record.descriptor, 4) >> 30, 1u);
  }
  EXPECT_EQ(radio.read(0x1704), 20u << 16) << "20 received, no false CCA";
  EXPECT_EQ(radio.read(0x1700), 0u);
  EXPECT_EQ(radio.read(0x1704), 0u) << "clear on read";

  const int held = -12 - 2 - radio.bbp(50) - 10;
  EXPECT_NEAR(held, -60, 2) << "the AGC still holds the last frame";
  EXPECT_EQ(static_cast<std::int8_t>(radio.bbp(57)), 60);
  radio.pass(10ms);
  EXPECT_NEAR(-12 - 2 - radio.bbp(50) - 10, -95, 2) << "then the channel's noise";
  EXPECT_NEAR(-12 - 3 - radio.bbp(51) - 10, -95, 2);
  EXPECT_EQ(radio.bbp(52), 0) << "no third receive path";
}

TEST_F(Traffic, FramesNearSensitivityAreLostAsCrcOrPhyErrors) {
  constexpr std::uint32_t kCount = 200;
  Kestrel chip(clock, Options(GeneratorOnly(-84.0, kOfdm54, kCount)));
  RadioHost radio(chip, clock);
  radio.tune(1);
  radio.setStation(kMe);
  radio.startReception();
  radio.pass(500ms);
  const auto records = radio.drainRecords();
  std::uint32_t good = 0;
  std::uint32_t bad = 0;
  for (const auto& record : records) ((record.info & kRxCrcError) != 0 ? bad : good)++;
  const std::uint32_t errors = radio.read(0x1700);
  EXPECT_LT(good, kCount / 2) << "11 dB of SNR is far too little for 54 Mbps";
  EXPECT_EQ(good + (errors & 0xFFFF) + (errors >> 16), kCount) << "every frame is received or counted as an error";
  EXPECT_EQ(bad, errors & 0xFFFF) << "bad-FCS frames are delivered and counted";
}

TEST_F(Traffic, ReceptionNeedsTheReceiverOnAndTheRightChannel) {
  Kestrel chip(clock, Options());  // the built-in bench
  RadioHost radio(chip, clock);
  radio.tune(1);
  radio.setStation(kMe);
  radio.pass(500ms);
  EXPECT_TRUE(radio.drain().empty()) << "reception off";
  EXPECT_EQ(radio.read(0x1704), 0u);

  const MacAddress lab{0x02, 0x4B, 0x51, 0xA0, 0x00, 0x01};     // channel 1
  const MacAddress office{0x02, 0x4B, 0x51, 0xA0, 0x00, 0x06};  // channel 6
  const auto beaconsFrom = [&](int channel) {
    radio.tune(channel);
    radio.startReception();
    std::map<MacAddress, int> beacons;
    for (int i = 0; i < 10; ++i) {  // a second, drained as a driver would
      radio.pass(100ms);
      for (const auto& record : radio.drainRecords())
        if (FrameType(record.frame) == 0 && FrameSubtype(record.frame) == 8) ++beacons[Transmitter(record.frame)];
    }
    radio.write(0x1004, 0);
    return beacons;
  };
  auto heard = beaconsFrom(1);
  EXPECT_GE(heard[lab], 9);
  EXPECT_EQ(heard[office], 0);
  heard = beaconsFrom(6);
  EXPECT_GE(heard[office], 9);
  EXPECT_EQ(heard[lab], 0);
}

TEST_F(Traffic, TheAirIsReproducibleFromTheSeed) {
  const auto listen = [this](std::uint32_t seed) {
    Kestrel chip(clock, Options(std::nullopt, seed));
    RadioHost radio(chip, clock);
    radio.tune(1);
    radio.startReception();
    std::vector<std::vector<std::uint8_t>> heard;
    for (int i = 0; i < 30; ++i) {
      radio.pass(10ms);
      for (auto& transfer : radio.drain()) heard.push_back(std::move(transfer));
    }
    return heard;
  };
  const auto first = listen(7);
  EXPECT_GT(first.size(), 10u);
  EXPECT_EQ(listen(7), first);
  EXPECT_NE(listen(8), first);
}

TEST(ThreadedTraffic, AResubmittingReceiverGetsEveryFrameAsItEnds) {
  constexpr std::uint32_t kFrames = 50;
  VirtualClock clock;
  KestrelOptions options = Options(GeneratorOnly(-50.0, kOfdm54, kFrames));
  options.completions = Completions::Thread;
  Kestrel chip(clock, options);
  testing::TestHost host(chip);
  host.configure();
  const std::uint8_t rf[][2] = {{20, 0x50}, {17, 0x99}, {18, 0x99}, {19, 0x01}};
  for (auto [reg, value] : rf) host.rfWrite(0, reg, value);
  host.write32(0x1004, 0x08);

  // A pipeline as the driver runs it: each completion resubmits its buffer.
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t records = 0;
  bool ended = false;
  std::vector<std::uint8_t> buffer(102400);
  std::function<void(usb::TransferResult)> completion = [&](usb::TransferResult result) {
    std::lock_guard lock(mutex);
    if (result.status != usb::TransferStatus::Completed) {
      ended = result.status == usb::TransferStatus::NoDevice;
      changed.notify_all();
      return;
    }
    records += testing::ParseRecords(std::span(buffer).first(result.length)).size();
    changed.notify_all();
    chip.submitBulk(RadioHost::kIn0, buffer, completion);
  };
  chip.submitBulk(RadioHost::kIn0, buffer, completion);
  // Time passes in steps while the host keeps reading registers.
  for (int ms = 0; ms < 110; ++ms) {
    clock.advance(1ms);
    host.read32(0x1700);
  }
  {
    std::unique_lock lock(mutex);
    EXPECT_TRUE(changed.wait_for(lock, 20s, [&] { return records == kFrames; })) << records << " records";
  }
  chip.unplug();
  std::unique_lock lock(mutex);
  EXPECT_TRUE(changed.wait_for(lock, 20s, [&] { return ended; })) << "the pending transfer ends with NoDevice";
}

}  // namespace
}  // namespace kqa::chip
