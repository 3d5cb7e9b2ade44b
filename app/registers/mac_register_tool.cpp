#include "app/registers/mac_register_tool.h"

#include <algorithm>

#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/registers/hex_field.h"
#include "app/registers/register_file.h"
#include "app/registers/script/register_script.h"
#include "platform/bytes/little_endian.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::registers {
namespace {

using device::Format;

constexpr std::size_t kMalformedListed = 10;

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The summary "Load File" ends with.
std::string LoadSummary(const std::string& name, const RegisterFile& file, std::size_t written,
                        const RegisterPair* failed, std::size_t untouched) {
  if (file.pairs.empty() && file.malformed.empty())
    return "No registers found in " + name + "; nothing was written.";
  std::string summary = Format("Wrote %zu register%s from %s through the 0x410000 window.", written,
                               written == 1 ? "" : "s", name.c_str());
  if (failed != nullptr)
    summary += Format(
        "\nStopped at register 0x%04X: its write failed, the registers after it "
        "were not written.",
        failed->address);
  if (untouched > 0)
    summary += Format("\nLeft %zu register(s) in 0x3800-0x38FF alone: the page never writes them.",
                      untouched);
  if (!file.malformed.empty()) {
    summary +=
        Format("\nSkipped %zu line(s) that are not an address and a value:", file.malformed.size());
    for (std::size_t i = 0; i < file.malformed.size() && i < kMalformedListed; ++i)
      summary +=
          Format("\n  line %d: ", file.malformed[i].number) + file.malformed[i].text.substr(0, 60);
    if (file.malformed.size() > kMalformedListed)
      summary += Format("\n  ... and %zu more", file.malformed.size() - kMalformedListed);
  }
  return summary;
}

}  // namespace

MacRegisterTool::MacRegisterTool(device::DeviceContext& device)
    : device_(device), region_(kRegionBufferSize, 0) {}

const MemoryBank& MacRegisterTool::bank() const {
  return MacMemoryBanks()[bankIndex_];
}

std::uint32_t MacRegisterTool::word(std::size_t index) const {
  return GetLe32(region_, 4 * index);
}

MacRegisterTool::Outcome MacRegisterTool::chooseBank(std::size_t index) {
  if (index >= MacMemoryBanks().size()) return Outcome::Refused;
  bankIndex_ = index;
  return readBank();
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

MacRegisterTool::Outcome MacRegisterTool::readBank() {
  const MemoryBank& shown = bank();
  const std::size_t words = shown.length / 4;
  const bool enabled = shown.base == kProgramMemoryBase && setProgramMemoryEnabled(true);
  device::RegisterAccess registers(device_);
  Outcome outcome = Outcome::Done;

  std::fill_n(region_.begin(), shown.length, std::uint8_t{0});
  for (std::size_t i = 0; i < words; ++i) {
    const std::uint32_t address = shown.base + static_cast<std::uint32_t>(4 * i);
    std::uint32_t value = kUntouchedWordValue;
    if (!IsUntouchedAddress(address)) {
      value = 0;
      if (!registers.ReadMacRegister(address, value)) {
        // The failed read was reported (or there is no device at all, which
        // stays silent). The words not read show what a failed read shows.
        if (value == device::kFailedReadValue)
          for (std::size_t rest = i; rest < words; ++rest) PutLe32(region_, 4 * rest, value);
        outcome = Outcome::Failed;
        break;
      }
    }
    PutLe32(region_, 4 * i, value);
    page::Report(progress, i + 1, words);
  }
  if (enabled) setProgramMemoryEnabled(false);
  return outcome;
}

MacRegisterTool::Outcome MacRegisterTool::refuseField(const char* name, const std::string& text) {
  device_.prompt.showMessage(HexFieldProblem(name, text));
  return Outcome::Refused;
}

MacRegisterTool::Outcome MacRegisterTool::singleReadWrite() {
  const auto offset = ParseHexField(single.offsetText);
  if (!offset) return refuseField("Offset", single.offsetText);
  const std::uint64_t address = std::uint64_t{bank().base} + *offset;
  if (address > 0xFFFFFFFFu) {
    device_.prompt.showMessage(
        Format("Offset %08X lies beyond the end of the register space "
               "from the bank base 0x%04X.",
               *offset, bank().base));
    return Outcome::Refused;
  }
  device::RegisterAccess registers(device_);
  if (single.direction == Direction::Write) {
    const auto value = ParseHexField(single.valueText);
    if (!value) return refuseField("Value", single.valueText);
    return page::DoneIf(registers.WriteMacRegister(static_cast<std::uint32_t>(address), *value));
  }
  std::uint32_t value = 0;
  const bool read = registers.ReadMacRegister(static_cast<std::uint32_t>(address), value);
  if (read || value == device::kFailedReadValue) single.valueText = Format("%08X", value);
  return page::DoneIf(read);
}

MacRegisterTool::Outcome MacRegisterTool::accessReadWrite() {
  const auto address = ParseHexField(access.offsetText);
  if (!address) return refuseField("Offset", access.offsetText);
  device::RegisterAccess registers(device_);
  if (access.direction == Direction::Write) {
    const auto value = ParseHexField(access.valueText);
    if (!value) return refuseField("Value", access.valueText);
    return page::DoneIf(WriteWindowRegister(registers, window, *address, *value));
  }
  std::uint32_t value = 0;
  const bool read = ReadWindowRegister(registers, window, *address, value);
  if (read || value == device::kFailedReadValue) access.valueText = Format("%08X", value);
  return page::DoneIf(read);
}

MacRegisterTool::Outcome MacRegisterTool::dumpBank() {
  FileDialogOptions dialog;
  dialog.title = "Open File";
  dialog.filters = {{"Dump Files(*.txt)", "*.txt"}};
  dialog.defaultExtension = "txt";
  dialog.initialFolder = ProgramFolder();
  const std::optional<std::string> chosen = device_.prompt.chooseSaveFile(dialog);
  if (!chosen) return Outcome::Cancelled;
  std::string path = *chosen;
  if (path.find(".txt") == std::string::npos) path += ".txt";

  std::vector<std::uint32_t> words(bank().length / 4);
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = word(i);
  std::string error;
  if (!WriteRegisterDump(path, bank().base, words, error)) {
    device_.prompt.showMessage("Dump MAC Registers failed!\nThe file " + path +
                               " could not be written: " + error);
    return Outcome::Failed;
  }
  device_.prompt.showMessage("Dump MAC Registers Done!");
  return Outcome::Done;
}

MacRegisterTool::Outcome MacRegisterTool::loadRegisterFile() {
  FileDialogOptions dialog;
  dialog.title = "Open MAC Register File";
  dialog.filters = ParseFilterList("MAC Register File (*.mac)|*.mac||");
  dialog.defaultExtension = "mac";
  dialog.initialFolder = ProgramFolder();
  const std::optional<std::string> chosen = device_.prompt.chooseOpenFile(dialog);
  if (!chosen) {
    readBank();
    return Outcome::Cancelled;
  }
  const std::string path = AppendExtensionIfNoDot(*chosen, "mac");
  RegisterFile file;
  if (!ReadRegisterFile(path, file)) {
    device_.prompt.showMessage("MAC Register File not found!");
    return Outcome::Failed;
  }

  const bool enabled =
      std::any_of(file.pairs.begin(), file.pairs.end(),
                  [](const RegisterPair& p) { return IsProgramMemory(p.address); }) &&
      setProgramMemoryEnabled(true);
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
    page::Report(progress, ++written, file.pairs.size());
  }
  if (enabled) setProgramMemoryEnabled(false);
  readBank();
  device_.prompt.showMessage(LoadSummary(FileName(path), file, written, failed, untouched));
  return failed != nullptr ? Outcome::Failed : Outcome::Done;
}

MacRegisterTool::Outcome MacRegisterTool::runScript(page::LogSink& log) {
  return ChooseAndRunRegisterScript(ScriptDialect::Keyword, device_, log);
}

void MacRegisterTool::showScriptExample(page::LogSink& log) {
  ShowRegisterScriptExample(log);
}

}  // namespace kqa::registers
