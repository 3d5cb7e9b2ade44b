#include "usbfs/tests/air_rig.h"

#include <algorithm>
#include <thread>

#include "app/device/connection.h"
#include "app/device/register_access.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::usbfs::testing {

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

Bytes U32s(std::initializer_list<std::uint32_t> words) {
  Bytes bytes(4 * words.size());
  std::size_t at = 0;
  for (std::uint32_t word : words) PutLe32(bytes, 4 * at++, word);
  return bytes;
}

bool ListenOnChannel1(device::DeviceContext& device) {
  device::RegisterAccess registers(device);
  // RF bank 0: R20, R21 bit 0, R17, R18, R19 give 2412 MHz; R12 the factory trim.
  const std::pair<std::uint8_t, std::uint8_t> synthesizer[] = {{20, 0x50}, {21, 0x00}, {17, 0x99},
                                                               {18, 0x99}, {19, 0x01}, {12, 0x24}};
  for (auto [reg, value] : synthesizer)
    if (!registers.AccessRfRegister(device::kRegisterWrite, 0, reg, value)) return false;
  std::uint32_t control = 0;
  return registers.ReadMacRegister(0x1004, control) && registers.WriteMacRegister(0x1004, control | 0x8);
}

Bytes CaptureBeacons(device::DeviceContext& device) {
  using namespace ioctl;
  device::CallDevice(device, VQ_OID_USB_RESET_COUNTERS, {}, {});
  device::CallDevice(device, VQ_OID_USB_CAPTURE_START, {}, {});
  const Bytes untilStopped(2, 0);
  device::CallDevice(device, VQ_OID_USB_RX0_START, untilStopped, {});
  Bytes statistics(96);
  WaitUntil([&] {  // the driver's beacon count: RxStats[6]
    return device::CallDevice(device, VQ_OID_USB_QUERY_RX_STATISTICS, {}, statistics).ok &&
           GetLe32(statistics, 48) >= 3;
  });
  Bytes ring(1000 * kRingRecord);  // the whole ring
  std::uint32_t count = 0;
  if (!device::CallDeviceCount(device, VQ_OID_USB_CAPTURE_READ, {}, ring, count)) count = 0;
  ring.resize(count);
  device::CallDevice(device, VQ_OID_USB_RX0_STOP, {}, {});
  device::CallDevice(device, VQ_OID_USB_CAPTURE_STOP, {}, {});
  return ring;
}

std::size_t BeaconsOf(const Bytes& ring, const std::string& ssid) {
  // A beacon starts with frame control 0x80; after its 24-byte header,
  // timestamp, interval and capabilities comes the SSID element (0, length,
  // name). The driver's receive walk rewrites records' length words, so the
  // frames are found by their own bytes.
  Bytes element{0, static_cast<std::uint8_t>(ssid.size())};
  element.insert(element.end(), ssid.begin(), ssid.end());
  std::size_t found = 0;
  for (auto at = ring.begin(); (at = std::search(at, ring.end(), element.begin(), element.end())) != ring.end();
       ++at)
    found += at - ring.begin() >= 36 && *(at - 36) == 0x80;
  return found;
}

}  // namespace kqa::usbfs::testing
