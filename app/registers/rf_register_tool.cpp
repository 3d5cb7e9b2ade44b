#include "app/registers/rf_register_tool.h"

#include <chrono>
#include <optional>
#include <vector>

#include "app/device/register_access.h"
#include "app/device/text_file.h"
#include "app/device/text_format.h"
#include "app/registers/hex_field.h"
#include "app/registers/rf_register_file.h"
#include "app/registers/script/register_script.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::registers {
namespace {

using device::Format;

constexpr std::array<std::string_view, kRfBankCount> kBankNames = {
    "  Bank 0: Central",       "  Bank 1: Reserved",      "  Bank 2: RF  Common",
    "  Bank 3: VGA Common",    "  Bank 4: RF  Antenna_0", "  Bank 5: VGA Antenna_0",
    "  Bank 6: RF  Antenna_1", "  Bank 7: VGA Antenna_1", "  Bank 8: RF  Antenna_2",
    "  Bank 9: VGA Antenna_2", "  Bank10: RF  Antenna_3", "  Bank11: VGA Antenna_3",
    "  Bank12: Reserved",      "  Bank13: Reserved",      "  Bank14: Reserved",
    "  Bank15: Reserved",
};

constexpr auto kVcoSettle = std::chrono::milliseconds(5);

FileDialogOptions Dialog(const char* title, const char* extension = "") {
  FileDialogOptions dialog;
  dialog.title = title;
  dialog.filters = {{"rf Files(*.txt)", "*.txt"}};
  dialog.defaultExtension = extension;
  dialog.initialFolder = ProgramFolder();
  return dialog;
}

bool IsKestrel(std::uint32_t asicVersion) {
  return (asicVersion >> 16) == (device::kKestrelAsicVersion >> 16);
}

}  // namespace

std::span<const std::string_view> RfBankNames() {
  return kBankNames;
}

RfRegisterTool::RfRegisterTool(device::DeviceContext& device, RfPage page)
    : device_(device), page_(page) {}

int RfRegisterTool::bank() const {
  return device_.settings.rfBank;
}

bool RfRegisterTool::bitShown(int reg, int bit) const {
  const int at = reg - firstRegister();
  if (at < 0 || at >= kRfPageRegisters || bit < 0 || bit > 7) return false;
  return (values_[static_cast<std::size_t>(at)] >> bit & 1) != 0;
}

bool RfRegisterTool::read(int bank, int reg, std::uint8_t& value) {
  return device::RegisterAccess(device_).AccessRfRegister(device::kRegisterRead,
                                                          static_cast<std::uint8_t>(bank),
                                                          static_cast<std::uint8_t>(reg), value);
}

bool RfRegisterTool::write(int bank, int reg, std::uint8_t value) {
  return device::RegisterAccess(device_).AccessRfRegister(device::kRegisterWrite,
                                                          static_cast<std::uint8_t>(bank),
                                                          static_cast<std::uint8_t>(reg), value);
}

RfRegisterTool::Outcome RfRegisterTool::failed(const std::string& message) {
  device_.prompt.showMessage(message);
  return Outcome::Failed;
}

RfRegisterTool::Outcome RfRegisterTool::chooseBank(int bank) {
  if (bank < 0 || bank >= kRfBankCount) return Outcome::Refused;
  device_.settings.rfBank = bank;
  return readAll();
}

RfRegisterTool::Outcome RfRegisterTool::readAll() {
  for (int i = 0; i < kRfPageRegisters; ++i) {
    // A failed read was reported by the device layer (or there is no device,
    // which stays silent); the grid keeps what the read left.
    if (!read(bank(), firstRegister() + i, values_[static_cast<std::size_t>(i)]))
      return Outcome::Failed;
  }
  return Outcome::Done;
}

RfRegisterTool::Outcome RfRegisterTool::singleReadWrite() {
  const auto id = ParseDecimalField(single.offsetText);
  if (!id) {
    device_.prompt.showMessage(DecimalFieldProblem("Register ID", single.offsetText));
    return Outcome::Refused;
  }
  // Cut to 8 bits as the BBP pages do; a bank has 64 registers, and the
  // command word would alias R64-R255 onto R0-R63.
  const int reg = static_cast<std::uint8_t>(*id);
  if (reg >= kRfRegistersPerBank) {
    device_.prompt.showMessage(
        Format("Register ID %d is not an RF register: each bank has R0 to R63.", reg));
    return Outcome::Refused;
  }
  bool ok = false;
  if (single.direction == Direction::Write) {
    const auto value = ParseHexField(single.valueText);
    if (!value) {
      device_.prompt.showMessage(HexFieldProblem("Value", single.valueText));
      return Outcome::Refused;
    }
    ok = write(bank(), reg, static_cast<std::uint8_t>(*value));
  } else {
    std::uint8_t value = 0;
    ok = read(bank(), reg, value);
    if (ok || value == 0xFF) single.valueText = Format("%02X", value);  // 0xFF: a failed read
  }
  if (!ok) return Outcome::Failed;
  return readAll();
}

RfRegisterTool::Outcome RfRegisterTool::toggleBit(int reg, int bit) {
  return setBit(reg, bit, !bitShown(reg, bit));
}

RfRegisterTool::Outcome RfRegisterTool::setBit(int reg, int bit, bool set) {
  if (reg < 0 || reg >= kRfRegistersPerBank || bit < 0 || bit > 7) return Outcome::Refused;
  std::uint8_t value = 0;
  // A failed read gives 0xFF: writing that back would set every bit.
  if (!read(bank(), reg, value)) return Outcome::Failed;
  const auto mask = static_cast<std::uint8_t>(1u << bit);
  value = set ? static_cast<std::uint8_t>(value | mask) : static_cast<std::uint8_t>(value & ~mask);
  if (!write(bank(), reg, value)) return Outcome::Failed;
  return readAll();
}

RfRegisterTool::Outcome RfRegisterTool::saveRegisterFile() {
  const auto chosen = device_.prompt.chooseSaveFile(Dialog("Open Script File", "txt"));
  if (!chosen) return Outcome::Cancelled;
  std::string path = *chosen;
  if (path.find(".txt") == std::string::npos) path += ".txt";
  return saveRegisterFile(path);
}

RfRegisterTool::Outcome RfRegisterTool::saveRegisterFile(const std::string& path) {
  constexpr std::size_t kLines = kRfSavedBanks.size() * kRfRegistersPerBank;
  std::string text;
  std::size_t done = 0;
  for (const int savedBank : kRfSavedBanks) {
    for (int reg = 0; reg < kRfRegistersPerBank; ++reg) {
      std::uint8_t value = 0;
      if (!read(savedBank, reg, value))
        return failed(
            Format("Save Rf Regs stopped: bank %d R%d could not be read; no file was written.",
                   savedBank, reg));
      text += FormatRfRegisterLine(
          {static_cast<std::uint8_t>(savedBank), static_cast<std::uint8_t>(reg), value});
      page::Report(progress, ++done, kLines);
    }
  }
  std::string error;
  if (!device::WriteTextFile(path, text, error))
    return failed(Format("Save Rf Regs failed: the file %s could not be written (%s).",
                         path.c_str(), error.c_str()));
  return Outcome::Done;
}

RfRegisterTool::Outcome RfRegisterTool::loadRegisterFile() {
  const auto chosen = device_.prompt.chooseOpenFile(Dialog("Open RF Regs File"));
  if (!chosen) return Outcome::Cancelled;
  return loadRegisterFile(*chosen);
}

RfRegisterTool::Outcome RfRegisterTool::loadRegisterFile(const std::string& path) {
  written_ = 0;
  skipped_ = 0;
  RfRegisterFile file;
  std::string error;
  if (!ReadRfRegisterFile(path, file, error))
    return failed(Format("Load Rf Regs failed: the file %s could not be read (%s).", path.c_str(),
                         error.c_str()));
  skipped_ = file.malformed.size();
  std::optional<RfRegisterValue> stopped;
  for (const RfRegisterValue& each : file.entries) {
    if (!write(each.bank, each.reg, each.value)) {
      stopped = each;
      break;
    }
    page::Report(progress, ++written_, file.entries.size());
  }
  if (!stopped && IsKestrel(device_.asicVersion)) {
    // The synthesiser takes the loaded values once its VCO is calibrated.
    std::uint8_t vco = 0;
    if (read(0, kRfVcoRegister, vco) &&
        write(0, kRfVcoRegister, static_cast<std::uint8_t>(vco | kRfVcoCalibrate)))
      device_.clock.sleep(kVcoSettle);
  }
  readAll();
  const std::string problems =
      LoadProblems({"Load Rf Regs", path, file.entries.size(), written_,
                    stopped ? Format("bank %d R%d", stopped->bank, stopped->reg) : std::string(),
                    file.malformed, "\"bank register value\""});
  if (!problems.empty()) device_.prompt.showMessage(problems);
  return stopped ? Outcome::Failed : Outcome::Done;
}

RfRegisterTool::Outcome RfRegisterTool::runScript(page::LogSink& log) {
  const Outcome ran = ChooseAndRunRegisterScript(ScriptDialect::Rf, device_, log);
  if (ran != Outcome::Cancelled) readAll();
  return ran;
}

}  // namespace kqa::registers
