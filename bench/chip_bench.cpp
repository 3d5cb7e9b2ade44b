#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "chip/baseband/receive_chain.h"
#include "chip/kestrel.h"
#include "chip/state_file.h"
#include "platform/clock/virtual_clock.h"

namespace {

using kqa::VirtualClock;
using namespace kqa::chip;

KestrelOptions Stepped(ChipTiming timing = {}) {
  KestrelOptions options;
  options.completions = Completions::Stepped;
  options.timing = timing;
  return options;
}

std::uint32_t Read32(Kestrel& chip, std::uint16_t address) {
  std::uint8_t data[4];
  chip.controlTransfer({kqa::usb::kVendorIn, 0x07, 0, address, 4}, data);
  return static_cast<std::uint32_t>(data[0]);
}

// What the model costs per register read, and what the read would take on a
// high-speed link (the "modelled_us" counter, from the latency model).
void BM_RegisterRead(benchmark::State& state) {
  VirtualClock clock;
  Kestrel chip(clock, Stepped(state.range(0) != 0 ? ChipTiming::UsbHighSpeed() : ChipTiming{}));
  for (auto _ : state) benchmark::DoNotOptimize(Read32(chip, 0x1004));
  state.counters["modelled_us"] =
      std::chrono::duration<double, std::micro>(clock.now()).count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_RegisterRead)->Arg(0)->Arg(1);

// A BBP read as the device layer makes it: poll, command, poll.
void BM_BbpRead(benchmark::State& state) {
  VirtualClock clock;
  Kestrel chip(clock, Stepped());
  for (auto _ : state) {
    Read32(chip, 0x101C);
    std::uint8_t command[4] = {0x00, 0x05, 0x0B, 0x00};
    chip.controlTransfer({kqa::usb::kVendorOut, 0x06, 0, 0x101C, 4}, command);
    benchmark::DoNotOptimize(Read32(chip, 0x101C));
  }
}
BENCHMARK(BM_BbpRead);

// Bulk OUT throughput of the model, 4 KB transfers, completions stepped.
void BM_BulkOut(benchmark::State& state) {
  VirtualClock clock;
  Kestrel chip(clock, Stepped());
  std::vector<std::uint8_t> none;
  chip.controlTransfer({kqa::usb::kStandardOutDevice, kqa::usb::kSetConfiguration, 1, 0, 0}, none);
  std::vector<std::uint8_t> packet(4096);
  for (auto _ : state) {
    chip.submitBulk(0x02, packet, [](kqa::usb::TransferResult) {});
    chip.runUntilIdle();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * packet.size()));
}
BENCHMARK(BM_BulkOut);

// Encoding the state file with 1 MB of flash in use (the part of a save that
// holds the chip's lock is the snapshot; this is the rest, minus the disk).
void BM_EncodeState(benchmark::State& state) {
  NvmState nvm;
  nvm.eeprom.assign(8192, 0xFF);
  nvm.flash.assign(4 << 20, 0xFF);
  std::fill(nvm.flash.begin(), nvm.flash.begin() + (1 << 20), std::uint8_t{0x5A});
  for (auto _ : state) benchmark::DoNotOptimize(EncodeNvmState(nvm));
}
BENCHMARK(BM_EncodeState);

void Write32(Kestrel& chip, std::uint16_t address, std::uint32_t value) {
  std::uint8_t data[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  chip.controlTransfer({kqa::usb::kVendorOut, 0x06, 0, address, 4}, data);
}

// What one simulated second of the built-in bench costs with the receiver on
// channel 1 and a driver-like IN transfer always waiting (the air must keep
// up with real time in threaded mode: well under a second per second).
void BM_AirSecondOnChannel1(benchmark::State& state) {
  VirtualClock clock;
  Kestrel chip(clock, Stepped());
  std::vector<std::uint8_t> none;
  chip.controlTransfer({kqa::usb::kStandardOutDevice, kqa::usb::kSetConfiguration, 1, 0, 0}, none);
  chip.withCore([](ChipCore& core) {
    const std::pair<int, std::uint8_t> rf[] = {{20, 0x50}, {17, 0x99}, {18, 0x99}, {19, 0x01}, {12, 0x24}};
    for (auto [reg, value] : rf) core.rf().store(0, reg, value);
  });
  Write32(chip, 0x0238, 1u << 21);
  Write32(chip, 0x1004, 0x08);
  std::vector<std::uint8_t> buffer(102400);
  std::size_t records = 0;
  std::function<void(kqa::usb::TransferResult)> resubmit = [&](kqa::usb::TransferResult result) {
    if (result.status != kqa::usb::TransferStatus::Completed) return;
    records += result.length;
    chip.submitBulk(0x81, buffer, resubmit);
  };
  chip.submitBulk(0x81, buffer, resubmit);
  for (auto _ : state) {
    for (int ms = 0; ms < 1000; ms += 10) {
      clock.advance(std::chrono::milliseconds(10));
      chip.runUntilIdle();
    }
  }
  state.counters["bytes_per_s"] = static_cast<double>(records) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_AirSecondOnChannel1)->Unit(benchmark::kMillisecond);

// One capture's worth of ADC samples (16384 at 40 MHz) with the channel's
// frames in it: what the capture engine renders when a capture stops.
void BM_RenderCapture(benchmark::State& state) {
  ChainInput input;
  input.receiver.tuning = {2412.0, 1};
  input.tone = Tone{1, 2.5, -60.0};
  AirFrame frame;
  frame.start = std::chrono::microseconds(100);
  frame.end = std::chrono::microseconds(500);
  frame.levelDbm = -50.0;
  frame.rate = {PhyMode::Ofdm, 7};
  input.frames.push_back(&frame);
  for (auto _ : state) benchmark::DoNotOptimize(RenderAdc(input, std::chrono::microseconds(0), 16384));
}
BENCHMARK(BM_RenderCapture)->Unit(benchmark::kMillisecond);

}  // namespace
