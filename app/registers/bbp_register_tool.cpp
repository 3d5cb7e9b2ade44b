#include "app/registers/bbp_register_tool.h"

#include <algorithm>
#include <array>
#include <optional>

#include "app/device/config_memory.h"
#include "app/device/register_access.h"
#include "app/device/text_file.h"
#include "app/device/text_format.h"
#include "app/registers/bbp_set_file.h"
#include "app/registers/hex_field.h"
#include "app/registers/script/register_script.h"
#include "app/registers/table_file.h"
#include "platform/prompt/file_dialog.h"

namespace kqa::registers {
namespace {

using device::Format;

template <std::size_t N>
constexpr std::array<std::uint8_t, N> Run(int first) {
  std::array<std::uint8_t, N> ids{};
  for (std::size_t i = 0; i < N; ++i)
    ids[i] = static_cast<std::uint8_t>(first + static_cast<int>(i));
  return ids;
}

constexpr auto kPage1 = Run<112>(0);
constexpr auto kPage2 = Run<25>(112);
// R137-R199, then R248-R250; R251-R255 have places in the layout but are
// never shown.
constexpr auto kPage3 = [] {
  std::array<std::uint8_t, 66> ids{};
  const auto low = Run<63>(137);
  const auto high = Run<3>(248);
  std::copy(low.begin(), low.end(), ids.begin());
  std::copy(high.begin(), high.end(), ids.begin() + 63);
  return ids;
}();

FileDialogOptions Dialog(const char* title, const char* filter, const char* extension = "") {
  FileDialogOptions dialog;
  dialog.title = title;
  dialog.filters = {{filter, "*.txt"}};
  dialog.defaultExtension = extension;
  dialog.initialFolder = ProgramFolder();
  return dialog;
}

// The register-set and PAPD names get ".txt" unless they hold it already.
std::string WithTxt(std::string path) {
  if (path.find(".txt") == std::string::npos) path += ".txt";
  return path;
}

const char* TableAction(BbpTable table) {
  switch (table) {
    case BbpTable::Papd:
      return "PAPD Dump";
    case BbpTable::Gain:
      return "BBP 184/185";
    case BbpTable::Filter:
      return "BBP 195/196";
  }
  return "";
}

}  // namespace

std::span<const std::uint8_t> BbpPageRegisters(BbpPage page) {
  switch (page) {
    case BbpPage::One:
      return kPage1;
    case BbpPage::Two:
      return kPage2;
    case BbpPage::Three:
      return kPage3;
  }
  return {};
}

BbpTableRegisters RegistersOf(BbpTable table) {
  switch (table) {
    case BbpTable::Papd:
      return {187, 188};
    case BbpTable::Gain:
      return {184, 185};
    case BbpTable::Filter:
      return {kBbpFilterIndex, kBbpFilterData};
  }
  return {};
}

BbpRegisterTool::BbpRegisterTool(device::ConfigMemory memory, BbpPage page)
    : device_(memory.device), memoryMode_(memory.mode), page_(page), values_(BbpPageRegisters(page).size(), 0) {}

bool BbpRegisterTool::read(std::uint8_t reg, std::uint8_t& value) {
  return device::RegisterAccess(device_).AccessBbpRegister(device::kRegisterRead, reg, value);
}

bool BbpRegisterTool::write(std::uint8_t reg, std::uint8_t value) {
  return device::RegisterAccess(device_).AccessBbpRegister(device::kRegisterWrite, reg, value);
}

BbpRegisterTool::Outcome BbpRegisterTool::failed(const std::string& message) {
  device_.prompt.showMessage(message);
  return Outcome::Failed;
}

BbpRegisterTool::Outcome BbpRegisterTool::readAll() {
  const std::span<const std::uint8_t> shown = registers();
  for (std::size_t i = 0; i < shown.size(); ++i) {
    // A failed read was reported by the device layer (or there is no device,
    // which stays silent); the grid keeps what the read left.
    if (!read(shown[i], values_[i])) return Outcome::Failed;
    page::Report(progress, i + 1, shown.size());
  }
  return Outcome::Done;
}

BbpRegisterTool::Outcome BbpRegisterTool::singleReadWrite() {
  const auto id = ParseDecimalField(single.offsetText);
  if (!id) {
    device_.prompt.showMessage(DecimalFieldProblem("Register ID", single.offsetText));
    return Outcome::Refused;
  }
  const auto reg = static_cast<std::uint8_t>(*id);
  if (single.direction == Direction::Write) {
    const auto value = ParseHexField(single.valueText);
    if (!value) {
      device_.prompt.showMessage(HexFieldProblem("Value", single.valueText));
      return Outcome::Refused;
    }
    device::EnsureConfigurationWords({device_, memoryMode_});  // R66 goes to each receive path
    return page::DoneIf(write(reg, static_cast<std::uint8_t>(*value)));
  }
  std::uint8_t value = 0;
  const bool ok = read(reg, value);
  if (ok || value == 0xFF) single.valueText = Format("%02X", value);  // 0xFF: a failed read
  return page::DoneIf(ok);
}

BbpRegisterTool::Outcome BbpRegisterTool::writeFile(const char* action, const std::string& path,
                                                    const std::string& text) {
  std::string error;
  if (!device::WriteTextFile(path, text, error))
    return failed(Format("%s failed: the file %s could not be written (%s).", action, path.c_str(),
                         error.c_str()));
  return Outcome::Done;
}

BbpRegisterTool::Outcome BbpRegisterTool::saveRegisterSet() {
  const auto chosen =
      device_.prompt.chooseSaveFile(Dialog("Open Script File", "BBP Files(*.txt)", "txt"));
  if (!chosen) return Outcome::Cancelled;
  return saveRegisterSet(WithTxt(*chosen));
}

BbpRegisterTool::Outcome BbpRegisterTool::saveRegisterSet(const std::string& path) {
  constexpr std::size_t kSteps = kBbpRegisterCount + kBbpSetTablePairs;
  std::array<std::uint8_t, kBbpRegisterCount> registers{};
  std::array<std::uint8_t, kBbpSetTablePairs> entries{};
  for (int reg = 0; reg < kBbpRegisterCount; ++reg) {
    if (!read(static_cast<std::uint8_t>(reg), registers[static_cast<std::size_t>(reg)]))
      return failed(
          Format("Save Bbp Regs stopped: R%d could not be read; no file was written.", reg));
    page::Report(progress, static_cast<std::size_t>(reg + 1), kSteps);
  }
  for (int index = 0; index < kBbpSetTablePairs; ++index) {
    if (!write(kBbpFilterIndex, static_cast<std::uint8_t>(index)) ||
        !read(kBbpFilterData, entries[static_cast<std::size_t>(index)]))
      return failed(
          Format("Save Bbp Regs stopped at entry %d of R195/R196; no file was written.", index));
    page::Report(progress, static_cast<std::size_t>(kBbpRegisterCount + index + 1), kSteps);
  }
  return writeFile("Save Bbp Regs", path, FormatBbpRegisterSet(registers, entries));
}

BbpRegisterTool::Outcome BbpRegisterTool::loadRegisterSet() {
  const auto chosen = device_.prompt.chooseOpenFile(Dialog("Open BBP File", "BBP Files(*.txt)"));
  if (!chosen) return Outcome::Cancelled;
  return loadRegisterSet(*chosen);
}

BbpRegisterTool::Outcome BbpRegisterTool::loadRegisterSet(const std::string& path) {
  written_ = 0;
  skipped_ = 0;
  BbpSetFile file;
  std::string error;
  if (!ReadBbpSetFile(path, file, error))
    return failed(Format("Load Bbp Regs failed: the file %s could not be read (%s).", path.c_str(),
                         error.c_str()));
  skipped_ = file.malformed.size();
  device::EnsureConfigurationWords({device_, memoryMode_});  // R66 goes to each receive path
  std::optional<BbpWrite> stopped;
  for (const BbpWrite& each : file.writes) {
    if (!write(each.reg, each.value)) {
      stopped = each;
      break;
    }
    page::Report(progress, ++written_, file.writes.size());
  }
  readAll();
  const std::string problems = LoadProblems({"Load Bbp Regs", path, file.writes.size(), written_,
                                             stopped ? Format("R%d", stopped->reg) : std::string(),
                                             file.malformed, "\"register = value\""});
  if (!problems.empty()) device_.prompt.showMessage(problems);
  return stopped ? Outcome::Failed : Outcome::Done;
}

bool BbpRegisterTool::readTable(BbpTable table, std::vector<std::uint8_t>& entries) {
  const BbpTableRegisters registers = RegistersOf(table);
  entries.assign(kBbpTableSize, 0);
  for (std::size_t i = 0; i < kBbpTableSize; ++i) {
    if (!write(registers.index, static_cast<std::uint8_t>(i)) || !read(registers.data, entries[i]))
      return false;
    page::Report(progress, i + 1, kBbpTableSize);
  }
  return true;
}

BbpRegisterTool::Outcome BbpRegisterTool::dumpTable(BbpTable table) {
  const bool papd = table == BbpTable::Papd;
  const auto chosen =
      device_.prompt.chooseSaveFile(papd ? Dialog("Open File", "txt Files(*.txt)", "txt")
                                         : Dialog("Save File", "Files(*.txt)", "txt"));
  if (!chosen) return Outcome::Cancelled;
  return dumpTable(table, papd ? WithTxt(*chosen) : AppendExtensionIfNoDot(*chosen, "txt"));
}

BbpRegisterTool::Outcome BbpRegisterTool::dumpTable(BbpTable table, const std::string& path) {
  std::vector<std::uint8_t> entries;
  bool complete = false;
  if (table == BbpTable::Papd) {
    // R4 = 0x10 opens the PAPD table; what R4 held goes back afterwards.
    std::uint8_t saved = 0;
    if (!read(kBbpTableAccessRegister, saved))
      return failed("PAPD Dump stopped: R4 could not be read; nothing was changed.");
    complete = write(kBbpTableAccessRegister, kBbpPapdAccess) && readTable(table, entries);
    write(kBbpTableAccessRegister, saved);
  } else {
    complete = readTable(table, entries);
  }
  if (!complete)
    return failed(Format("%s stopped: the table could not be read; no file was written.",
                         TableAction(table)));
  return writeFile(TableAction(table), path, FormatTableLines(entries));
}

BbpRegisterTool::Outcome BbpRegisterTool::writePapdTable() {
  const auto chosen = device_.prompt.chooseOpenFile(Dialog("Open File", "txt Files(*.txt)"));
  if (!chosen) return Outcome::Cancelled;
  return writePapdTable(*chosen);
}

BbpRegisterTool::Outcome BbpRegisterTool::writePapdTable(const std::string& path) {
  written_ = 0;
  std::vector<std::string> lines;
  std::vector<std::uint32_t> values;
  std::string problem;
  if (!device::ReadTextLines(path, lines, problem))
    return failed(Format("PAPD Write failed: the file %s could not be read (%s).", path.c_str(),
                         problem.c_str()));
  if (!ParseHexLines(lines, values, problem, 0xFF)) {
    device_.prompt.showMessage("PAPD Write refused, nothing was written: " + problem);
    return Outcome::Refused;
  }
  if (values.empty()) {
    device_.prompt.showMessage("PAPD Write refused: " + path + " holds no values.");
    return Outcome::Refused;
  }
  std::uint8_t saved = 0;
  if (!read(kBbpTableAccessRegister, saved))
    return failed("PAPD Write stopped: R4 could not be read; nothing was written.");
  const BbpTableRegisters registers = RegistersOf(BbpTable::Papd);
  bool complete = write(kBbpTableAccessRegister, kBbpPapdAccess);
  for (std::size_t i = 0; complete && i < values.size(); ++i) {
    // Line i goes to entry i; after 255 the index starts again at 0.
    complete = write(registers.index, static_cast<std::uint8_t>(i)) &&
               write(registers.data, static_cast<std::uint8_t>(values[i]));
    if (complete) page::Report(progress, ++written_, values.size());
  }
  write(kBbpTableAccessRegister, saved);
  if (!complete)
    return failed(Format("PAPD Write stopped after %zu of %zu values: a write failed.", written_,
                         values.size()));
  return Outcome::Done;
}

BbpRegisterTool::Outcome BbpRegisterTool::runScript(page::LogSink& log) {
  device::EnsureConfigurationWords({device_, memoryMode_});  // R66 goes to each receive path
  const Outcome ran = ChooseAndRunRegisterScript(ScriptDialect::Bbp, device_, log);
  if (ran != Outcome::Cancelled) readAll();
  return ran;
}

}  // namespace kqa::registers
