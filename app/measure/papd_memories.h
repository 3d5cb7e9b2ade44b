#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/device/device_context.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::measure {

// The PA/PD test page's memories, each moved between the chip and a text
// file:
//   PBF            packet buffer, 0x8000-0xFFFF, 8192 words a bank (MAC 0x0400
//                  bit 17 bank 1, bit 18 cleared with it)
//   share memory   0x4000-0x7FFF, 4096 words a bank (bit 19 bank 1)
//   data scope     the byte port MAC 0x05FC, enabled by MAC 0x05F8 bit 0
//   waveform       the packet buffer as samples, and its two-line records
//   PAPD tables    256 bytes behind BBP R190/R191
enum class PapdMemory { Pbf, ShareMemory, DataScope, Waveform };

inline constexpr std::size_t kPbfBankWords = 8192;
inline constexpr std::size_t kPbfPapdWords = 2731;  // the second bank's words in "PAPD Mode"
inline constexpr std::size_t kShareBankWords = 4096;
inline constexpr std::size_t kShareSecondBankWords = 2048;
inline constexpr std::size_t kDataScopeReads = 5000;

// The file dialog of a memory's Read (save) and Write (open) buttons.
FileDialogOptions PapdFileDialog(PapdMemory memory);

// What a Read or Write did, for the page's or the command line's words.
struct MemoryFileResult {
  bool ok = false;             // the file was read or written whole
  std::string problem;         // why not: the system's reason, or the file line that is not a number
  std::size_t values = 0;      // words, bytes or line pairs moved
  std::size_t ignored = 0;     // lines past the memory's end, not written
};

// File lines. Written: "%08X\n" per word (PBF, share memory), "%02X\n" per
// byte (data scope), "%d\t%d\t%d\t%d\n" per word as four signed bytes,
// lowest first (waveform), "0x%02X\n" per table entry.
std::string FormatWordLines(const std::vector<std::uint32_t>& words);
std::string FormatByteLines(const std::vector<std::uint8_t>& bytes);
std::string FormatWaveformLines(const std::vector<std::uint32_t>& words);
// Tables are written and every hexadecimal file read by
// app/registers/table_file.h: a line that is not hexadecimal refuses the
// whole file.

// One waveform record (two lines p q r s / t u v w) as the chip's words.
struct WaveformWords {
  std::uint32_t pbf1 = 0;   // (p & 0x3FF) | (q & 0x3FF) << 12 | r << 24
  std::uint32_t pbf2 = 0;   // (t & 0x3FF) | (u & 0x3FF) << 12 | v << 24
  std::uint32_t share = 0;  // (w & 0x3FF) << 20 | (v & 0x300) << 8 | (s & 0x3FF) << 4 | ((r >> 8) & 3)
};
WaveformWords PackWaveformRecord(const std::array<int, 4>& first, const std::array<int, 4>& second);
bool ParseWaveformLines(const std::vector<std::string>& lines, std::vector<WaveformWords>& records,
                        std::string& problem);

// The page's operations. Reads write the file with what they read (failed
// register reads show their message and read 0xFFFFFFFF); writes parse the
// whole file before anything reaches the chip and stop at the memory's end
// (the lines beyond it are counted, not wrapped over what was written).
class PapdMemories {
 public:
  explicit PapdMemories(device::DeviceContext& device) : device_(device) {}

  bool papdMode = false;  // "PAPD Mode": shorter second banks

  MemoryFileResult readPbf(const std::string& path);
  MemoryFileResult writePbf(const std::string& path);
  MemoryFileResult readShareMemory(const std::string& path);
  MemoryFileResult writeShareMemory(const std::string& path);
  MemoryFileResult readDataScope(const std::string& path);
  MemoryFileResult writeDataScope(const std::string& path);
  MemoryFileResult readWaveform(const std::string& path);
  MemoryFileResult writeWaveform(const std::string& path);

  // The PAPD table (BBP R190 index, R191 data) with R4 := 0x10 around the
  // read and restored after.
  std::array<std::uint8_t, 256> readTable();
  // "PAPD Cal" for path 0 or 1: measures, dumps the measured buffer to
  // "buf<path>.txt" and the table to "lut<path>_hw_cal.txt" in `folder`
  // (files that cannot be created are skipped). True when both were written.
  bool papdCalibration(int path, const std::string& folder);

 private:
  std::vector<std::uint32_t> readPbfWords();
  bool modifyBankSelect(std::uint32_t clear, std::uint32_t set);
  std::uint8_t bbpRead(std::uint8_t id);
  void bbpWrite(std::uint8_t id, std::uint8_t value);

  device::DeviceContext& device_;
};

}  // namespace kqa::measure
