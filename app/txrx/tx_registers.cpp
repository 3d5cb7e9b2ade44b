#include "app/txrx/tx_registers.h"

#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/txrx/field_reader.h"
#include "platform/bytes/little_endian.h"

namespace kqa::txrx {
namespace {

constexpr std::uint32_t kWcid = 1;
constexpr std::uint32_t kBssIndex = 0;
constexpr std::uint32_t kKeyIndex = 0;

constexpr std::uint32_t kStationLow = 0x1008;
constexpr std::uint32_t kStationHigh = 0x100C;
constexpr std::uint32_t kWcidTable = 0x1800;
constexpr std::uint32_t kPairwiseKeys = 0x8000;
constexpr std::uint32_t kSharedKeys = 0xAC00;
constexpr std::uint32_t kIvTable = 0xA000;
constexpr std::uint32_t kWcidAttributes = 0x6800;
constexpr std::uint32_t kSharedKeyMode = 0xB000;
constexpr std::uint32_t kRdgControl = 0x1350;
constexpr std::uint32_t kRdgBit = 1u << 11;

// Writes `value` through a read-modify-write: false, with nothing
// written, when the read fails.
template <class Change>
bool Modify(device::RegisterAccess& access, std::uint32_t offset, Change change) {
  std::uint32_t value = 0;
  if (!access.ReadMacRegister(offset, value)) return false;
  return access.WriteMacRegister(offset, change(value));
}

bool WriteWcidAndKey(device::RegisterAccess& access, const RunRegisterValues& v) {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  bool ok = access.ReadMacRegister(kStationLow, low) && access.ReadMacRegister(kStationHigh, high);
  if (!ok) return false;
  ok = access.WriteMacRegister(kWcidTable + 8 * kWcid, low) &&
       access.WriteMacRegister(kWcidTable + 8 * kWcid + 4, high & 0xFFFF);

  const bool pairwise = v.keyTable == kPairwiseKeyTable;
  const std::uint32_t entry =
      pairwise ? kPairwiseKeys + 32 * kWcid : kSharedKeys + 32 * (4 * kBssIndex + kKeyIndex);
  std::array<std::uint8_t, 32> key{};
  std::copy(v.key.begin(), v.key.end(), key.begin());
  std::copy(kTxMicKey.begin(), kTxMicKey.end(), key.begin() + 16);
  std::copy(kRxMicKey.begin(), kRxMicKey.end(), key.begin() + 24);
  for (std::uint32_t word = 0; word < 8 && ok; ++word)
    ok = access.WriteMacRegister(entry + 4 * word, GetLe32(key, 4 * word));

  ok = ok && access.WriteMacRegister(kIvTable + 8 * kWcid, ComposeIvWord(v.cipher, kKeyIndex)) &&
       access.WriteMacRegister(kIvTable + 8 * kWcid + 4, v.eiv);
  const std::uint32_t attribute =
      ((((kBssIndex << 3) | static_cast<std::uint32_t>(v.cipher & 7)) << 1) | (pairwise ? 1u : 0u));
  ok = ok && access.WriteMacRegister(kWcidAttributes + 4 * kWcid, attribute);
  if (ok && !pairwise) {
    // Key k of an even BSS uses bits 4k to 4k + 2, of an odd one 16 + 4k on.
    const std::uint32_t shift = 4 * kKeyIndex + ((kBssIndex & 1) != 0 ? 16 : 0);
    ok = Modify(access, kSharedKeyMode + 2 * (kBssIndex & ~1u), [&](std::uint32_t mode) {
      return (mode & ~(7u << shift)) | (static_cast<std::uint32_t>(v.cipher & 7) << shift);
    });
  }
  return ok;
}

bool WriteWmm(device::RegisterAccess& access, std::uint32_t aifsn, std::uint32_t cwMin, std::uint32_t cwMax) {
  return access.WriteMacRegister(0x0214, aifsn) && access.WriteMacRegister(0x0218, cwMin) &&
         access.WriteMacRegister(0x021C, cwMax);
}

}  // namespace

bool WriteRunRegisters(device::DeviceContext& device, const RunRegisterValues& v, std::string& problem) {
  device::RegisterAccess access(device);
  // The gap in slots needs the slot time; asked before anything is written.
  std::uint32_t slot = 0;
  if (v.ipg >= 256) {
    std::uint32_t value = 0;
    if (!access.ReadMacRegister(0x1104, value)) return false;
    slot = value & 0xFF;
    if (slot == 0) {
      problem = device::Format(
          "\"IPG\" %u needs the slot time in MAC 0x1104, which reads 0; nothing was sent.", v.ipg);
      return false;
    }
  }
  if (!WriteWcidAndKey(access, v)) return false;
  if (!WriteWmm(access, v.wmmAifsn, v.wmmCwMin, v.wmmCwMax)) return false;

  std::uint32_t gap = v.ipg;
  std::uint32_t slots = 0;
  std::uint32_t before = 0;
  if (!access.ReadMacRegister(0x1100, before)) return false;
  if (gap >= 256) {
    slots = gap / slot;
    gap %= slot;
  }
  for (std::uint32_t offset = 0x1300; offset <= 0x130C; offset += 4)
    if (!access.WriteMacRegister(offset, slots << 8)) return false;
  if (!access.WriteMacRegister(0x1100, (gap << 8) | gap)) return false;

  if (v.rdgVisible)
    return Modify(access, kRdgControl, [&](std::uint32_t value) {
      return v.rdg ? value | kRdgBit : value & ~kRdgBit;
    });
  return true;
}

bool WriteDescriptorDialogRegisters(device::DeviceContext& device, const DescriptorSettings& d,
                                    std::string& problem) {
  FieldReader reader;
  std::array<std::uint32_t, 8> txop{};
  for (std::size_t i = 0; i < txop.size(); ++i)
    txop[i] = static_cast<std::uint32_t>(
        reader.decimal(device::Format("TXOP%zu", i), d.txop[i], 0, 0xFFFFFFFFll));
  if (!reader.ok()) {
    problem = reader.problem();
    return false;
  }
  device::RegisterAccess access(device);
  if (!WriteWmm(access, NibbleWord(d.aifsn), NibbleWord(d.cwMin), NibbleWord(d.cwMax))) return false;
  for (std::uint32_t pair = 0; pair < 4; ++pair)
    if (!access.WriteMacRegister(0x0220 + 4 * pair, (txop[2 * pair] & 0xFFFF) | (txop[2 * pair + 1] << 16)))
      return false;
  return true;
}

bool WriteWmmSelection(device::DeviceContext& device, int wmmSelection) {
  if (wmmSelection != kRg2Wmm0 && wmmSelection != kRg2Wmm1) return true;
  device::RegisterAccess access(device);
  return Modify(access, 0x0230, [&](std::uint32_t value) {
    return wmmSelection == kRg2Wmm1 ? value | 0x80000000u : value & ~0x80000000u;
  });
}

}  // namespace kqa::txrx
