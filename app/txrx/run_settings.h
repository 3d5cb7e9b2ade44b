#pragma once

#include <array>
#include <string>

namespace kqa::txrx {

// The ten queue slots of a run (the driver's OUT pipes), in slot order.
inline constexpr int kQueueSlots = 10;
inline constexpr int kMgmtSlot = 4;
inline constexpr int kHccaSlot = 5;
// The slot of AC0-AC7.
inline constexpr std::array<int, 8> kAcSlot = {0, 1, 2, 3, 6, 7, 8, 9};

// The "RG0 WMM" ... "RG2 WMM1" radios of the Set Tx Descriptor dialog.
enum WmmSelection : int { kRg0Wmm = 0, kRg1Wmm = 1, kRg2Wmm0 = 2, kRg2Wmm1 = 3 };

inline constexpr int kPairwiseKeyTable = 1;  // "PairWiseKeyTable(1)"; 0 is "SharedKeyTable(0)"
inline constexpr int kMaxAggregate = 10;

// What the Set Tx Descriptor dialog edits. Combo settings hold the list
// index; text settings the text as typed (checked when a run is built).
struct DescriptorSettings {
  // AC0, AC1, AC2, AC3, MGMT, HCCA ("HCCA" box), AC4 ... AC7.
  std::array<bool, kQueueSlots> slotEnabled{true, false, false, false, false,
                                            false, true, false, false, false};
  std::array<int, 8> aifsn{2, 2, 3, 7, 2, 2, 3, 7};  // AC0-AC7, 0-15 each
  std::array<int, 8> cwMin{2, 3, 4, 4, 2, 3, 4, 4};
  std::array<int, 8> cwMax{3, 4, 10, 10, 3, 4, 10, 10};
  int aifsnMgmt = 2;  // the MGN ring's, kept with the settings
  int cwMinMgmt = 2;
  int cwMaxMgmt = 3;
  std::array<std::string, 8> txop{"47", "94", "0", "0", "47", "94", "0", "0"};  // decimal
  int wmmSelection = kRg2Wmm0;
  int cipher = 0;    // "(0) NO" ... "(7) Reserved"
  int keyTable = 0;  // 0 shared, 1 pairwise
  std::string keyValue = "F3A81C5D0E6B2974C8D15E0A9B3F6247";  // 16 bytes
  std::string iv = "00000000";   // 8 hex digits
  std::string eiv = "00000000";
  std::string baWinSize = "15";  // decimal, 6 bits
  int nextValid = 0;             // "(0)", "(1)"
  int cso = 0;
  int tso = 0;
  int qsel = 0;  // 0-3
  int port = 0;  // 0-7
  // Kept with the settings; the build does not read them.
  int ifs = 0;
  int drop = 1;
  int moreFrag = 0;
  int ack = 0;
  int timestamp = 0;
  int retryMode = 0;
  int tkipMic = 0;
  int burst = 0;
  int ivOffset = 0;
  int keyIndex = 0;
};

// The Set Tx environment dialog: what the frame-loss readout expects.
struct EnvironmentSettings {
  int frameLossMode = 0;       // 0 "TX Packet" (per run), 1 "Free Run (Packets/Sec)"
  long long expectedCount = 1000;
};

// Everything that makes a transmit run: the TX/RX page's frame fields and
// choices, the descriptor settings and the environment settings. The page,
// its two dialogs and the command line fill it; it reads and writes as JSON
// (run_settings_json.h). Hex fields keep the page's text form.
struct RunSettings {
  int frameType = 15;  // index in the "Frame Type" list
  std::string totalBytes = "40";  // decimal
  std::string repeat = "1000";    // decimal; 0 sends until stopped
  int mode = 1;                   // index in the Mode list
  int rate = 7;                   // index in the mode's rate list
  bool bw40 = false;
  bool sgi = false;
  bool stbc = false;
  bool ampdu = false;
  std::string mpduDensity = "0";  // decimal, 0-7
  bool waitAck = false;
  bool seqByHw = false;
  std::string fc = "0800";
  std::string dur = "0000";
  std::string address1 = "FFFFFFFFFFFF";
  std::string address2 = "000A40AABBCC";
  std::string address3 = "001122334455";
  std::string seq = "0000";
  std::string payload;
  std::string repeatPattern = "AA";
  bool inc = false;
  bool swCrc = false;
  bool debugInfo = false;
  std::string ipg = "200";         // decimal
  std::string qosControl = "0000"; // hex, 16 bits
  bool rdg = false;
  bool aggregate = false;          // "Aggregate"
  int aggregateCount = 1;          // 1-10
  bool wiv = false;
  DescriptorSettings descriptor;
  EnvironmentSettings environment;
};

// Fills the frame fields and "Total bytes" from the preset of `frameType`
// (0-17) and selects it; other types are ignored.
void ApplyFramePreset(RunSettings& settings, int frameType);

// RDG and "MPDU density" are offered only for QoS Data in the HT modes.
bool RdgVisible(const RunSettings& settings);
// SGI and STBC: SGI in the HT modes, STBC there below rate index 8.
bool SgiEnabled(const RunSettings& settings);
bool StbcEnabled(const RunSettings& settings);

// The dialog's AC boxes: each group of four (AC0-AC3, AC4-AC7) keeps at
// least one checked, so unchecking the last one of a group checks it again.
// `ac` is 0-7.
void ToggleAc(DescriptorSettings& settings, int ac);

// "Set TxD" accepted: the FC text's third character becomes '4' with a
// cipher, '0' without (the protected-frame bit). Shorter texts are padded.
void MarkProtectedFrame(RunSettings& settings);

// The queue-selection flags of a run (the driver's pipe mask, plus the
// debug-info and SW CRC flags of QoS Data).
std::uint32_t QueueSelectionFlags(const RunSettings& settings);

}  // namespace kqa::txrx
