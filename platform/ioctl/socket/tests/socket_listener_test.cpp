// The listener's claim on its path. The daemon's process test covers the
// socket's mode, a second daemon refused and a stale socket replaced.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl::testing {
namespace {

class SocketListener : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.path() + "/usbd.sock";
  std::string error;
};

TEST_F(SocketListener, ALiveServerIsNeverTakenOverEvenWithoutTheLock) {
  // Someone listens on the path but does not hold the lock file.
  auto other = UnixSocketListener::Claim(path, {}, error);
  ASSERT_TRUE(other) << error;
  UniqueFd socket = other->takeSocket();
  ASSERT_EQ(::rename(path.c_str(), (path + ".moved").c_str()), 0);
  other.reset();  // releases the lock; removes nothing at `path`
  ASSERT_EQ(::rename((path + ".moved").c_str(), path.c_str()), 0);

  EXPECT_FALSE(UnixSocketListener::Claim(path, {}, error));
  EXPECT_EQ(error, "another kestrelqa-usbd is already serving " + path);
  EXPECT_TRUE(ConnectUnixSocket(path).fd.valid()) << "the refused claim removed the live socket";
}

TEST_F(SocketListener, AnythingButASocketIsLeftAlone) {
  std::ofstream(path) << "precious";
  EXPECT_FALSE(UnixSocketListener::Claim(path, {}, error));
  EXPECT_EQ(error, path + " exists and is not a socket; not replacing it");
  std::string content;
  std::ifstream(path) >> content;
  EXPECT_EQ(content, "precious");
}

}  // namespace
}  // namespace kqa::ioctl::testing
