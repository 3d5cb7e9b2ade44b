#include <benchmark/benchmark.h>

#include <chrono>

#include "platform/clock/polling.h"
#include "platform/clock/virtual_clock.h"

// A 300 x 10 ms polling loop in virtual time: what every polling test costs.
static void BM_VirtualPollingLoop(benchmark::State& state) {
  for (auto _ : state) {
    kqa::VirtualClock clock;
    int reads = 0;
    auto result = kqa::PollUntil(clock, 300, std::chrono::milliseconds(10), [&] { return ++reads < 0; });
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(BM_VirtualPollingLoop);
