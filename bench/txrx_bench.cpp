// The TX/RX page's counted run: 100,000 packets of 1500 bytes handed over
// by the page's logic and sent through the in-process driver to the emulated
// Kestrel, from "Start TX" until the progress shows them all (the page's
// 200 ms settling wait after the hand-over included). Reported as packets
// per second beside the limit of the chip's USB 2.0 high-speed timing model
// for a transfer of that length: once with the chip answering at once (the
// software's own speed, bounded here by the page's 200 ms wait) and once on
// the high-speed timing (the chip sleeps on the real clock per transfer, so
// a loaded machine lands below the limit).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "app/device/channel_state.h"
#include "app/device/config_memory_mode.h"
#include "app/device/device_context.h"
#include "app/device/pipelines.h"
#include "app/device/startup.h"
#include "app/txrx/txrx_tester.h"
#include "chip/kestrel.h"
#include "driver/host/driver_host.h"
#include "platform/clock/clock.h"
#include "platform/prompt/scripted_prompt.h"
#include "platform/usb/emulated/emulated_backend.h"

namespace {

using namespace kqa;

constexpr std::uint32_t kPackets = 100000;
constexpr const char* kTotalBytes = "1500";

// The program's world on real time: chip, USB stack, driver, device layer.
struct TxRig {
  explicit TxRig(const chip::ChipTiming& timing)
      : chip(SystemClock(), Options(timing)), backend(chip, SystemClock()), host(backend, SystemClock()) {
    device.trace = nullptr;
    device::StartupOptions startup;
    startup.eepromFile = "/nonexistent/eeprom.bin";
    device::RunDeviceStartup(device, memoryMode, channels, startup);
  }
  static chip::KestrelOptions Options(const chip::ChipTiming& timing) {
    chip::KestrelOptions options;
    options.timing = timing;
    return options;
  }

  chip::Kestrel chip;
  usb::EmulatedUsbBackend backend;
  driver::DriverHost host;
  ScriptedPrompt prompt;
  device::DeviceContext device{host, prompt, SystemClock()};
  device::ConfigMemoryMode memoryMode;
  device::ChannelState channels;
};

// Packets a second the link allows for one bulk transfer of `bytes`.
double LinkLimit(const chip::ChipTiming& timing, std::size_t bytes) {
  const auto perPacket = timing.perBulkTransfer + timing.perBulkByte * static_cast<long>(bytes);
  return 1.0 / std::chrono::duration<double>(perPacket).count();
}

void CountedRun(benchmark::State& state, const chip::ChipTiming& timing) {
  TxRig rig(timing);
  txrx::TxRxTester tester({rig.device, rig.memoryMode}, rig.channels);
  tester.run.totalBytes = kTotalBytes;
  tester.run.repeat = std::to_string(kPackets);
  std::size_t transfer = 0;
  for (auto _ : state) {
    if (tester.toggleTx() != page::Outcome::Done) {
      state.SkipWithError("the run did not start");
      return;
    }
    device::TxProgressWords words{};
    do {
      rig.device.clock.sleepMs(1);
      if (!device::QueryTxProgress(rig.device, words).ok) {
        state.SkipWithError("the progress could not be read");
        return;
      }
    } while (words[0] < kPackets);
    tester.tick(txrx::PageTimer::Statistics);  // the page sees the run complete
    transfer = tester.lastBuild().packetLength();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPackets));
  state.counters["packets_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kPackets), benchmark::Counter::kIsRate);
  state.counters["usb2_hs_limit_per_s"] = LinkLimit(chip::ChipTiming::UsbHighSpeed(), transfer);
  state.counters["transfer_bytes"] = static_cast<double>(transfer);
}

void BM_TxRxCountedRun_ChipAtOnce(benchmark::State& state) {
  CountedRun(state, chip::ChipTiming::Immediate());
}
BENCHMARK(BM_TxRxCountedRun_ChipAtOnce)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_TxRxCountedRun_UsbHighSpeed(benchmark::State& state) {
  CountedRun(state, chip::ChipTiming::UsbHighSpeed());
}
BENCHMARK(BM_TxRxCountedRun_UsbHighSpeed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
