#include "platform/ioctl/socket/tests/socket_test_support.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "platform/ioctl/control_codes.h"

namespace kqa::ioctl::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kqa-socket-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

SocketServed::SocketServed(DeviceInterfaceProvider& provider, const SocketServerInfo& info,
                           SocketServerOptions options) {
  std::string error;
  listener = UnixSocketListener::Claim(path, {}, error);
  if (!listener) throw std::runtime_error(error);
  server = std::make_unique<SocketServer>(provider, info, listener->takeSocket(), options);
}

std::vector<std::uint8_t> Frame(const wire::Header& header, const std::vector<std::uint8_t>& payload) {
  const wire::HeaderBytes bytes = wire::EncodeHeader(header);
  std::vector<std::uint8_t> frame(bytes.size() + payload.size());
  std::copy(bytes.begin(), bytes.end(), frame.begin());
  std::copy(payload.begin(), payload.end(), frame.begin() + wire::kHeaderSize);
  return frame;
}

std::vector<std::uint8_t> OpenFrame() {
  return Frame({.type = wire::MessageType::Open, .arg1 = static_cast<std::uint32_t>(kQaInterfaceClass.size())},
               std::vector<std::uint8_t>(kQaInterfaceClass.begin(), kQaInterfaceClass.end()));
}

std::vector<std::uint8_t> ControlFrame(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                       std::uint32_t outputLength) {
  return Frame({.type = wire::MessageType::Control,
                .arg0 = code,
                .arg1 = static_cast<std::uint32_t>(input.size()),
                .arg2 = outputLength},
               input);
}

bool Send(int fd, const std::vector<std::uint8_t>& bytes) {
  return WriteAll(fd, {bytes}, DeadlineAfter(kIoLimit)) == IoStatus::Ok;
}

bool ReadUntilClosed(int fd, std::vector<std::uint8_t>* received) {
  const IoDeadline deadline = DeadlineAfter(kIoLimit);
  std::uint8_t chunk[65536];
  for (;;) {
    std::size_t count = 0;
    const IoStatus status = ReadSome(fd, chunk, deadline, count);
    if (status != IoStatus::Ok) return status == IoStatus::Closed;
    if (received) received->insert(received->end(), chunk, chunk + count);
  }
}

bool ReadsRegisterCorrectly(DeviceHandle& handle, std::uint32_t address) {
  std::uint8_t input[20] = {};
  for (int i = 0; i < 4; ++i) input[i] = static_cast<std::uint8_t>(address >> (8 * i));
  std::uint8_t output[4] = {};
  const ControlResult result = handle.control(VQ_OID_USB_VENDOR_MAC_READ, input, output);
  const std::uint32_t value =
      output[0] | output[1] << 8 | output[2] << 16 | static_cast<std::uint32_t>(output[3]) << 24;
  return result.succeeded() && result.bytesReturned == 4 && value == FakeDeviceProvider::MacValue(address);
}

}  // namespace kqa::ioctl::testing
