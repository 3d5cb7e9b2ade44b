#include "app/measure/papd_memories.h"

#include <charconv>
#include <span>

#include "app/device/register_access.h"
#include "app/device/text_file.h"
#include "app/registers/hex_field.h"
#include "app/registers/table_file.h"
#include "platform/bytes/little_endian.h"

namespace kqa::measure {

using device::WriteTextFile;
using device::TrimBlanks;
using device::ReadTextLines;
using registers::FormatTableLines;
using registers::ParseHexLines;

namespace {

constexpr std::uint32_t kBankSelect = 0x0400;
constexpr std::uint32_t kPbfBank1 = 1u << 17;
constexpr std::uint32_t kPbfBankBits = (1u << 17) | (1u << 18);
constexpr std::uint32_t kShareBank1 = 1u << 19;
constexpr std::uint32_t kPbfWindow = 0x8000;
constexpr std::uint32_t kShareWindow = 0x4000;
constexpr std::uint32_t kDataScopeControl = 0x05F8;
constexpr std::uint32_t kDataScopePort = 0x05FC;
constexpr std::uint32_t kWaveformStatus = 0x05F4;
constexpr std::size_t kReadBlockBytes = 4096;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// `digits` hexadecimal digits of `value`, upper case.
std::string Hex(std::uint32_t value, int digits) {
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = kHexDigits[value & 0xF];
  return text;
}

bool ParseFourNumbers(std::string_view line, std::array<int, 4>& numbers) {
  for (int& number : numbers) {
    line = TrimBlanks(line);
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), number);
    if (error != std::errc()) return false;
    line.remove_prefix(static_cast<std::size_t>(end - line.data()));
  }
  return TrimBlanks(line).empty();
}

MemoryFileResult WriteFile(const std::string& path, const std::string& text, std::size_t values) {
  MemoryFileResult result;
  result.ok = WriteTextFile(path, text, result.problem);
  if (result.ok) result.values = values;
  return result;
}

bool ReadLines(const std::string& path, std::vector<std::string>& lines, MemoryFileResult& result) {
  return ReadTextLines(path, lines, result.problem);
}

}  // namespace

FileDialogOptions PapdFileDialog(PapdMemory memory) {
  FileDialogOptions options;
  options.defaultExtension = "txt";
  switch (memory) {
    case PapdMemory::Pbf:
      options.title = "Open Script File";
      options.filters = {{"PBF Files(*.txt)", "*.txt"}};
      break;
    case PapdMemory::DataScope:
      options.title = "Open Script File";
      options.filters = {{"Data scope Files(*.txt)", "*.txt"}};
      break;
    case PapdMemory::ShareMemory:
      options.title = "Open Script File";
      options.filters = {{"ShareMemory Files(*.txt)", "*.txt"}};
      break;
    case PapdMemory::Waveform:
      options.title = "Open File";
      options.filters = {{"Files(*.txt)", "*.txt"}};
      break;
  }
  return options;
}

std::string FormatWordLines(const std::vector<std::uint32_t>& words) {
  std::string text;
  text.reserve(words.size() * 9);
  for (std::uint32_t word : words) text += Hex(word, 8) + '\n';
  return text;
}

std::string FormatByteLines(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::uint8_t byte : bytes) text += Hex(byte, 2) + '\n';
  return text;
}

std::string FormatWaveformLines(const std::vector<std::uint32_t>& words) {
  std::string text;
  for (std::uint32_t word : words) {
    for (int i = 0; i < 4; ++i) {
      text += std::to_string(static_cast<std::int8_t>(word >> (8 * i)));
      text += i < 3 ? '\t' : '\n';
    }
  }
  return text;
}

WaveformWords PackWaveformRecord(const std::array<int, 4>& a, const std::array<int, 4>& b) {
  const auto u = [](int v) { return static_cast<std::uint32_t>(v); };
  WaveformWords words;
  words.pbf1 = (u(a[0]) & 0x3FF) | (u(a[1]) & 0x3FF) << 12 | u(a[2]) << 24;
  words.pbf2 = (u(b[0]) & 0x3FF) | (u(b[1]) & 0x3FF) << 12 | u(b[2]) << 24;
  words.share = (u(b[3]) & 0x3FF) << 20 | (u(b[2]) & 0x300) << 8 | (u(a[3]) & 0x3FF) << 4 | ((u(a[2]) >> 8) & 3);
  return words;
}

bool ParseWaveformLines(const std::vector<std::string>& lines, std::vector<WaveformWords>& records,
                        std::string& problem) {
  records.clear();
  std::vector<std::pair<std::size_t, std::array<int, 4>>> rows;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (TrimBlanks(lines[i]).empty()) continue;
    std::array<int, 4> numbers{};
    if (!ParseFourNumbers(lines[i], numbers)) {
      problem = registers::FileLineProblem(i + 1, lines[i], "four decimal numbers");
      return false;
    }
    rows.emplace_back(i + 1, numbers);
  }
  if (rows.size() % 2 != 0) {
    problem = "Line " + std::to_string(rows.back().first) + " has no second line to make a pair.";
    return false;
  }
  for (std::size_t i = 0; i < rows.size(); i += 2)
    records.push_back(PackWaveformRecord(rows[i].second, rows[i + 1].second));
  return true;
}

std::uint8_t PapdMemories::bbpRead(std::uint8_t id) {
  std::uint8_t value = 0xFF;
  device::RegisterAccess(device_).AccessBbpRegister(device::kRegisterRead, id, value);
  return value;
}

void PapdMemories::bbpWrite(std::uint8_t id, std::uint8_t value) {
  device::RegisterAccess(device_).AccessBbpRegister(device::kRegisterWrite, id, value);
}

bool PapdMemories::modifyBankSelect(std::uint32_t clear, std::uint32_t set) {
  device::RegisterAccess access(device_);
  std::uint32_t value = 0;
  return access.ReadMacRegister(kBankSelect, value) &&
         access.WriteMacRegister(kBankSelect, (value & ~clear) | set);
}

namespace {

// `count` words from `window` in block reads (the same bytes as word reads);
// after a failed read the rest stay 0xFFFFFFFF (one message, not thousands).
bool ReadWords(device::DeviceContext& device, std::uint32_t window, std::size_t count,
               std::vector<std::uint32_t>& words) {
  device::RegisterAccess access(device);
  std::vector<std::uint8_t> bytes(count * 4, 0xFF);
  bool ok = true;
  for (std::size_t at = 0; at < bytes.size() && ok; at += kReadBlockBytes) {
    const std::size_t length = std::min(kReadBlockBytes, bytes.size() - at);
    ok = access.ReadMemoryBlock(window + static_cast<std::uint32_t>(at), std::span(bytes).subspan(at, length));
  }
  for (std::size_t i = 0; i < count; ++i) words.push_back(GetLe32(bytes, 4 * i));
  return ok;
}

}  // namespace

std::vector<std::uint32_t> PapdMemories::readPbfWords() {
  std::vector<std::uint32_t> words;
  modifyBankSelect(kPbfBankBits, 0);
  if (ReadWords(device_, kPbfWindow, kPbfBankWords, words)) {
    modifyBankSelect(0, kPbfBank1);
    ReadWords(device_, kPbfWindow, papdMode ? kPbfPapdWords : kPbfBankWords, words);
  }
  return words;
}

MemoryFileResult PapdMemories::readPbf(const std::string& path) {
  const auto words = readPbfWords();
  return WriteFile(path, FormatWordLines(words), words.size());
}

MemoryFileResult PapdMemories::readWaveform(const std::string& path) {
  std::uint32_t status = 0;
  device::RegisterAccess(device_).ReadMacRegister(kWaveformStatus, status);
  const auto words = readPbfWords();
  return WriteFile(path, FormatWaveformLines(words), words.size());
}

MemoryFileResult PapdMemories::readShareMemory(const std::string& path) {
  std::vector<std::uint32_t> words;
  modifyBankSelect(kShareBank1, 0);
  if (ReadWords(device_, kShareWindow, kShareBankWords, words) && !papdMode) {
    modifyBankSelect(0, kShareBank1);
    ReadWords(device_, kShareWindow, kShareSecondBankWords, words);
    modifyBankSelect(kShareBank1, 0);
  }
  return WriteFile(path, FormatWordLines(words), words.size());
}

MemoryFileResult PapdMemories::readDataScope(const std::string& path) {
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  access.ReadMacRegister(kDataScopeControl, control);
  access.WriteMacRegister(kDataScopeControl, control | 1);
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < kDataScopeReads; ++i) {
    std::uint32_t value = 0;
    if (!access.ReadMacRegister(kDataScopePort, value)) break;
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  return WriteFile(path, FormatByteLines(bytes), bytes.size());
}

MemoryFileResult PapdMemories::writePbf(const std::string& path) {
  MemoryFileResult result;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> words;
  if (!ReadLines(path, lines, result) || !ParseHexLines(lines, words, result.problem)) return result;
  device::RegisterAccess access(device_);
  modifyBankSelect(kPbfBankBits, 0);
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i == 2 * kPbfBankWords) {
      result.ignored = words.size() - i;
      break;
    }
    if (i == kPbfBankWords) modifyBankSelect(0, kPbfBank1);
    if (!access.WriteMacRegister(kPbfWindow + static_cast<std::uint32_t>(4 * (i % kPbfBankWords)), words[i]))
      return result;
    ++result.values;
  }
  result.ok = true;
  return result;
}

MemoryFileResult PapdMemories::writeShareMemory(const std::string& path) {
  MemoryFileResult result;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> words;
  if (!ReadLines(path, lines, result) || !ParseHexLines(lines, words, result.problem)) return result;
  device::RegisterAccess access(device_);
  modifyBankSelect(kShareBank1, 0);
  bool ok = true;
  for (std::size_t i = 0; i < words.size() && ok; ++i) {
    if (i == 2 * kShareBankWords) {
      result.ignored = words.size() - i;
      break;
    }
    if (i == kShareBankWords) modifyBankSelect(0, kShareBank1);
    ok = access.WriteMacRegister(kShareWindow + static_cast<std::uint32_t>(4 * (i % kShareBankWords)), words[i]);
    if (ok) ++result.values;
  }
  modifyBankSelect(kShareBank1, 0);
  result.ok = ok;
  return result;
}

MemoryFileResult PapdMemories::writeDataScope(const std::string& path) {
  MemoryFileResult result;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> values;
  if (!ReadLines(path, lines, result) || !ParseHexLines(lines, values, result.problem)) return result;
  device::RegisterAccess access(device_);
  std::uint32_t control = 0;
  access.ReadMacRegister(kDataScopeControl, control);
  access.WriteMacRegister(kDataScopeControl, control | 1);
  for (std::uint32_t value : values) {
    if (!access.WriteMacRegister(kDataScopePort, value & 0xFF)) return result;
    ++result.values;
  }
  result.ok = true;
  return result;
}

MemoryFileResult PapdMemories::writeWaveform(const std::string& path) {
  MemoryFileResult result;
  std::vector<std::string> lines;
  std::vector<WaveformWords> records;
  if (!ReadLines(path, lines, result) || !ParseWaveformLines(lines, records, result.problem)) return result;
  device::RegisterAccess access(device_);
  modifyBankSelect(kPbfBankBits | kShareBank1, 0);
  // Two packet-buffer words and one shared-memory word a record: the packet
  // buffer (16384 words) fills first.
  const std::size_t capacity = kPbfBankWords;
  bool ok = true;
  for (std::size_t r = 0; r < records.size() && ok; ++r) {
    if (r == capacity) {
      result.ignored = records.size() - r;
      break;
    }
    const std::size_t pbf = 2 * r;
    if (pbf == kPbfBankWords) modifyBankSelect(0, kPbfBank1);
    if (r == kShareBankWords) modifyBankSelect(0, kShareBank1);
    const auto pbfAddress = [](std::size_t word) {
      return kPbfWindow + static_cast<std::uint32_t>(4 * (word % kPbfBankWords));
    };
    ok = access.WriteMacRegister(pbfAddress(pbf), records[r].pbf1) &&
         access.WriteMacRegister(pbfAddress(pbf + 1), records[r].pbf2) &&
         access.WriteMacRegister(kShareWindow + static_cast<std::uint32_t>(4 * (r % kShareBankWords)),
                                 records[r].share);
    if (ok) ++result.values;
  }
  modifyBankSelect(kShareBank1, 0);
  result.ok = ok;
  return result;
}

std::array<std::uint8_t, 256> PapdMemories::readTable() {
  std::array<std::uint8_t, 256> table{};
  const std::uint8_t r4 = bbpRead(4);
  bbpWrite(4, 0x10);
  for (std::size_t i = 0; i < table.size(); ++i) {
    bbpWrite(190, static_cast<std::uint8_t>(i));
    table[i] = bbpRead(191);
  }
  bbpWrite(4, r4);
  return table;
}

bool PapdMemories::papdCalibration(int path, const std::string& folder) {
  const auto orBits = [&](std::uint8_t id, std::uint8_t bits) { bbpWrite(id, bbpRead(id) | bits); };
  const auto andBits = [&](std::uint8_t id, std::uint8_t bits) { bbpWrite(id, bbpRead(id) & bits); };
  orBits(21, 0x80);
  orBits(31, 0x40);
  bbpWrite(244, 0x31);
  orBits(186, 0x20);
  bbpWrite(244, 0);
  orBits(189, 0x80);
  const std::string suffix = std::to_string(path);
  std::string ignored;
  const bool buffer = WriteTextFile(folder + "/buf" + suffix + ".txt", FormatTableLines(readTable()), ignored);
  andBits(189, 0x7F);
  const bool table = WriteTextFile(folder + "/lut" + suffix + "_hw_cal.txt", FormatTableLines(readTable()), ignored);
  andBits(21, 0x7F);
  andBits(31, 0xBF);
  return buffer && table;
}

}  // namespace kqa::measure
