#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_io.h"
#include "platform/ioctl/socket/socket_listener.h"
#include "platform/ioctl/socket/socket_protocol.h"
#include "platform/ioctl/socket/socket_server.h"
#include "platform/ioctl/testing/fake_device_provider.h"

namespace kqa::ioctl::testing {

// Bounded real-time limit for waits on the server's threads; they normally
// end in microseconds.
inline constexpr std::chrono::milliseconds kIoLimit{5000};

// A private folder under the system's temporary folder, removed afterwards.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// `provider` served on a socket in a temporary folder, as kestrelqa-usbd
// serves it, and a client provider pointed at it.
struct SocketServed {
  SocketServed(DeviceInterfaceProvider& provider, const SocketServerInfo& info,
               SocketServerOptions options = {});

  DeviceInterfaceProvider::OpenResult open() { return client.open(kQaInterfaceClass, 0); }
  UniqueFd connectRaw() const { return ConnectUnixSocket(path).fd; }  // for speaking the protocol badly

  TempDir dir;
  std::string path = dir.path() + "/usbd.sock";
  std::unique_ptr<UnixSocketListener> listener;
  std::unique_ptr<SocketServer> server;  // goes before the listener and the provider
  SocketDeviceInterfaceProvider client{path};
};

// The fake device, served (the fake is a base so that it outlives the server).
struct FakeHolder {
  explicit FakeHolder(int maxHandles) : fake(maxHandles) {}
  FakeDeviceProvider fake;
};
struct ServedFake : FakeHolder, SocketServed {
  explicit ServedFake(int maxHandles = 1, SocketServerOptions options = {})
      : FakeHolder(maxHandles), SocketServed(fake, {"fake Kestrel", true}, options) {}
};

std::vector<std::uint8_t> Frame(const wire::Header& header, const std::vector<std::uint8_t>& payload = {});
std::vector<std::uint8_t> OpenFrame();
std::vector<std::uint8_t> ControlFrame(std::uint32_t code, const std::vector<std::uint8_t>& input,
                                       std::uint32_t outputLength);

bool Send(int fd, const std::vector<std::uint8_t>& bytes);
// Reads until the server closes the connection; false when it has not
// within kIoLimit.
bool ReadUntilClosed(int fd, std::vector<std::uint8_t>* received = nullptr);

// A MAC-register read through `handle` that checks the fake's answer.
bool ReadsRegisterCorrectly(DeviceHandle& handle, std::uint32_t address);

}  // namespace kqa::ioctl::testing
