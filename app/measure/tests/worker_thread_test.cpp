// The FFT page's capture worker on a thread of its own, stopped from another
// as the page's Stop button does.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "app/measure/fft_capture.h"
#include "app/measure/tests/measure_rig.h"

namespace kqa::measure {
namespace {

TEST(CaptureWorker, StopEndsTheRunAfterTheCurrentCapture) {
  device::testing::RigBed bed(testing::RadioRig("noise default -90\n"));
  testing::RigTuner(bed).selectChannel(0);
  std::atomic<bool> running = true;
  std::mutex mutex;
  std::condition_variable captured;
  int captures = 0;
  int capturesAtStop = -1;
  SampleStore store;
  FftCaptureSettings settings;
  settings.pauseSteps = 5;
  int processed = 0;
  std::thread worker([&] {
    processed = RunFftCaptures(bed.device, settings, running, store, nullptr, [&](const FftCaptureResult& result) {
      EXPECT_NE(result.spectrum, nullptr);
      std::lock_guard lock(mutex);
      ++captures;
      captured.notify_all();
    });
  });
  {
    std::unique_lock lock(mutex);
    captured.wait(lock, [&] { return captures >= 2; });
    running = false;
    capturesAtStop = captures;
  }
  worker.join();
  EXPECT_EQ(processed, captures);
  EXPECT_LE(captures, capturesAtStop + 1) << "at most the capture under way finishes";
  EXPECT_EQ(bed.bench.chip().peekRegister(0x1004) & 0x8, 0u) << "the receiver is off again";
}

}  // namespace
}  // namespace kqa::measure
