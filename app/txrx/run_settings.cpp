#include "app/txrx/run_settings.h"

#include <cstdint>

#include "app/txrx/frame_presets.h"
#include "app/txrx/rate_lists.h"

namespace kqa::txrx {

void ApplyFramePreset(RunSettings& settings, int frameType) {
  if (frameType < 0 || frameType >= kFrameTypeCount) return;
  const FramePreset& preset = FramePresets()[static_cast<std::size_t>(frameType)];
  settings.frameType = frameType;
  settings.fc = preset.fc;
  settings.dur = preset.dur;
  settings.address1 = preset.address1;
  settings.address2 = preset.address2;
  settings.address3 = preset.address3;
  settings.seq = preset.seq;
  settings.payload = preset.payload;
  settings.totalBytes = std::to_string(preset.totalBytes);
}

bool RdgVisible(const RunSettings& settings) {
  return settings.frameType == kQosDataFrameType && IsHtMode(settings.mode);
}

bool SgiEnabled(const RunSettings& settings) {
  return IsHtMode(settings.mode);
}

bool StbcEnabled(const RunSettings& settings) {
  return IsHtMode(settings.mode) && settings.rate < 8;
}

void ToggleAc(DescriptorSettings& settings, int ac) {
  if (ac < 0 || ac >= 8) return;
  bool& box = settings.slotEnabled[static_cast<std::size_t>(kAcSlot[static_cast<std::size_t>(ac)])];
  box = !box;
  const int first = ac < 4 ? 0 : 4;
  for (int other = first; other < first + 4; ++other)
    if (settings.slotEnabled[static_cast<std::size_t>(kAcSlot[static_cast<std::size_t>(other)])]) return;
  box = true;  // the last one of its group stays checked
}

void MarkProtectedFrame(RunSettings& settings) {
  if (settings.fc.size() < 3) settings.fc.resize(3, '0');
  settings.fc[2] = settings.descriptor.cipher != 0 ? '4' : '0';
}

std::uint32_t QueueSelectionFlags(const RunSettings& settings) {
  const DescriptorSettings& d = settings.descriptor;
  std::uint32_t flags = 0;
  switch (d.wmmSelection) {
    case kRg0Wmm: flags = 0x10; break;
    case kRg1Wmm: flags = 0x20; break;
    case kRg2Wmm0:
      for (int ac = 0; ac < 4; ++ac)
        if (d.slotEnabled[static_cast<std::size_t>(kAcSlot[static_cast<std::size_t>(ac)])]) flags |= 1u << ac;
      break;
    case kRg2Wmm1:
      for (int ac = 4; ac < 8; ++ac)
        if (d.slotEnabled[static_cast<std::size_t>(kAcSlot[static_cast<std::size_t>(ac)])]) flags |= 0x40u << (ac - 4);
      break;
    default: break;
  }
  if (settings.frameType == kQosDataFrameType) {
    if (settings.debugInfo) flags |= 0x10000000;
    if (settings.swCrc) flags |= 0x20000000;
  }
  return flags;
}

}  // namespace kqa::txrx
