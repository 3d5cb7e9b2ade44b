#include <gtest/gtest.h>

#include <set>

#include "platform/ioctl/control_codes.h"

namespace kqa::ioctl {
namespace {

TEST(ControlCodes, SixtyDistinctNamedBufferedCodesOfDeviceType0x22) {
  const auto codes = AllControlCodes();
  ASSERT_EQ(codes.size(), 60u);
  std::set<std::uint32_t> seen;
  for (const ControlCodeName& entry : codes) {
    EXPECT_TRUE(seen.insert(entry.code).second) << entry.name;
    EXPECT_EQ(entry.code >> 16, kDeviceTypeQa) << entry.name;
    EXPECT_EQ(entry.code & 0xC003u, 0u) << entry.name << " is not METHOD_BUFFERED, FILE_ANY_ACCESS";
    EXPECT_STREQ(ControlCodeNameOf(entry.code), entry.name);
  }
  EXPECT_STREQ(ControlCodeNameOf(0x223480), "VQ_OID_USB_VENDOR_MAC_READ");
  EXPECT_EQ(ControlCodeNameOf(0x223482), nullptr);
  EXPECT_EQ(ControlCodeFunction(VQ_OID_USB_VENDOR_MAC_READ), 0xD20u);
}

}  // namespace
}  // namespace kqa::ioctl
