#include "app/txrx/run_settings_json.h"

#include <array>
#include <set>

#include "app/txrx/frame_presets.h"
#include "app/txrx/rate_lists.h"

namespace kqa::txrx {
namespace {

using nlohmann::json;

// Keys whose values are the page's hex text.
const std::set<std::string, std::less<>> kTextKeys = {
    "fc", "dur", "address1", "address2", "address3", "seq", "payload", "repeatPattern",
    "qosControl", "iv", "eiv", "keyValue"};

struct Reader {
  const json& object;
  std::string problem;

  const json* find(const char* key) const {
    const auto found = object.find(key);
    return found == object.end() ? nullptr : &*found;
  }
  void fail(const std::string& message) {
    if (problem.empty()) problem = message;
  }
  void text(const char* key, std::string& into) {
    if (const json* value = find(key)) {
      if (value->is_string())
        into = value->get<std::string>();
      else
        fail(std::string("\"") + key + "\" must be a text of hexadecimal digits");
    }
  }
  // A decimal field: a number, or a text of digits as the page holds it.
  void decimal(const char* key, std::string& into) {
    if (const json* value = find(key)) {
      if (value->is_number_integer())
        into = std::to_string(value->get<long long>());
      else if (value->is_string())
        into = value->get<std::string>();
      else
        fail(std::string("\"") + key + "\" must be a number");
    }
  }
  void flag(const char* key, bool& into) {
    if (const json* value = find(key)) {
      if (value->is_boolean())
        into = value->get<bool>();
      else
        fail(std::string("\"") + key + "\" must be true or false");
    }
  }
  bool number(const json& value, const std::string& name, long long min, long long max, long long& into) {
    if (!value.is_number_integer()) {
      fail("\"" + name + "\" must be a whole number");
      return false;
    }
    into = value.get<long long>();
    if (into < min || into > max) {
      fail("\"" + name + "\" must be from " + std::to_string(min) + " to " + std::to_string(max) + ", not " +
           std::to_string(into));
      return false;
    }
    return true;
  }
  void choice(const char* key, long long min, long long max, int& into) {
    long long value = 0;
    if (const json* found = find(key); found && number(*found, key, min, max, value)) into = static_cast<int>(value);
  }
  template <std::size_t N, class T, class Each>
  void list(const char* key, std::array<T, N>& into, Each each) {
    const json* value = find(key);
    if (value == nullptr) return;
    if (!value->is_array() || value->size() != N) {
      fail(std::string("\"") + key + "\" must be a list of " + std::to_string(N) + " entries");
      return;
    }
    std::array<T, N> read = into;
    for (std::size_t i = 0; i < N; ++i)
      if (!each((*value)[i], std::string(key) + "[" + std::to_string(i) + "]", read[i])) return;
    into = read;
  }
};

}  // namespace

std::string ReadRunSettings(const json& object, RunSettings& settings, const PresetApplier& applyPreset) {
  if (!object.is_object()) return "the run settings must be a JSON object";
  static const std::set<std::string, std::less<>> kKnown = [] {
    std::set<std::string, std::less<>> keys;
    const nlohmann::ordered_json every = WriteRunSettings(RunSettings{});
    for (auto entry = every.begin(); entry != every.end(); ++entry) keys.insert(entry.key());
    return keys;
  }();
  for (const auto& [key, value] : object.items())
    if (!kKnown.contains(key)) return "unknown run setting \"" + key + "\"";

  RunSettings s = settings;
  Reader r{object, {}};
  if (const json* type = r.find("frameType")) {
    long long t = 0;
    if (r.number(*type, "frameType", 0, kFrameTypeCount - 1, t)) {
      applyPreset(s, static_cast<int>(t));
      s.frameType = static_cast<int>(t);
    }
  }
  r.decimal("totalBytes", s.totalBytes);
  r.decimal("repeat", s.repeat);
  r.choice("mode", 0, kModeCount - 1, s.mode);
  if (r.find("mode") && !r.find("rate")) s.rate = DefaultRateIndex(s.mode);
  r.choice("rate", 0, static_cast<long long>(RateNames(s.mode).size()) - 1, s.rate);
  r.flag("bw40", s.bw40);
  r.flag("sgi", s.sgi);
  r.flag("stbc", s.stbc);
  r.flag("ampdu", s.ampdu);
  r.decimal("mpduDensity", s.mpduDensity);
  r.decimal("baWinSize", s.descriptor.baWinSize);
  r.flag("waitAck", s.waitAck);
  r.flag("seqByHw", s.seqByHw);
  r.text("fc", s.fc);
  r.text("dur", s.dur);
  r.text("address1", s.address1);
  r.text("address2", s.address2);
  r.text("address3", s.address3);
  r.text("seq", s.seq);
  r.text("payload", s.payload);
  r.text("repeatPattern", s.repeatPattern);
  r.flag("inc", s.inc);
  r.flag("swCrc", s.swCrc);
  r.flag("debugInfo", s.debugInfo);
  r.decimal("ipg", s.ipg);
  r.text("qosControl", s.qosControl);
  r.flag("rdg", s.rdg);
  if (const json* aggregate = r.find("aggregate")) {
    long long count = 0;
    if (r.number(*aggregate, "aggregate", 0, kMaxAggregate, count)) {
      s.aggregate = count > 0;
      if (count > 0) s.aggregateCount = static_cast<int>(count);
    }
  }
  r.flag("wiv", s.wiv);
  r.text("iv", s.descriptor.iv);
  r.text("eiv", s.descriptor.eiv);
  r.choice("tso", 0, 1, s.descriptor.tso);
  r.choice("cso", 0, 1, s.descriptor.cso);
  r.choice("qsel", 0, 3, s.descriptor.qsel);
  r.choice("port", 0, 7, s.descriptor.port);
  r.list("acEnable", s.descriptor.slotEnabled, [&](const json& value, const std::string& name, bool& into) {
    if (!value.is_boolean()) {
      r.fail("\"" + name + "\" must be true or false");
      return false;
    }
    into = value.get<bool>();
    return true;
  });
  r.choice("cipher", 0, 7, s.descriptor.cipher);
  r.choice("keyTable", 0, 1, s.descriptor.keyTable);
  r.text("keyValue", s.descriptor.keyValue);
  const auto nibble = [&](const json& value, const std::string& name, int& into) {
    long long read = 0;
    if (!r.number(value, name, 0, 15, read)) return false;
    into = static_cast<int>(read);
    return true;
  };
  r.list("aifsn", s.descriptor.aifsn, nibble);
  r.list("cwMin", s.descriptor.cwMin, nibble);
  r.list("cwMax", s.descriptor.cwMax, nibble);
  r.list("txop", s.descriptor.txop, [&](const json& value, const std::string& name, std::string& into) {
    long long read = 0;
    if (!r.number(value, name, 0, 0xFFFF, read)) return false;
    into = std::to_string(read);
    return true;
  });
  if (const json* count = r.find("expectedCount")) {
    long long value = 0;
    if (r.number(*count, "expectedCount", 0, 0xFFFFFFFFll, value)) s.environment.expectedCount = value;
  }
  r.choice("frameLossMode", 0, 1, s.environment.frameLossMode);
  if (!r.problem.empty()) return r.problem;
  settings = s;
  return {};
}

nlohmann::ordered_json WriteRunSettings(const RunSettings& s) {
  // A decimal field that holds a number is written as one, else as its text.
  const auto decimal = [](const std::string& text) -> nlohmann::ordered_json {
    long long value = 0;
    std::size_t used = 0;
    try {
      value = std::stoll(text, &used);
    } catch (...) {
      return text;
    }
    if (used != text.size() || text.empty() || text.front() == '+' || text.front() == ' ') return text;
    return value;
  };
  const DescriptorSettings& d = s.descriptor;
  nlohmann::ordered_json j;
  j["frameType"] = s.frameType;
  j["totalBytes"] = decimal(s.totalBytes);
  j["repeat"] = decimal(s.repeat);
  j["mode"] = s.mode;
  j["rate"] = s.rate;
  j["bw40"] = s.bw40;
  j["sgi"] = s.sgi;
  j["stbc"] = s.stbc;
  j["ampdu"] = s.ampdu;
  j["mpduDensity"] = decimal(s.mpduDensity);
  j["baWinSize"] = decimal(d.baWinSize);
  j["waitAck"] = s.waitAck;
  j["seqByHw"] = s.seqByHw;
  j["fc"] = s.fc;
  j["dur"] = s.dur;
  j["address1"] = s.address1;
  j["address2"] = s.address2;
  j["address3"] = s.address3;
  j["seq"] = s.seq;
  j["payload"] = s.payload;
  j["repeatPattern"] = s.repeatPattern;
  j["inc"] = s.inc;
  j["swCrc"] = s.swCrc;
  j["debugInfo"] = s.debugInfo;
  j["ipg"] = decimal(s.ipg);
  j["qosControl"] = s.qosControl;
  j["rdg"] = s.rdg;
  j["aggregate"] = s.aggregate ? s.aggregateCount : 0;
  j["wiv"] = s.wiv;
  j["iv"] = d.iv;
  j["eiv"] = d.eiv;
  j["tso"] = d.tso;
  j["cso"] = d.cso;
  j["qsel"] = d.qsel;
  j["port"] = d.port;
  j["acEnable"] = d.slotEnabled;
  j["cipher"] = d.cipher;
  j["keyTable"] = d.keyTable;
  j["keyValue"] = d.keyValue;
  j["aifsn"] = d.aifsn;
  j["cwMin"] = d.cwMin;
  j["cwMax"] = d.cwMax;
  auto txop = nlohmann::ordered_json::array();
  for (const std::string& text : d.txop) txop.push_back(decimal(text));
  j["txop"] = txop;
  j["expectedCount"] = s.environment.expectedCount;
  j["frameLossMode"] = s.environment.frameLossMode;
  return j;
}

std::string AddSettingAssignment(json& object, std::string_view assignment) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string_view::npos || equals == 0)
    return "\"" + std::string(assignment) + "\" is not KEY=VALUE";
  const std::string key(assignment.substr(0, equals));
  const std::string value(assignment.substr(equals + 1));
  if (kTextKeys.contains(key)) {
    object[key] = value;
    return {};
  }
  json parsed = json::parse(value, nullptr, false);
  if (parsed.is_discarded()) {
    // A list may be given without brackets: "aifsn=2,2,3,7,2,2,3,7".
    parsed = json::parse("[" + value + "]", nullptr, false);
    if (parsed.is_discarded() || value.find(',') == std::string::npos)
      return "the value of \"" + key + "\" is not a number, true, false or a list: \"" + value + "\"";
  }
  object[key] = parsed;
  return {};
}

}  // namespace kqa::txrx
