#include "app/measure/noise_scan.h"

#include <algorithm>

#include "app/device/config_memory.h"
#include "app/device/register_access.h"

namespace kqa::measure {
namespace {

constexpr int kSamples = 10;
constexpr int kFirstFiveGhzIndex = 14;
constexpr int kLastFiveGhzIndex = 52;
constexpr int kTwoPointFourChannels = 14;
constexpr std::uint16_t kGainWord = 0x44;

}  // namespace

NoiseColumn NoiseColumnOf(int index) {
  if (index < kFirstFiveGhzIndex) return {1000, index + 1};
  if (index < 26) return {1001, index - 13};
  if (index < 41) return {1377, index - 25};
  return {1378, index - 40};
}

int TrimmedMean(std::array<int, 10> samples) {
  std::sort(samples.begin(), samples.end());
  return (samples[3] + samples[4] + samples[5] + samples[6]) / 4;
}

int RssiSample(std::uint8_t reg, std::int8_t offset, std::uint8_t gain) {
  if (reg == 0) return -100;
  return -12 - offset - reg - gain;
}

std::vector<int> NoiseScanChannels(const device::ChannelState& channels, NoiseBand band) {
  std::vector<int> indices;
  const int first = band == NoiseBand::TwoPointFour ? 0 : kFirstFiveGhzIndex;
  const int last = band == NoiseBand::TwoPointFour ? kTwoPointFourChannels - 1 : kLastFiveGhzIndex;
  for (int index = first; index <= last && index < channels.channelCount; ++index) indices.push_back(index);
  return indices;
}

std::vector<NoiseChannelResult> RunNoiseScan(device::DeviceContext& device,
                                             device::ConfigMemoryMode& memoryMode,
                                             const device::ChannelState& channelState,
                                             NoiseScanTuner& tuner,
                                             const NoiseScanOptions& options, const std::atomic<bool>* stop,
                                             const std::function<void(const NoiseChannelResult&)>& onChannel) {
  std::vector<NoiseChannelResult> results;
  const std::vector<int> channels = NoiseScanChannels(channelState, options.band);
  if (channels.empty()) return results;
  device::RegisterAccess access(device);
  const auto read = [&](std::uint8_t id) {
    std::uint8_t value = 0xFF;
    access.AccessBbpRegister(device::kRegisterRead, id, value);
    return value;
  };
  const auto write = [&](std::uint8_t id, std::uint8_t value) {
    access.AccessBbpRegister(device::kRegisterWrite, id, value);
  };
  const bool five = options.band == NoiseBand::Five;
  const int remembered = channelState.channelIndex;
  const std::uint8_t saved66 = read(66);
  const std::uint8_t saved69 = read(69);
  const std::uint8_t saved70 = read(70);
  std::uint16_t word = 0;
  device::ReadEepromWord({device, memoryMode}, kGainWord, word);
  const auto gain = static_cast<std::uint8_t>(five ? word >> 8 : word & 0xFF);
  const int paths = std::clamp(device.eepromWord34 & 0xF, 1, 3);
  const int intervalMs = five ? 5 : 10;

  for (int index : channels) {
    if (stop != nullptr && stop->load()) break;
    tuner.selectChannel(index);
    device.clock.sleepMs(5);
    write(66, 0x10);
    write(69, 0x40);
    write(70, 0x40);
    device.clock.sleepMs(5);
    tuner.toggleReceive();
    device.clock.sleepMs(5);
    std::array<std::array<int, kSamples>, 3> samples{};
    for (int n = 0; n < kSamples; ++n) {
      const std::uint8_t r50 = read(50);
      const std::uint8_t r51 = read(51);
      const std::uint8_t r52 = read(52);
      read(57);
      device.clock.sleepMs(intervalMs);
      samples[0][static_cast<std::size_t>(n)] = RssiSample(r50, options.offsets[0], gain);
      samples[1][static_cast<std::size_t>(n)] = RssiSample(r51, options.offsets[1], gain);
      samples[2][static_cast<std::size_t>(n)] = RssiSample(r52, options.offsets[2], gain);
    }
    tuner.toggleReceive();
    device.clock.sleepMs(5);
    NoiseChannelResult result;
    result.index = index;
    for (int p = 0; p < paths; ++p)
      result.rssi[static_cast<std::size_t>(p)] = TrimmedMean(samples[static_cast<std::size_t>(p)]);
    results.push_back(result);
    if (onChannel) onChannel(result);
  }
  tuner.selectChannel(remembered);
  write(66, saved66);
  write(69, saved69);
  write(70, saved70);
  return results;
}

}  // namespace kqa::measure
