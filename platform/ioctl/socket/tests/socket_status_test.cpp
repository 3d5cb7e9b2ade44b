// What a server tells about itself and its connections. A listener swapped
// under a running server is covered by the daemon's process test.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "platform/ioctl/socket/socket_status.h"
#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl::testing {
namespace {

// This process's program name as the kernel records its first argument.
std::string OwnProgram() {
  std::ifstream file("/proc/self/cmdline");
  std::string first;
  std::getline(file, first, '\0');
  return first.substr(first.rfind('/') + 1);
}

TEST(SocketStatus, ListsEveryConnectionWithItsProcessAndMarksTheOneThatAsks) {
  ServedFake served(1, {.deviceState = [] { return std::string("held by the test"); }});
  auto opened = served.open();
  ASSERT_TRUE(opened.handle);
  UniqueFd idle = served.connectRaw();  // connected, nothing opened
  ASSERT_TRUE(idle.valid());

  SocketServerStatus status;
  std::string error;
  ASSERT_TRUE(QuerySocketServerStatus(served.path, status, error)) << error;
  EXPECT_EQ(status.description, "fake Kestrel");
  EXPECT_TRUE(status.emulated);
  EXPECT_EQ(status.deviceState, "held by the test");
  EXPECT_LT(status.uptimeSeconds, 60u);
  ASSERT_EQ(status.clients.size(), 3u);
  for (const SocketClientInfo& client : status.clients) {
    EXPECT_EQ(client.pid, static_cast<std::uint32_t>(::getpid()));
    EXPECT_EQ(client.uid, ::getuid());
    EXPECT_EQ(client.program, OwnProgram());
    EXPECT_NE(client.commandLine.find(OwnProgram()), std::string::npos) << client.commandLine;
  }
  const auto count = [&](auto predicate) {
    return std::count_if(status.clients.begin(), status.clients.end(), predicate);
  };
  EXPECT_EQ(count([](const SocketClientInfo& c) { return c.handleOpen; }), 1);
  EXPECT_EQ(count([](const SocketClientInfo& c) { return c.asking; }), 1);
  EXPECT_EQ(count([](const SocketClientInfo& c) { return c.asking && c.handleOpen; }), 0);

  opened.handle.reset();  // returns once the server has closed its handle
  idle.reset();
  ASSERT_TRUE(QuerySocketServerStatus(served.path, status, error)) << error;
  EXPECT_EQ(count([](const SocketClientInfo& c) { return c.handleOpen; }), 0);
  // The server reaps a closed connection on its own thread, some time after
  // the client let go: in the end only the asker is listed.
  for (int attempt = 0; attempt < 200 && status.clients.size() > 1; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(QuerySocketServerStatus(served.path, status, error)) << error;
  }
  ASSERT_EQ(status.clients.size(), 1u);
  EXPECT_TRUE(status.clients.front().asking);
}

TEST(SocketStatus, EveryCutOfTheReplyIsRefusedAndLongTextsAreCut) {
  SocketServerStatus status;
  status.description = std::string(5000, 'd');
  status.deviceState = "open";
  status.uptimeSeconds = 0x01020304;
  status.emulated = true;
  status.clients.push_back({.pid = 7, .uid = 1000, .program = std::string(300, 'p'), .commandLine = "a b",
                            .connectedSeconds = 9, .handleOpen = true});
  status.clients.push_back({.pid = 8, .program = "kestrelqa-cli", .asking = true});
  const std::vector<std::uint8_t> payload = wire::EncodeStatus(status);
  // 4 + 4 + (2 + 4096) + (2 + 4) + 4, then 16 + (2 + 256) + (2 + 3) and 16 + (2 + 13) + 2.
  ASSERT_EQ(payload.size(), 4116u + 279u + 33u);

  SocketServerStatus decoded;
  ASSERT_TRUE(wire::DecodeStatus(payload, decoded));
  EXPECT_EQ(decoded.description, std::string(4096, 'd'));
  EXPECT_EQ(decoded.uptimeSeconds, 0x01020304u);
  EXPECT_TRUE(decoded.emulated);
  ASSERT_EQ(decoded.clients.size(), 2u);
  EXPECT_EQ(decoded.clients[0].program, std::string(256, 'p'));
  EXPECT_EQ(decoded.clients[0].commandLine, "a b");
  EXPECT_EQ(decoded.clients[0].uid, 1000u);
  EXPECT_EQ(decoded.clients[0].connectedSeconds, 9u);
  EXPECT_TRUE(decoded.clients[0].handleOpen && !decoded.clients[0].asking);
  EXPECT_TRUE(decoded.clients[1].asking && !decoded.clients[1].handleOpen);
  EXPECT_EQ(decoded.clients[1].pid, 8u);

  int accepted = 0;
  for (std::size_t length = 0; length < payload.size(); ++length)
    accepted += wire::DecodeStatus(std::span(payload).first(length), decoded);
  std::vector<std::uint8_t> longer = payload;
  longer.push_back(0);
  accepted += wire::DecodeStatus(longer, decoded);
  EXPECT_EQ(accepted, 0);
}

}  // namespace
}  // namespace kqa::ioctl::testing
