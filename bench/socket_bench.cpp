// A register read through the socket transport (the driver host over the
// emulated Kestrel answering at once, served as kestrelqa-usbd serves it)
// against a bare Unix-socket round trip of the same size (40 bytes out, 24
// back). Target: the register read within 1.5x of the bare round trip.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "chip/kestrel.h"
#include "driver/host/driver_host.h"
#include "platform/clock/clock.h"
#include "platform/ioctl/control_codes.h"
#include "platform/ioctl/socket/socket_client.h"
#include "platform/ioctl/socket/socket_io.h"
#include "platform/ioctl/socket/socket_listener.h"
#include "platform/ioctl/socket/socket_protocol.h"
#include "platform/ioctl/socket/socket_server.h"
#include "platform/usb/emulated/emulated_backend.h"

namespace {

using namespace kqa::ioctl;

constexpr std::size_t kRequestBytes = wire::kHeaderSize + 20;
constexpr std::size_t kReplyBytes = wire::kHeaderSize + 4;

// The reference: a thread that answers every 40 bytes with 24, and nothing
// else.
void BM_RegisterRead_BareUnixSocketRoundTrip(benchmark::State& state) {
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    state.SkipWithError("socketpair failed");
    return;
  }
  UniqueFd client(pair[0]);
  UniqueFd server(pair[1]);
  std::thread echo([fd = server.get()] {
    std::uint8_t request[kRequestBytes];
    std::uint8_t reply[kReplyBytes] = {};
    while (ReadExact(fd, request, std::nullopt) == IoStatus::Ok &&
           WriteAll(fd, {reply}, std::nullopt) == IoStatus::Ok) {
    }
  });
  std::uint8_t request[kRequestBytes] = {};
  std::uint8_t reply[kReplyBytes];
  for (auto _ : state) {
    WriteAll(client.get(), {request}, std::nullopt);
    ReadExact(client.get(), reply, std::nullopt);
  }
  ::shutdown(client.get(), SHUT_RDWR);
  echo.join();
}
BENCHMARK(BM_RegisterRead_BareUnixSocketRoundTrip)->UseRealTime();

// The same exchange carrying control code 0x223480 through the client, the
// server, the driver and the chip.
void BM_RegisterRead_SocketTransport(benchmark::State& state) {
  std::string folder = (std::filesystem::temp_directory_path() / "kqa-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  const std::string path = folder + "/usbd.sock";
  {
    kqa::chip::Kestrel chip(kqa::SystemClock());
    kqa::usb::EmulatedUsbBackend backend(chip, kqa::SystemClock());
    kqa::driver::DriverHost host(backend, kqa::SystemClock());
    std::string error;
    auto listener = UnixSocketListener::Claim(path, {}, error);
    SocketServer server(host, {"emulated Kestrel (EEPROM board)", true}, listener->takeSocket());
    SocketDeviceInterfaceProvider client(path);
    auto handle = client.open(kQaInterfaceClass, 0).handle;
    std::uint8_t input[20] = {0x04, 0x10};
    std::uint8_t output[4];
    for (auto _ : state) {
      const ControlResult result = handle->control(VQ_OID_USB_VENDOR_MAC_READ, input, output);
      benchmark::DoNotOptimize(result);
    }
    handle.reset();
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_RegisterRead_SocketTransport)->UseRealTime();

}  // namespace
