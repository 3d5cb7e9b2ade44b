#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <fstream>

#include "platform/ioctl/socket/tests/socket_test_support.h"

namespace kqa::ioctl::testing {
namespace {

// A socket file with nobody listening, as a crashed server leaves it.
void LeaveStaleSocket(const std::string& path) {
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strcpy(address.sun_path, path.c_str());
  ASSERT_EQ(::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

class SocketListener : public ::testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.path() + "/usbd.sock";
  std::string error;
};

TEST_F(SocketListener, SocketGetsItsModeAndGoesWithTheListener) {
  auto listener = UnixSocketListener::Claim(path, {.mode = 0660}, error);
  ASSERT_TRUE(listener) << error;
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0660u);
  listener.reset();
  EXPECT_FALSE(Exists(path));
}

TEST_F(SocketListener, LiveServerIsNeverTakenOver) {
  auto first = UnixSocketListener::Claim(path, {}, error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(UnixSocketListener::Claim(path, {}, error));
  EXPECT_EQ(error, "another kestrelqa-usbd is already serving " + path);
  EXPECT_TRUE(Exists(path)) << "the refused claim removed the live socket";
}

TEST_F(SocketListener, LiveServerWithoutTheLockIsNeverTakenOver) {
  // Someone listens on the path but does not hold the lock file.
  auto other = UnixSocketListener::Claim(path, {}, error);
  ASSERT_TRUE(other) << error;
  UniqueFd socket = other->takeSocket();
  ASSERT_EQ(::rename(path.c_str(), (path + ".moved").c_str()), 0);
  other.reset();  // releases the lock; removes nothing at `path`
  ASSERT_EQ(::rename((path + ".moved").c_str(), path.c_str()), 0);

  EXPECT_FALSE(UnixSocketListener::Claim(path, {}, error));
  EXPECT_EQ(error, "another kestrelqa-usbd is already serving " + path);
}

TEST_F(SocketListener, StaleSocketIsReplaced) {
  LeaveStaleSocket(path);
  auto listener = UnixSocketListener::Claim(path, {}, error);
  ASSERT_TRUE(listener) << error;
  EXPECT_TRUE(ConnectUnixSocket(path).fd.valid());
}

TEST_F(SocketListener, AnythingButASocketIsLeftAlone) {
  std::ofstream(path) << "precious";
  EXPECT_FALSE(UnixSocketListener::Claim(path, {}, error));
  EXPECT_EQ(error, path + " exists and is not a socket; not replacing it");
  std::ifstream in(path);
  std::string content;
  in >> content;
  EXPECT_EQ(content, "precious");
}

}  // namespace
}  // namespace kqa::ioctl::testing
