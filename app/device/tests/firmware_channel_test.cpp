#include <gtest/gtest.h>

#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/tests/fake_device.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::device {
namespace {

using testing::TestBed;
using namespace kqa::ioctl;
using namespace std::chrono_literals;

TEST(FirmwareChannel, PacketHeaderCarriesCommandSequenceAndLength) {
  const std::array<std::uint8_t, 8> payload = {1, 2, 3, 4, 5, 6, 7, 8};
  const QaCmdPacket packet = BuildQACmdPacket(31, 1, payload);
  const std::uint32_t header = packet[0] | packet[1] << 8 | packet[2] << 16 |
                               static_cast<std::uint32_t>(packet[3]) << 24;
  EXPECT_EQ(header, 0x51F10008u);
  EXPECT_EQ(packet[4], 1);
  EXPECT_EQ(packet[11], 8);
  EXPECT_EQ(packet[12], 0);
}

TEST(FirmwareChannel, WithoutAnAnswerTheExchangeTimesOutAfter200PollsAndStopsReception) {
  TestBed bed;
  bed.chip.qaResponsePolls = -1;
  bool rxRunning = false;
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, {}), -1);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_RECEIVE_QA_CMD_RSP).size(), 200u);
  EXPECT_EQ(bed.clock.totalSlept(), 1ms + 1ms + 199 * 5ms);
  EXPECT_FALSE(rxRunning);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_RX0_STOP).size(), 1u);

  bed.chip.qaResponsePolls = 3;
  std::array<std::uint8_t, kQaCmdPacketSize> response{};
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, {}, response), 0);
  EXPECT_EQ(response[2] & 0x0F, 2);  // answers the second exchange
}

TEST(FirmwareChannel, AFailingPollIsShownOnceAndEndsTheExchange) {
  TestBed bed;
  bed.chip.failAlways(VQ_OID_USB_RECEIVE_QA_CMD_RSP, ERROR_GEN_FAILURE);
  bool rxRunning = false;
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, {}), -1);
  EXPECT_EQ(bed.prompt.messages(),
            std::vector<std::string>{"ReceiveQACmdRsp DeviceIoControl failed!  Error = 31"});
  EXPECT_FALSE(rxRunning);
  EXPECT_EQ(bed.chip.callsOf(VQ_OID_USB_RX0_STOP).size(), 1u);

  const std::vector<std::uint8_t> tooLong(129);
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, tooLong), -1);
}

TEST(FirmwareChannel, QueriesLeaveTheirValueWithoutADeviceAndQuoteTheErrorOnFailure) {
  TestBed bed;
  bed.chip.present = false;
  std::uint32_t mode = 7;
  bool rxRunning = false;
  EXPECT_FALSE(QueryFirmwareMode(bed.device, mode));
  EXPECT_EQ(mode, 7u);
  EXPECT_EQ(ExchangeQACmd(bed.device, rxRunning, 31, {}), -1);
  EXPECT_TRUE(bed.chip.calls().empty());
  EXPECT_TRUE(bed.prompt.events().empty());

  bed.chip.present = true;
  bed.chip.firmwareVersion = 42;
  std::uint32_t version = 0;
  EXPECT_TRUE(GetFirmwareVersion(bed.device, version));
  EXPECT_EQ(version, 42u);
  bed.chip.failAlways(VQ_OID_USB_QUERY_FIRMWARE_MODE, ERROR_GEN_FAILURE);
  EXPECT_FALSE(QueryFirmwareMode(bed.device, mode));
  EXPECT_EQ(bed.prompt.messages(),
            std::vector<std::string>{"DeviceIoControl QueryFirmwareMode failed!  Error = 31"});
}

}  // namespace
}  // namespace kqa::device
