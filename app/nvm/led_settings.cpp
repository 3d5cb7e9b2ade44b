#include "app/nvm/led_settings.h"

namespace kqa::nvm {
namespace {

constexpr std::array<LedCombo, kLedComboCount> kCombos = {{
    {"g-off", "LED G, Radio Off", LedKind::GreenOrAmber, 0, 0},
    {"a-off", "LED A, Radio Off", LedKind::GreenOrAmber, 2, 1},
    {"g-down", "LED G, Radio On and Link Down", LedKind::GreenOrAmber, 4, 4},
    {"a-down", "LED A, Radio On and Link Down", LedKind::GreenOrAmber, 6, 5},
    {"g-linkg", "LED G, Link to G", LedKind::GreenOrAmber, 8, 8},
    {"a-linkg", "LED A, Link to G", LedKind::GreenOrAmber, 10, 9},
    {"g-linka", "LED G, Link to A", LedKind::GreenOrAmber, 12, 12},
    {"a-linka", "LED A, Link to A", LedKind::GreenOrAmber, 14, 13},
    {"act-off", "LED ACT, Radio Off", LedKind::ActivityOff, 0, 2},
    {"act-down", "LED ACT, Radio On Link Down", LedKind::Activity, 4, 6},
    {"act-linkg", "LED ACT, Link to G", LedKind::Activity, 8, 10},
    {"act-linka", "LED ACT, Link to A", LedKind::Activity, 12, 14},
}};

constexpr std::string_view kGreenOrAmberItems[] = {"On", "Off", "Slow blink", "Fast blink"};
constexpr std::string_view kActivityOffItems[] = {"Slow blink,Solid on", "Solid on,Solid on",
                                                  "Solid off,Solid off"};
constexpr std::string_view kActivityItems[] = {
    "Slow blink,Solid on",      "Slow blink,Solid off",         "Slow blink,Blink data/mgmt",
    "Slow blink,Blink data/mgmt/beacon", "Solid on,Solid on",  "Solid off,Solid off",
    "Solid off,Blink data/mgmt", "Solid off,Blink data/mgmt/beacon", "Solid on,Blink data/mgmt",
    "Solid on,Blink data/mgmt/beacon"};

// What an item sets: the field (with the idle slow-blink bit 2 for LED ACT)
// and whether the LED is lit ("On").
struct Setting {
  int field;
  bool lit;
};

constexpr Setting kGreenOrAmber[] = {{1, true}, {1, false}, {2, true}, {3, true}};
constexpr Setting kActivityOff[] = {{4 | 1, true}, {1, true}, {1, false}};
constexpr Setting kActivity[] = {{4 | 1, true},  {4 | 1, false}, {4 | 2, true}, {4 | 3, true},
                                 {1, true},      {1, false},     {2, false},    {3, false},
                                 {2, true},      {3, true}};

std::span<const Setting> Settings(LedKind kind) {
  switch (kind) {
    case LedKind::GreenOrAmber: return kGreenOrAmber;
    case LedKind::ActivityOff: return kActivityOff;
    case LedKind::Activity: return kActivity;
  }
  return {};
}

int FieldMask(LedKind kind) {
  return kind == LedKind::GreenOrAmber ? 0x3 : 0x7;
}

// The item a field decodes to, in `*item` (nullopt: the combo shows
// nothing); false when the combo keeps what it shows.
bool Decode(LedKind kind, int field, bool lit, std::optional<int>* item) {
  const int f = field & 3;
  const bool slow = (field & 4) != 0;
  switch (kind) {
    case LedKind::GreenOrAmber:
      if (f == 0) return false;
      *item = f == 1 ? (lit ? 0 : 1) : f;
      return true;
    case LedKind::ActivityOff:
      if (f != 1) return false;
      if (slow)
        *item = lit ? std::optional<int>(0) : std::nullopt;
      else
        *item = lit ? 1 : 2;
      return true;
    case LedKind::Activity:
      if (f == 0) return false;
      if (slow)
        *item = f == 1 ? (lit ? 0 : 1) : f;
      else
        *item = f == 1 ? (lit ? 4 : 5) : f == 2 ? (lit ? 8 : 6) : (lit ? 9 : 7);
      return true;
  }
  return false;
}

}  // namespace

std::span<const LedCombo, kLedComboCount> LedCombos() {
  return kCombos;
}

std::span<const std::string_view> LedItems(LedKind kind) {
  switch (kind) {
    case LedKind::GreenOrAmber: return kGreenOrAmberItems;
    case LedKind::ActivityOff: return kActivityOffItems;
    case LedKind::Activity: return kActivityItems;
  }
  return {};
}

std::optional<std::size_t> FindLedCombo(std::string_view name) {
  for (std::size_t i = 0; i < kCombos.size(); ++i)
    if (kCombos[i].name == name) return i;
  return std::nullopt;
}

LedWords EncodeLeds(LedWords words, const LedSelections& selections,
                    std::optional<LedActive> active) {
  if (active) {
    for (std::size_t i = 0; i < kCombos.size(); ++i) {
      const LedCombo& combo = kCombos[i];
      const std::span<const Setting> settings = Settings(combo.kind);
      if (!selections[i] || *selections[i] < 0 ||
          static_cast<std::size_t>(*selections[i]) >= settings.size())
        continue;
      const Setting setting = settings[static_cast<std::size_t>(*selections[i])];
      std::uint16_t& word = combo.kind == LedKind::GreenOrAmber ? words.mode : words.activity;
      const int mask = FieldMask(combo.kind) << combo.fieldShift;
      word = static_cast<std::uint16_t>((word & ~mask) | (setting.field << combo.fieldShift));
      const bool bitSet = setting.lit == (*active == LedActive::High);
      const int bit = 1 << combo.polarityBit;
      words.polarity = static_cast<std::uint16_t>(bitSet ? words.polarity | bit : words.polarity & ~bit);
    }
  }
  words.activity |= kLedAlwaysSet;
  words.polarity |= kLedAlwaysSet;
  return words;
}

void DecodeLeds(const LedWords& words, LedActive active, LedSelections& selections) {
  for (std::size_t i = 0; i < kCombos.size(); ++i) {
    const LedCombo& combo = kCombos[i];
    const std::uint16_t word = combo.kind == LedKind::GreenOrAmber ? words.mode : words.activity;
    const int field = (word >> combo.fieldShift) & FieldMask(combo.kind);
    const bool bitSet = ((words.polarity >> combo.polarityBit) & 1) != 0;
    const bool lit = bitSet == (active == LedActive::High);
    std::optional<int> item;
    if (Decode(combo.kind, field, lit, &item)) selections[i] = item;
  }
}

}  // namespace kqa::nvm
