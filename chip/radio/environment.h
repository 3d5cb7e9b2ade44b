#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "chip/radio/mac_frames.h"
#include "chip/radio/phy_rate.h"

namespace kqa::chip {

// A malformed environment file; the message names the line.
class EnvironmentError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The world around the chip: who transmits on which channel, how loud the
// chip hears them, and the noise on each channel. Levels are at the chip's
// antenna, in dBm; rates are named as in environment files (phy_rate.h).
// chip/README.md describes the file format and the built-in default.
struct AccessPoint {
  std::string name;
  MacAddress bssid{};
  std::string ssid;
  int channel = 1;
  double levelDbm = -60.0;
  double beaconIntervalMs = 102.4;
  PhyRate beaconRate{PhyMode::Cck, 0};
  double ppm = 0.0;  // the access point's frequency error
};

// A station associated with an access point; it and its access point
// exchange data (with ACKs), null functions, RTS/CTS and probe requests.
struct Station {
  std::string name;
  MacAddress address{};
  std::string accessPoint;
  double levelDbm = -60.0;
  PhyRate rate{PhyMode::Ofdm, 7};
  double framesPerSecond = 20.0;  // exchanges started per second
  double errorRate = 0.0;         // share of its frames hit by collisions (the chip sees a bad FCS)
  std::size_t minLength = 60;     // data frame sizes in bytes, without FCS
  std::size_t maxLength = 1500;
  double ppm = 0.0;
};

// Energy without a decodable frame: bursts that start like a frame and break
// off (PHY errors) and bursts that only trip the carrier sense (false CCA).
struct Interferer {
  int channel = 1;
  double levelDbm = -75.0;
  double phyErrorsPerSecond = 0.0;
  double falseCcaPerSecond = 0.0;
};

// A signal generator sending `count` data frames to the chip's own station
// address (MAC 0x1008/0x100C at the time each frame arrives), one every
// `intervalMs`, the first `startMs` after it was started.
struct GeneratorFrames {
  int channel = 1;
  double levelDbm = -50.0;
  std::uint32_t count = 0;
  double intervalMs = 1.0;
  PhyRate rate{PhyMode::Ofdm, 7};
  std::size_t length = 1024;  // MPDU bytes without FCS, at least 36
  double startMs = 0.0;
  double ppm = 0.0;
};

// A signal generator's continuous wave at `offsetMHz` from a channel's centre.
struct Tone {
  int channel = 1;
  double offsetMHz = 0.0;
  double levelDbm = -50.0;
};

struct Environment {
  double defaultNoiseFloorDbm = -95.0;  // in 20 MHz
  std::map<int, double> noiseFloorDbm;  // per channel
  std::vector<AccessPoint> accessPoints;
  std::vector<Station> stations;
  std::vector<Interferer> interferers;
  std::optional<GeneratorFrames> generator;
  std::optional<Tone> tone;

  double noiseFloor(int channel) const;
  const AccessPoint* accessPoint(std::string_view name) const;

  // A lab bench with neighbours: busy channel 1, a quieter channel 6, a weak
  // network on channel 11, an interferer on channel 9 and a 5 GHz network
  // on channel 36 (README lists it).
  static Environment BuiltIn();
  // Throws EnvironmentError when an entry cannot be sent as given (an
  // unknown channel or access point, a length or interval out of range);
  // the air checks environments that did not come from a file.
  void validate() const;
  static void Validate(const GeneratorFrames& generator);

  // Throws EnvironmentError.
  static Environment Parse(std::string_view text);
  static Environment Load(const std::filesystem::path& file);
};

}  // namespace kqa::chip
