#include "platform/usb/descriptors.h"

#include <gtest/gtest.h>

#include "platform/usb/testing/fake_device_model.h"

namespace kqa::usb {
namespace {

using testing::MakeConfigurationDescriptor;

TEST(DescriptorsTest, FirstInterfaceListsItsEndpointsInDescriptorOrder) {
  const std::pair<std::uint8_t, std::uint8_t> endpoints[] = {{0x81, 2}, {0x01, 2}, {0x83, 3}};
  auto bytes = MakeConfigurationDescriptor(endpoints);
  // A second interface with one endpoint: not part of the first.
  bytes.insert(bytes.end(),
               {9, kInterfaceDescriptor, 1, 0, 1, 0, 0, 0, 0, 7, kEndpointDescriptor, 0x02, 2, 0, 2, 0});
  bytes[2] = static_cast<std::uint8_t>(bytes.size());
  ASSERT_TRUE(ParseConfigurationHeader(bytes));
  EXPECT_EQ(ParseConfigurationHeader(bytes)->totalLength, bytes.size());
  const auto interface = FindFirstInterface(bytes);
  ASSERT_TRUE(interface);
  ASSERT_EQ(interface->pipes.size(), 3u);
  EXPECT_EQ(interface->pipes[0].endpointAddress, 0x81);
  EXPECT_TRUE(interface->pipes[0].isIn());
  EXPECT_EQ(interface->pipes[1].endpointAddress, 0x01);
  EXPECT_EQ(interface->pipes[2].pipeType, kTransferInterrupt);
  EXPECT_EQ(interface->pipes[2].maximumPacketSize, 512);
}

TEST(DescriptorsTest, MalformedSetsGiveNothingOrStopAtTheFault) {
  const std::pair<std::uint8_t, std::uint8_t> endpoints[] = {{0x81, 2}};
  auto truncated = MakeConfigurationDescriptor(endpoints);
  truncated[18] = 200;  // the endpoint claims to run past the set
  ASSERT_TRUE(FindFirstInterface(truncated));
  EXPECT_TRUE(FindFirstInterface(truncated)->pipes.empty());

  const std::uint8_t onlyHeader[] = {9, kConfigurationDescriptor, 9, 0, 0, 1, 0, 0x80, 50};
  EXPECT_TRUE(ParseConfigurationHeader(onlyHeader));
  EXPECT_FALSE(FindFirstInterface(onlyHeader));
  const std::uint8_t notConfiguration[] = {9, kDeviceDescriptor, 9, 0, 0, 1, 0, 0x80, 50};
  EXPECT_FALSE(ParseConfigurationHeader(notConfiguration));
  EXPECT_FALSE(ParseConfigurationHeader(std::span<const std::uint8_t>(onlyHeader, 5)));
}

}  // namespace
}  // namespace kqa::usb
