// The listener's claim on its path. The daemon's process test covers the
// socket's mode, a second daemon refused, a stale socket replaced and the
// daemon's answer to a damaged claim.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(SocketListener, RemovedFilesAreMendedAndFilesInTheirPlaceLoseTheClaim) {
  auto listener = UnixSocketListener::Claim(path, {.mode = 0640}, error);
  ASSERT_TRUE(listener) << error;
  UniqueFd socket;
  std::string what;
  EXPECT_EQ(listener->check(socket, what), UnixSocketListener::ClaimState::Intact);
  EXPECT_EQ(what, "");

  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_EQ(listener->check(socket, what), UnixSocketListener::ClaimState::Repaired);
  EXPECT_EQ(what, "the socket " + path + " was removed; created it again");
  ASSERT_TRUE(socket.valid());
  EXPECT_TRUE(ConnectUnixSocket(path).fd.valid()) << "the new socket does not listen";
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u) << "the new socket lost its mode";
  EXPECT_EQ(listener->check(socket, what), UnixSocketListener::ClaimState::Intact);

  ASSERT_EQ(::unlink((path + ".lock").c_str()), 0);
  EXPECT_EQ(listener->check(socket, what), UnixSocketListener::ClaimState::Repaired);
  EXPECT_EQ(what, "the lock file " + path + ".lock was removed; created it again");
  EXPECT_FALSE(UnixSocketListener::Claim(path, {}, error)) << "the mended lock does not hold";
  EXPECT_EQ(error, "another kestrelqa-usbd is already serving " + path);

  // Someone else's file where the socket was: the claim is lost and the file stays.
  ASSERT_EQ(::unlink(path.c_str()), 0);
  std::ofstream(path) << "precious";
  EXPECT_EQ(listener->check(socket, what), UnixSocketListener::ClaimState::Lost);
  EXPECT_EQ(what, path + " was replaced by another file");
  listener.reset();
  std::string content;
  std::ifstream(path) >> content;
  EXPECT_EQ(content, "precious");
}

TEST_F(SocketListener, ALockFileReplacedLosesTheClaim) {
  auto listener = UnixSocketListener::Claim(path, {}, error);
  ASSERT_TRUE(listener) << error;
  ASSERT_EQ(::unlink((path + ".lock").c_str()), 0);
  std::ofstream(path + ".lock") << "";
  UniqueFd socket;
  std::string what;
  EXPECT_EQ(listener->check(socket, what), UnixSocketListener::ClaimState::Lost);
  EXPECT_EQ(what, "the lock file " + path + ".lock was replaced by another file");
}

}  // namespace
}  // namespace kqa::ioctl::testing
