#include "chip/radio/environment.h"

#include <charconv>
#include <fstream>
#include <set>
#include <sstream>

#include "chip/radio/channel_plan.h"

namespace kqa::chip {

namespace {

// The built-in environment, in the file format.
constexpr std::string_view kBuiltIn = R"(# The emulated Kestrel's bench: a lab network, neighbours and some trouble.
noise default -95
noise 6 -92
noise 9 -90
noise 11 -93

ap lab channel=1 level=-52 ssid=KESTREL-LAB bssid=02:4B:51:A0:00:01 ppm=4.5
ap office channel=6 level=-67 ssid=office bssid=02:4B:51:A0:00:06 ppm=-7.0
ap neighbour channel=11 level=-84 ssid=neighbour bssid=02:4B:51:A0:00:0B ppm=12.0
ap lab-5g channel=36 level=-58 ssid=KESTREL-LAB-5G bssid=02:4B:51:A0:00:24 rate=ofdm-6 ppm=2.0

station laptop ap=lab level=-47 address=02:4B:51:B0:00:01 rate=ofdm-54 load=40 length=60-1500 ppm=-3.0
station scanner ap=lab level=-79 address=02:4B:51:B0:00:02 rate=cck-11 load=8 errors=0.05 length=80-400 ppm=15.0
station phone ap=office level=-70 address=02:4B:51:B0:00:03 rate=ht-7 load=25 ppm=8.0
station printer ap=neighbour level=-88 address=02:4B:51:B0:00:04 rate=ofdm-24 load=5
station camera ap=lab-5g level=-63 address=02:4B:51:B0:00:05 rate=ht-5 load=60 length=800-1500 ppm=-1.5

interferer channel=9 level=-75 phy-errors=20 false-cca=150
)";

struct Token {
  std::string key;
  std::string value;
};

class LineParser {
 public:
  LineParser(int line, std::string_view text) : line_(line) { split(text); }

  [[noreturn]] void fail(const std::string& what) const {
    throw EnvironmentError("environment line " + std::to_string(line_) + ": " + what);
  }

  bool empty() const { return words_.empty(); }
  const std::string& word(std::size_t i) const {
    if (i >= words_.size()) fail("missing value");
    return words_[i];
  }
  std::size_t size() const { return words_.size(); }

  // key=value pairs from word `first` on.
  std::map<std::string, std::string> pairs(std::size_t first, std::initializer_list<std::string_view> allowed) const {
    std::map<std::string, std::string> out;
    for (std::size_t i = first; i < words_.size(); ++i) {
      const auto eq = words_[i].find('=');
      if (eq == std::string::npos) fail("expected key=value, got \"" + words_[i] + "\"");
      std::string key = words_[i].substr(0, eq);
      bool known = false;
      for (auto name : allowed) known = known || key == name;
      if (!known) fail("unknown setting \"" + key + "\"");
      if (!out.emplace(key, words_[i].substr(eq + 1)).second) fail("\"" + key + "\" given twice");
    }
    return out;
  }

  double number(const std::string& text, double low, double high, const std::string& what) const {
    double value = 0.0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) fail(what + " \"" + text + "\" is not a number");
    if (value < low || value > high)
      fail(what + " " + text + " is outside " + Format(low) + " to " + Format(high));
    return value;
  }

  int channel(const std::string& text) const {
    const double value = number(text, 1, 173, "channel");
    const int channel = static_cast<int>(value);
    if (channel != value || ChannelCentreMHz(channel) == 0.0) fail("no channel " + text);
    return channel;
  }

  PhyRate rate(const std::string& text) const {
    auto rate = ParsePhyRate(text);
    if (!rate) fail("unknown rate \"" + text + "\"");
    return *rate;
  }

  MacAddress address(const std::string& text) const {
    auto address = ParseMacAddress(text);
    if (!address) fail("bad MAC address \"" + text + "\"");
    return *address;
  }

 private:
  static std::string Format(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
  }

  // Words separated by blanks; "..." keeps blanks (and '#') inside a value.
  void split(std::string_view text) {
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (char c : text) {
      if (c == '"') {
        quoted = !quoted;
        inWord = true;
        continue;
      }
      if (!quoted && c == '#') break;
      if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
        if (inWord) words_.push_back(std::move(word));
        word.clear();
        inWord = false;
        continue;
      }
      word += c;
      inWord = true;
    }
    if (quoted) fail("unterminated quote");
    if (inWord) words_.push_back(std::move(word));
  }

  int line_;
  std::vector<std::string> words_;
};

// Addresses for entries that do not give one: locally administered, from the name.
MacAddress AddressFromName(std::string_view name, std::uint8_t kind) {
  std::uint32_t hash = 2166136261u;
  for (char c : name) hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
  return {0x02, 0x4B, kind, static_cast<std::uint8_t>(hash >> 16), static_cast<std::uint8_t>(hash >> 8),
          static_cast<std::uint8_t>(hash)};
}

void ParseLength(const LineParser& p, const std::string& text, Station& station) {
  const auto dash = text.find('-');
  if (dash == std::string::npos) {
    station.minLength = station.maxLength = static_cast<std::size_t>(p.number(text, 28, 2304, "length"));
  } else {
    station.minLength = static_cast<std::size_t>(p.number(text.substr(0, dash), 28, 2304, "length"));
    station.maxLength = static_cast<std::size_t>(p.number(text.substr(dash + 1), 28, 2304, "length"));
  }
  if (station.minLength > station.maxLength) p.fail("length " + text + " runs backwards");
}

void Require(const LineParser& p, const std::map<std::string, std::string>& pairs,
             std::initializer_list<const char*> keys) {
  for (const char* key : keys)
    if (!pairs.count(key)) p.fail(std::string("missing ") + key + "=");
}

constexpr double kMinLevel = -120.0;
constexpr double kMaxLevel = 20.0;

}  // namespace

double Environment::noiseFloor(int channel) const {
  auto it = noiseFloorDbm.find(channel);
  return it == noiseFloorDbm.end() ? defaultNoiseFloorDbm : it->second;
}

const AccessPoint* Environment::accessPoint(std::string_view name) const {
  for (const auto& ap : accessPoints)
    if (ap.name == name) return &ap;
  return nullptr;
}

Environment Environment::BuiltIn() { return Parse(kBuiltIn); }

void Environment::Validate(const GeneratorFrames& generator) {
  if (ChannelCentreMHz(generator.channel) == 0.0) throw EnvironmentError("generator: no channel " + std::to_string(generator.channel));
  if (generator.length < 36 || generator.length > 4000) throw EnvironmentError("generator: length outside 36 to 4000");
  if (!(generator.intervalMs > 0.0)) throw EnvironmentError("generator: the interval must be positive");
}

void Environment::validate() const {
  const auto channel = [](int c, const std::string& who) {
    if (ChannelCentreMHz(c) == 0.0) throw EnvironmentError(who + ": no channel " + std::to_string(c));
  };
  for (const auto& ap : accessPoints) {
    channel(ap.channel, "access point " + ap.name);
    if (!(ap.beaconIntervalMs > 0.0)) throw EnvironmentError("access point " + ap.name + ": the beacon interval must be positive");
  }
  for (const auto& station : stations) {
    if (!accessPoint(station.accessPoint))
      throw EnvironmentError("station " + station.name + ": no access point \"" + station.accessPoint + "\"");
    if (station.minLength < 28 || station.minLength > station.maxLength || station.maxLength > 2304)
      throw EnvironmentError("station " + station.name + ": lengths outside 28 to 2304");
  }
  for (const auto& interferer : interferers) channel(interferer.channel, "interferer");
  if (generator) Validate(*generator);
  if (tone) channel(tone->channel, "tone");
}

Environment Environment::Load(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EnvironmentError("cannot read environment file " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return Parse(text.str());
}

Environment Environment::Parse(std::string_view text) {
  Environment env;
  std::set<std::string> names;
  std::vector<std::pair<int, std::string>> stationLines;  // for the access-point check
  int number = 0;
  while (!text.empty()) {
    const auto newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    ++number;
    LineParser p(number, line);
    if (p.empty()) continue;
    const std::string& keyword = p.word(0);

    if (keyword == "noise") {
      if (p.size() != 3) p.fail("noise <channel|default> <dBm>");
      const double level = p.number(p.word(2), kMinLevel, -40.0, "noise floor");
      if (p.word(1) == "default") {
        env.defaultNoiseFloorDbm = level;
      } else {
        env.noiseFloorDbm[p.channel(p.word(1))] = level;
      }
    } else if (keyword == "ap" || keyword == "station") {
      const std::string& name = p.word(1);
      if (name.find('=') != std::string::npos) p.fail(keyword + " needs a name first");
      if (!names.insert(name).second) p.fail("the name \"" + name + "\" is taken");
      if (keyword == "ap") {
        auto kv = p.pairs(2, {"channel", "level", "ssid", "bssid", "beacon", "rate", "ppm"});
        Require(p, kv, {"channel", "level"});
        AccessPoint ap;
        ap.name = name;
        ap.channel = p.channel(kv["channel"]);
        ap.levelDbm = p.number(kv["level"], kMinLevel, kMaxLevel, "level");
        ap.ssid = kv.count("ssid") ? kv["ssid"] : name;
        if (ap.ssid.size() > 32) p.fail("an SSID has at most 32 characters");
        ap.bssid = kv.count("bssid") ? p.address(kv["bssid"]) : AddressFromName(name, 0xA0);
        if (kv.count("beacon")) ap.beaconIntervalMs = p.number(kv["beacon"], 1.0, 10000.0, "beacon interval");
        ap.beaconRate = kv.count("rate") ? p.rate(kv["rate"])
                                         : (IsFiveGhz(ap.channel) ? PhyRate{PhyMode::Ofdm, 0} : PhyRate{PhyMode::Cck, 0});
        if (kv.count("ppm")) ap.ppm = p.number(kv["ppm"], -100.0, 100.0, "ppm");
        env.accessPoints.push_back(ap);
      } else {
        auto kv = p.pairs(2, {"ap", "level", "address", "rate", "load", "errors", "length", "ppm"});
        Require(p, kv, {"ap", "level"});
        Station station;
        station.name = name;
        station.accessPoint = kv["ap"];
        station.levelDbm = p.number(kv["level"], kMinLevel, kMaxLevel, "level");
        station.address = kv.count("address") ? p.address(kv["address"]) : AddressFromName(name, 0xB0);
        if (kv.count("rate")) station.rate = p.rate(kv["rate"]);
        if (kv.count("load")) station.framesPerSecond = p.number(kv["load"], 0.0, 2000.0, "load");
        if (kv.count("errors")) station.errorRate = p.number(kv["errors"], 0.0, 1.0, "errors");
        if (kv.count("length")) ParseLength(p, kv["length"], station);
        if (kv.count("ppm")) station.ppm = p.number(kv["ppm"], -100.0, 100.0, "ppm");
        stationLines.emplace_back(number, station.accessPoint);
        env.stations.push_back(station);
      }
    } else if (keyword == "interferer") {
      auto kv = p.pairs(1, {"channel", "level", "phy-errors", "false-cca"});
      Require(p, kv, {"channel", "level"});
      Interferer interferer;
      interferer.channel = p.channel(kv["channel"]);
      interferer.levelDbm = p.number(kv["level"], kMinLevel, kMaxLevel, "level");
      if (kv.count("phy-errors")) interferer.phyErrorsPerSecond = p.number(kv["phy-errors"], 0.0, 5000.0, "phy-errors");
      if (kv.count("false-cca")) interferer.falseCcaPerSecond = p.number(kv["false-cca"], 0.0, 5000.0, "false-cca");
      env.interferers.push_back(interferer);
    } else if (keyword == "generator") {
      if (env.generator) p.fail("one generator only");
      auto kv = p.pairs(1, {"channel", "level", "frames", "interval", "rate", "length", "start", "ppm"});
      Require(p, kv, {"channel", "level", "frames"});
      GeneratorFrames generator;
      generator.channel = p.channel(kv["channel"]);
      generator.levelDbm = p.number(kv["level"], kMinLevel, kMaxLevel, "level");
      generator.count = static_cast<std::uint32_t>(p.number(kv["frames"], 0, 1e9, "frames"));
      if (kv.count("interval")) generator.intervalMs = p.number(kv["interval"], 0.01, 60000.0, "interval");
      if (kv.count("rate")) generator.rate = p.rate(kv["rate"]);
      if (kv.count("length")) generator.length = static_cast<std::size_t>(p.number(kv["length"], 36, 4000, "length"));
      if (kv.count("start")) generator.startMs = p.number(kv["start"], 0.0, 1e9, "start");
      if (kv.count("ppm")) generator.ppm = p.number(kv["ppm"], -100.0, 100.0, "ppm");
      env.generator = generator;
    } else if (keyword == "tone") {
      if (env.tone) p.fail("one tone only");
      auto kv = p.pairs(1, {"channel", "offset", "level"});
      Require(p, kv, {"channel", "level"});
      Tone tone;
      tone.channel = p.channel(kv["channel"]);
      tone.levelDbm = p.number(kv["level"], kMinLevel, kMaxLevel, "level");
      if (kv.count("offset")) tone.offsetMHz = p.number(kv["offset"], -40.0, 40.0, "offset");
      env.tone = tone;
    } else {
      p.fail("unknown entry \"" + keyword + "\"");
    }
  }
  for (const auto& [line, ap] : stationLines)
    if (!env.accessPoint(ap)) LineParser(line, "").fail("no access point \"" + ap + "\"");
  return env;
}

}  // namespace kqa::chip
