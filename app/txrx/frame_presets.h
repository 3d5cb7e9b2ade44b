#pragma once

#include <span>
#include <string_view>

namespace kqa::txrx {

inline constexpr int kFrameTypeCount = 18;
inline constexpr int kBeaconFrameType = 6;
inline constexpr int kDataFrameType = 15;
inline constexpr int kQosDataFrameType = 17;

// What choosing a frame type puts into the page's frame fields (hex text as
// the fields hold it) and "Total bytes".
struct FramePreset {
  std::string_view name;  // "[  0] Assoc Req" ... "[17] QoS Data"
  std::string_view fc;
  std::string_view dur;
  std::string_view address1;
  std::string_view address2;
  std::string_view address3;
  std::string_view seq;
  std::string_view payload;
  int totalBytes;
};

// The 18 types of the "Frame Type" list, in list order.
std::span<const FramePreset> FramePresets();

}  // namespace kqa::txrx
