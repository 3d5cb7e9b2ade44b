#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/device/device_context.h"

namespace kqa::usbfs::testing {

using Bytes = std::vector<std::uint8_t>;

// The air around the chip in these tests: an access point beaconing every
// 20 ms on channel 1 with a busy station beside it, and one on channel 6
// that a receiver on channel 1 must not hear. (chip/README.md, "The
// environment", has the format.)
inline constexpr const char* kAir = R"(noise default -95
ap bench channel=1 level=-50 ssid=USBFS-BENCH beacon=20
station laptop ap=bench level=-55 load=50
ap neighbour channel=6 level=-50 ssid=NEXT-DOOR beacon=20
)";
inline constexpr const char* kHeardSsid = "USBFS-BENCH";
inline constexpr const char* kUnheardSsid = "NEXT-DOOR";
inline constexpr std::size_t kRingRecord = 5120;

// True once `condition` holds, looked at until `limit` has passed. The
// libusb path runs in real time, on the chip's, libusb's and umockdev's
// threads: tests wait for what they do, bounded.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

Bytes U32s(std::initializer_list<std::uint32_t> words);

// Tunes channel 1 as a channel change does (RF bank 0) and switches the
// receiver on (MAC 0x1004 bit 3), through the device layer.
bool ListenOnChannel1(device::DeviceContext& device);

// Records into the capture ring with IN pipe 0 running until the driver has
// counted three beacons (or the limit passed), then reads the whole ring
// and stops; the ring's bytes.
Bytes CaptureBeacons(device::DeviceContext& device);

// How many beacons of `ssid` the capture ring's bytes hold.
std::size_t BeaconsOf(const Bytes& ring, const std::string& ssid);

}  // namespace kqa::usbfs::testing
