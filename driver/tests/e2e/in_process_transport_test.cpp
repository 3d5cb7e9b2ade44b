// The end-to-end suite in-process, and the in-process host's own tests:
// handles that outlive it, and concurrent use of one handle while
// completions run on the chip's thread.
#include <atomic>
#include <chrono>
#include <thread>

#include "driver/tests/e2e/transport_fixture.h"
#include "platform/ioctl/control_codes.h"
#include "platform/status/win32_error.h"

namespace kqa::driver::testing {
namespace {

using namespace kqa::ioctl;

INSTANTIATE_TEST_SUITE_P(InProcess, DriverTransportTest, ::testing::Values(InProcessTransport()),
                         TransportName);

// The end-to-end fixture, for tests of the in-process host only.
class DriverHostTest : public DriverTransportTest {};
INSTANTIATE_TEST_SUITE_P(InProcess, DriverHostTest, ::testing::Values(InProcessTransport()), TransportName);

TEST_P(DriverHostTest, AHandleOutlivingTheHostAnswers1167AndClosesCleanly) {
  call(VQ_OID_USB_RX0_START, {0, 0});
  provider_.reset();
  const Reply reply = call(VQ_OID_USB_VENDOR_MAC_READ, U32s({0}), 4);
  EXPECT_EQ(reply.result.error, ERROR_DEVICE_NOT_CONNECTED);
  EXPECT_EQ(reply.result.bytesReturned, 0u);
  close();  // cancels the receive transfer; the driver unloads
  EXPECT_EQ(chip_.pendingBulk(inEndpoint(0)), 0u);
}

// Client threads and the chip's completion thread at once; what matters
// most here is what the thread sanitizer sees.
TEST_P(DriverHostTest, ClientsAndCompletionRoutinesRunConcurrently) {
  chip_.setOutSink(true);  // OUT transfers complete at once on the chip's thread
  for (std::uint32_t pipe : {0u, 1u, 4u}) load(pipe, std::vector<std::uint8_t>(1496, 0x3C));
  txStart(0, 0x13, 18);
  call(VQ_OID_USB_CAPTURE_START);

  std::atomic<bool> failed{false};
  auto client = [&](std::uint16_t address) {
    std::uint32_t lastTotal = 0;
    for (std::uint32_t i = 0; i < 200; ++i) {
      call(VQ_OID_USB_VENDOR_MAC_WRITE, U32s({address, i, 0}));
      if (readMac(address) != i) failed = true;
      const std::uint32_t total = txCounter(0);
      if (total < lastTotal) failed = true;
      lastTotal = total;
    }
  };
  constexpr std::uint32_t kTransfers = 300;
  std::thread feeder([&] {
    for (std::uint32_t i = 0; i < kTransfers;) {
      std::vector<std::uint8_t> transfer(600, static_cast<std::uint8_t>(i));
      std::fill_n(transfer.begin(), 4, 0);  // no records: only the ring sees it
      if (chip_.completeIn(inEndpoint(1), transfer)) {
        ++i;
      } else {
        std::this_thread::yield();
      }
    }
  });
  std::uint32_t records = 0;
  std::thread reader([&] {
    int expected = 0;
    while (records < kTransfers) {
      const Reply read = call(VQ_OID_USB_CAPTURE_READ, {}, 200 * 5120);
      for (std::size_t at = 0; at < read.output.size(); at += 5120, ++records) {
        // Whole records, in order, never torn: every body byte is its index.
        const std::uint8_t tag = read.output[at + 8];
        if (tag != static_cast<std::uint8_t>(expected++)) failed = true;
        for (std::size_t b = at + 8; b < at + 600; ++b)
          if (read.output[b] != tag) failed = true;
      }
      std::this_thread::yield();
    }
  });
  std::thread a(client, 0x2000);
  std::thread b(client, 0x3000);
  a.join();
  b.join();
  feeder.join();
  reader.join();
  EXPECT_FALSE(failed.load());
  EXPECT_EQ(records, kTransfers);
  call(VQ_OID_USB_TX_STOP);
  close();
  chip_.flushCompletions();
}

// A counted run's last completion and the next run's start race each other:
// the start must never be lost (the run would wait forever).
TEST_P(DriverHostTest, BackToBackCountedRunsNeverLoseAStart) {
  chip_.setOutSink(true);
  load(0, std::vector<std::uint8_t>(96, 0));
  for (int run = 0; run < 2000; ++run) {
    txStart(20, 0x1);
    // The completions run on the chip's own thread, which a loaded machine
    // may not schedule for a while: wait on the wall clock, with a bound
    // generous enough that only a lost start can exhaust it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (txCounter(0) < 20 && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    ASSERT_EQ(txCounter(0), 20u) << "run " << run;
  }
  close();
  chip_.flushCompletions();
}

}  // namespace
}  // namespace kqa::driver::testing
