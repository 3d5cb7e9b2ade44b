#pragma once

#include <functional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/txrx/run_settings.h"

namespace kqa::txrx {

// Run settings as JSON: one object whose keys are all optional. "frameType"
// applies its preset first (through `applyPreset`, which may put the
// station address into Address2), then every other key overrides. Unknown
// keys, wrong types and values out of range are refused with a message
// naming the key; `settings` is then left as it was.
//
// Keys: frameType, totalBytes, repeat, mode, rate, bw40, sgi, stbc, ampdu,
// mpduDensity, baWinSize, waitAck, seqByHw, fc, dur, address1, address2,
// address3, seq, payload, repeatPattern, inc, swCrc, debugInfo, ipg,
// qosControl, rdg, aggregate (0 off, else the count), wiv, iv, eiv, tso,
// cso, qsel, port, acEnable (ten booleans, slot order AC0, AC1, AC2, AC3,
// MGMT, HCCA, AC4 ... AC7), cipher, keyTable, keyValue, aifsn, cwMin, cwMax
// (eight each), txop (eight), expectedCount, frameLossMode. Hex fields are
// strings in the page's text form; decimal fields numbers (a string of
// digits is taken too).
using PresetApplier = std::function<void(RunSettings&, int frameType)>;
std::string ReadRunSettings(const nlohmann::json& json, RunSettings& settings,
                            const PresetApplier& applyPreset = ApplyFramePreset);

// Every key, in the order above.
nlohmann::ordered_json WriteRunSettings(const RunSettings& settings);

// One "KEY=VALUE" of the command line into `json`: hex and text keys take
// VALUE as it stands, the others as JSON (true, 12, [1,2]). Returns the
// problem, or empty.
std::string AddSettingAssignment(nlohmann::json& json, std::string_view assignment);

}  // namespace kqa::txrx
