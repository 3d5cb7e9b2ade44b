#include "app/registers/mac_register_tool.h"

#include <algorithm>
#include <cstdio>

#include "app/device/register_access.h"
#include "app/registers/hex_field.h"
#include "app/registers/register_file.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::registers {
namespace {

constexpr std::size_t kProgressStep = 64;  // words between progress reports
constexpr std::size_t kMalformedListed = 10;

std::string Hex8(std::uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string Hex4(std::uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

MacRegisterTool::MacRegisterTool(device::DeviceContext& device)
    : device_(device), region_(kRegionBufferSize, 0) {}

const MemoryBank& MacRegisterTool::bank() const { return MacMemoryBanks()[bankIndex_]; }

std::uint32_t MacRegisterTool::word(std::size_t index) const {
  const std::uint8_t* at = region_.data() + 4 * index;
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

void MacRegisterTool::setWord(std::size_t index, std::uint32_t value) {
  std::uint8_t* at = region_.data() + 4 * index;
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void MacRegisterTool::report(std::size_t done, std::size_t total) const {
  if (progress_) progress_(done, total);
}

void MacRegisterTool::chooseBank(std::size_t index) {
  if (index >= MacMemoryBanks().size()) return;
  bankIndex_ = index;
  readBank();
}

bool MacRegisterTool::readWord(std::uint32_t address, std::uint32_t& value) {
  return device::RegisterAccess(device_).ReadMacRegister(address, value);
}

bool MacRegisterTool::setProgramMemoryEnabled(bool enabled) {
  device::RegisterAccess registers(device_);
  std::uint32_t control = 0;
  // A failed read gives FFFFFFFF; writing that back would set every bit of
  // the control register.
  if (!registers.ReadMacRegister(kProgramMemoryControl, control)) return false;
  control = enabled ? control | kProgramMemoryEnable : control & ~kProgramMemoryEnable;
  return registers.WriteMacRegister(kProgramMemoryControl, control);
}

void MacRegisterTool::readBank() {
  const MemoryBank& shown = bank();
  const std::size_t words = shown.length / 4;
  const bool programMemory = shown.base == kProgramMemoryBase;
  const bool enabled = programMemory && setProgramMemoryEnabled(true);

  std::fill_n(region_.begin(), shown.length, std::uint8_t{0});
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint32_t address = shown.base + static_cast<std::uint32_t>(4 * i);
    if (IsUntouchedAddress(address)) {
      setWord(i, kUntouchedWordValue);
      continue;
    }
    std::uint32_t value = 0;
    if (!readWord(address, value)) {
      // The failed read was reported (or there is no device at all, which
      // stays silent). The words not read show what a failed read shows.
      if (value == device::kFailedReadValue)
        for (std::size_t rest = i; rest < words; ++rest) setWord(rest, device::kFailedReadValue);
      break;
    }
    setWord(i, value);
    if ((i + 1) % kProgressStep == 0) report(i + 1, words);
  }
  if (enabled) setProgramMemoryEnabled(false);
  report(words, words);
}

bool MacRegisterTool::singleReadWrite() {
  const auto offset = ParseHexField(single.offsetText);
  if (!offset) {
    device_.prompt.showMessage(HexFieldProblem("Offset", single.offsetText));
    return false;
  }
  const std::uint64_t address = std::uint64_t{bank().base} + *offset;
  if (address > 0xFFFFFFFFu) {
    device_.prompt.showMessage("Offset " + Hex8(*offset) + " lies beyond the end of the " +
                               "register space from the bank base " + Hex4(bank().base) + ".");
    return false;
  }
  device::RegisterAccess registers(device_);
  if (single.direction == Direction::Write) {
    const auto value = ParseHexField(single.valueText);
    if (!value) {
      device_.prompt.showMessage(HexFieldProblem("Value", single.valueText));
      return false;
    }
    registers.WriteMacRegister(static_cast<std::uint32_t>(address), *value);
    return true;
  }
  std::uint32_t value = 0;
  if (registers.ReadMacRegister(static_cast<std::uint32_t>(address), value) ||
      value == device::kFailedReadValue)
    single.valueText = Hex8(value);
  return true;
}

bool MacRegisterTool::accessReadWrite() {
  const auto address = ParseHexField(access.offsetText);
  if (!address) {
    device_.prompt.showMessage(HexFieldProblem("Offset", access.offsetText));
    return false;
  }
  device::RegisterAccess registers(device_);
  if (access.direction == Direction::Write) {
    const auto value = ParseHexField(access.valueText);
    if (!value) {
      device_.prompt.showMessage(HexFieldProblem("Value", access.valueText));
      return false;
    }
    switch (window) {
      case AccessWindow::Mac: registers.WriteMacRegister(*address, *value); break;
      case AccessWindow::Sys: registers.WriteSysRegister(*address, *value); break;
      case AccessWindow::Absolute: registers.WriteAbsRegister(*address, *value); break;
    }
    return true;
  }
  std::uint32_t value = 0;
  bool read = false;
  switch (window) {
    case AccessWindow::Mac: read = registers.ReadMacRegister(*address, value); break;
    case AccessWindow::Sys: read = registers.ReadSysRegister(*address, value); break;
    case AccessWindow::Absolute: read = registers.ReadAbsRegister(*address, value); break;
  }
  if (read || value == device::kFailedReadValue) access.valueText = Hex8(value);
  return true;
}

void MacRegisterTool::dumpBank() {
  FileDialogOptions dialog;
  dialog.title = "Open File";
  dialog.filters = {{"Dump Files(*.txt)", "*.txt"}};
  dialog.defaultExtension = "txt";
  dialog.initialFolder = ProgramFolder();
  const std::optional<std::string> chosen = device_.prompt.chooseSaveFile(dialog);
  if (!chosen) return;
  std::string path = *chosen;
  if (path.find(".txt") == std::string::npos) path += ".txt";

  std::vector<std::uint32_t> words(bank().length / 4);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = word(i);
  std::string error;
  if (!WriteRegisterDump(path, bank().base, words, error)) {
    device_.prompt.showMessage("Dump MAC Registers failed!\nThe file " + path +
                               " could not be written: " + error);
    return;
  }
  device_.prompt.showMessage("Dump MAC Registers Done!");
}

void MacRegisterTool::loadRegisterFile() {
  FileDialogOptions dialog;
  dialog.title = "Open MAC Register File";
  dialog.filters = ParseFilterList("MAC Register File (*.mac)|*.mac||");
  dialog.defaultExtension = "mac";
  dialog.initialFolder = ProgramFolder();
  const std::optional<std::string> chosen = device_.prompt.chooseOpenFile(dialog);
  if (!chosen) {
    readBank();
    return;
  }
  const std::string path = AppendExtensionIfNoDot(*chosen, "mac");
  RegisterFile file;
  if (!ReadRegisterFile(path, file)) {
    device_.prompt.showMessage("MAC Register File not found!");
    return;
  }

  const bool programMemory = std::any_of(file.pairs.begin(), file.pairs.end(),
                                         [](const RegisterPair& p) { return IsProgramMemory(p.address); });
  const bool enabled = programMemory && setProgramMemoryEnabled(true);
  device::RegisterAccess registers(device_);
  std::size_t written = 0;
  std::size_t untouched = 0;
  const RegisterPair* failed = nullptr;
  for (const RegisterPair& pair : file.pairs) {
    if (IsUntouchedAddress(pair.address)) {
      ++untouched;
      continue;
    }
    if (!registers.WriteMacRegister(pair.address, pair.value)) {
      failed = &pair;  // reported by the write (or no device); stop here
      break;
    }
    ++written;
    if (written % kProgressStep == 0) report(written, file.pairs.size());
  }
  if (enabled) setProgramMemoryEnabled(false);
  readBank();

  std::string summary = "Wrote " + std::to_string(written) + " register" +
                        (written == 1 ? "" : "s") + " from " + FileName(path) +
                        " through the 0x410000 window.";
  if (failed != nullptr)
    summary += "\nStopped at register " + Hex4(failed->address) +
               ": its write failed, the registers after it were not written.";
  if (untouched > 0)
    summary += "\nLeft " + std::to_string(untouched) +
               " register(s) in 0x3800-0x38FF alone: the page never writes them.";
  if (!file.malformed.empty()) {
    summary += "\nSkipped " + std::to_string(file.malformed.size()) +
               " line(s) that are not an address and a value:";
    for (std::size_t i = 0; i < file.malformed.size() && i < kMalformedListed; ++i)
      summary += "\n  line " + std::to_string(file.malformed[i].number) + ": " +
                 file.malformed[i].text.substr(0, 60);
    if (file.malformed.size() > kMalformedListed)
      summary += "\n  ... and " + std::to_string(file.malformed.size() - kMalformedListed) +
                 " more";
  }
  if (file.pairs.empty() && file.malformed.empty())
    summary = "No registers found in " + FileName(path) + "; nothing was written.";
  device_.prompt.showMessage(summary);
}

void MacRegisterTool::runScript(ScriptLog& log) {
  ChooseAndRunRegisterScript(ScriptDialect::Keyword, device_, log);
}

void MacRegisterTool::showScriptExample(ScriptLog& log) { ShowRegisterScriptExample(log); }

}  // namespace kqa::registers
