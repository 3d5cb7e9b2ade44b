#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/shell/single_instance.h"

namespace kqa::shell {
namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/kqa-lock-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string folder_;
};

TEST_F(SingleInstanceTest, ASecondInstanceIsTurnedAwayUntilTheFirstEnds) {
  SingleInstanceLock first;
  ASSERT_EQ(first.acquire(folder_), SingleInstanceLock::Result::Acquired);
  EXPECT_EQ(first.path(), folder_ + "/BENCHTOP_APP_FOR_USB_KESTREL_DEVICE.lock");

  SingleInstanceLock second;
  EXPECT_EQ(second.acquire(folder_), SingleInstanceLock::Result::AlreadyRunning);
  EXPECT_FALSE(second.held());

  first.release();
  EXPECT_EQ(second.acquire(folder_), SingleInstanceLock::Result::Acquired);

  SingleInstanceLock elsewhere;
  EXPECT_EQ(elsewhere.acquire(folder_ + "/missing"), SingleInstanceLock::Result::Unavailable);
  EXPECT_FALSE(elsewhere.error().empty());
}

TEST_F(SingleInstanceTest, ALockInAnotherProcessCounts) {
  SingleInstanceLock mine;
  ASSERT_EQ(mine.acquire(folder_), SingleInstanceLock::Result::Acquired);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SingleInstanceLock theirs;
    ::_exit(theirs.acquire(folder_) == SingleInstanceLock::Result::AlreadyRunning ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace kqa::shell
