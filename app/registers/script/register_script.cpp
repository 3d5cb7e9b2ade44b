#include "app/registers/script/register_script.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/device/messages.h"
#include "app/device/register_access.h"
#include "app/device/register_limits.h"
#include "app/device/text_format.h"
#include "app/registers/script/script_fields.h"

namespace kqa {
namespace {

using device::Format;
using device::kRegisterRead;
using device::kRegisterWrite;
using device::RegisterAccess;
using device::RegisterWindow;

// Runs one script, line by line, keeping the fields that carry over.
class ScriptRun {
 public:
  ScriptRun(ScriptDialect dialect, device::DeviceContext& device, ScriptLog& log)
      : dialect_(dialect), device_(device), registers_(device), log_(log) {}

  // False once the device is gone: the script ends there.
  bool Line(std::string_view text, int number);
  const ScriptSummary& summary() const { return summary_; }

 private:
  void Keyword(const ScriptLine& line, int number);
  void Mac32(const ScriptLine& line, int number, bool sys);
  void Bbp(const ScriptLine& line, int number, bool keyword);
  void Rf(const ScriptLine& line, int number, bool keyword);
  void Wait(const ScriptLine& line, int number);

  // Reads the line's fields by position, behind the keyword when the line
  // has one: first rw, to learn the form, then the whole form. A word that
  // is no number, or a field never given, skips the line with an error
  // entry and changes no field.
  bool Parse(const ScriptLine& line, bool keyword, std::vector<FieldSlot> readForm,
             std::vector<FieldSlot> writeForm, int number);
  // A field of the parsed line out of its range skips the line.
  bool InRange(int number, std::string_view field, long long value, long long first, long long last);
  // The line passed every check: its fields carry over from now on.
  void Accept() { fields_ = line_; }
  void Refuse(int number, const std::string& why);
  // After an access: counts it, or logs why it failed. False when the
  // device is gone, which ends the script.
  bool Done(bool ok, int number, const std::string& what);

  ScriptDialect dialect_;
  device::DeviceContext& device_;
  RegisterAccess registers_;
  ScriptLog& log_;
  ScriptFields fields_;  // what the lines run so far gave
  ScriptFields line_;    // the line being checked: fields_ with its own words
  ScriptSummary summary_;
  bool deviceGone_ = false;
};

void ScriptRun::Refuse(int number, const std::string& why) {
  ++summary_.skipped;
  log_.append(Format("Error:\tline %d skipped: %s\n", number, why.c_str()));
}

bool ScriptRun::InRange(int number, std::string_view field, long long value, long long first,
                        long long last) {
  const std::optional<std::string> problem = device::OutsideRange(value, first, last);
  if (problem) Refuse(number, std::string(field) + " " + *problem);
  return !problem;
}

bool ScriptRun::Done(bool ok, int number, const std::string& what) {
  if (ok) {
    ++summary_.commands;
    return true;
  }
  if (registers_.lastError() == ERROR_DEVICE_NOT_CONNECTED) {
    log_.append(Format("Error:\tline %d: %.*s\n", number,
                       static_cast<int>(device::messages::kDeviceNotConnected.size()),
                       device::messages::kDeviceNotConnected.data()));
    ++summary_.failed;
    summary_.stoppedAtLine = number;
    deviceGone_ = true;
    return false;
  }
  ++summary_.failed;
  log_.append(Format("Error:\tline %d: %s failed (error %u)\n", number, what.c_str(),
                     registers_.lastError()));
  return false;
}

bool ScriptRun::Parse(const ScriptLine& line, bool keyword, std::vector<FieldSlot> readForm,
                      std::vector<FieldSlot> writeForm, int number) {
  if (keyword) {
    readForm.insert(readForm.begin(), FieldSlot::Skip);
    writeForm.insert(writeForm.begin(), FieldSlot::Skip);
  }
  ScriptFields parsed = fields_;
  const std::vector<FieldSlot> direction =
      keyword ? std::vector{FieldSlot::Skip, FieldSlot::Rw} : std::vector{FieldSlot::Rw};
  std::optional<std::string> error = ParseFields(line, direction, parsed);
  if (!error && parsed.rw < 0)
    error = Format("read/write field must be 0 (read) or more (write), not %d", parsed.rw);
  if (!error) error = ParseFields(line, parsed.rw != 0 ? writeForm : readForm, parsed);
  if (error) {
    Refuse(number, *error);
    return false;
  }
  line_ = parsed;
  return true;
}

bool ScriptRun::Line(std::string_view text, int number) {
  if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
  if (text.size() > kScriptLineLimit) {
    Refuse(number, Format("longer than %zu characters", kScriptLineLimit));
    return true;
  }
  const ScriptLine line = SplitScriptLine(text);
  if (line.tokens.empty()) return true;  // blank: never repeats the last command
  switch (dialect_) {
    case ScriptDialect::Keyword:
      if (text.front() == ';') return true;
      Keyword(line, number);
      break;
    case ScriptDialect::Bbp: Bbp(line, number, false); break;
    case ScriptDialect::Rf: Rf(line, number, false); break;
  }
  return !deviceGone_;
}

void ScriptRun::Keyword(const ScriptLine& line, int number) {
  const std::string_view keyword = line.tokens[0];
  if (SameKeyword(keyword, "MAC")) return Mac32(line, number, false);
  if (SameKeyword(keyword, "SYS")) return Mac32(line, number, true);
  if (SameKeyword(keyword, "BBP")) return Bbp(line, number, true);
  if (SameKeyword(keyword, "RF")) return Rf(line, number, true);
  if (SameKeyword(keyword, "WAIT")) return Wait(line, number);
  ++summary_.unmatched;
}

void ScriptRun::Mac32(const ScriptLine& line, int number, bool sys) {
  using enum FieldSlot;
  if (!Parse(line, true, {Rw, Address}, {Rw, Address, Value}, number)) return;
  const RegisterWindow window = sys ? RegisterWindow::Sys : RegisterWindow::Mac;
  if (const auto problem = device::OutsideWindow(window, line_.address)) {
    Refuse(number, "address " + *problem);
    return;
  }
  Accept();
  const char* space = sys ? "SYS" : "MAC";
  const std::string what = Format("%s of %s 0x%X", fields_.rw != 0 ? "write" : "read", space, fields_.address);
  if (fields_.rw != 0) {
    if (Done(device::WriteRegister(registers_, window, fields_.address, fields_.value), number, what))
      log_.append(Format("W:\t%s 0x%X\t= 0x%08X\n", space, fields_.address, fields_.value));
  } else {
    std::uint32_t value = device::kFailedReadValue;
    if (Done(device::ReadRegister(registers_, window, fields_.address, value), number, what))
      log_.append(Format("R:\t%s 0x%X\t= 0x%08X\n", space, fields_.address, value));
  }
}

void ScriptRun::Bbp(const ScriptLine& line, int number, bool keyword) {
  using enum FieldSlot;
  if (!Parse(line, keyword, {Rw, Register}, {Rw, Register, Value}, number)) return;
  if (!InRange(number, "BBP register", line_.reg, 0, device::kBbpRegisterCount - 1)) return;
  Accept();
  const bool write = fields_.rw != 0;
  // Values are cut to the register's 8 bits.
  std::uint8_t value = write ? static_cast<std::uint8_t>(fields_.value) : 0xFF;
  const bool ok = registers_.AccessBbpRegister(write ? kRegisterWrite : kRegisterRead,
                                               static_cast<std::uint8_t>(fields_.reg), value);
  if (!Done(ok, number, Format("%s of BBP %d", write ? "write" : "read", fields_.reg))) return;
  const char* direction = write ? "W" : "R";
  if (keyword)
    log_.append(Format("%s:\tBBP %d\t= 0x%02X\n", direction, fields_.reg, value));
  else
    log_.append(Format("%s: BBP R%d = 0x%02X\n", direction, fields_.reg, value));
}

void ScriptRun::Rf(const ScriptLine& line, int number, bool keyword) {
  using enum FieldSlot;
  if (!Parse(line, keyword, {Rw, Bank, Register}, {Rw, Bank, Register, Value}, number)) return;
  if (!InRange(number, "RF bank", line_.bank, 0, device::kRfBankCount - 1) ||
      !InRange(number, "RF register", line_.reg, 0, device::kRfRegisterCount - 1))
    return;
  Accept();
  const bool write = fields_.rw != 0;
  std::uint8_t value = write ? static_cast<std::uint8_t>(fields_.value) : 0xFF;
  const bool ok = registers_.AccessRfRegister(write ? kRegisterWrite : kRegisterRead,
                                              static_cast<std::uint8_t>(fields_.bank),
                                              static_cast<std::uint8_t>(fields_.reg), value);
  if (!Done(ok, number,
            Format("%s of RF bank %d R%d", write ? "write" : "read", fields_.bank, fields_.reg)))
    return;
  const char* direction = write ? "W" : "R";
  if (keyword)
    log_.append(Format("%s:\tRF B%d R%d\t= 0x%02X\n", direction, fields_.bank, fields_.reg, value));
  else
    log_.append(Format("%s:\tBank%02d, RF R%d\t= 0x%02X\n", direction, fields_.bank, fields_.reg,
                       value));
}

// WAIT's milliseconds are the line's second field, the one rw holds.
void ScriptRun::Wait(const ScriptLine& line, int number) {
  if (line.tokens.size() < 2 && !fields_.given[static_cast<std::size_t>(FieldSlot::Rw)]) {
    Refuse(number, "the wait time is missing");
    return;
  }
  ScriptFields parsed = fields_;
  if (const auto error = ParseFields(line, {FieldSlot::Skip, FieldSlot::Rw}, parsed)) {
    Refuse(number, *error);
    return;
  }
  if (parsed.rw < 0) {
    Refuse(number, Format("%d is not a valid wait time", parsed.rw));
    return;
  }
  fields_ = parsed;
  ++summary_.commands;
  log_.append(Format("Wait:\t%d(ms)\n", fields_.rw));
  device_.clock.sleepMs(fields_.rw);
}

// Why `bytes` is not a script, or nullopt.
std::optional<std::string> NotText(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF"))
    return "is UTF-16 text; a script is ASCII or UTF-8";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    const bool allowed = c >= 0x20 || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    if (!allowed || c == 0x7F)
      return Format("is not a text file (byte 0x%02X at offset %zu)", c, i);
  }
  return std::nullopt;
}

}  // namespace

FileDialogOptions ScriptFileDialog(ScriptDialect dialect) {
  FileDialogOptions options;
  switch (dialect) {
    case ScriptDialect::Keyword:
      options.title = "Open Script File";
      options.filters = {{"Script Files(*.txt)", "*.txt"}};
      break;
    case ScriptDialect::Bbp:
      options.title = "Open BBP Script File";
      options.filters = {{"BBP script Files(*.txt)", "*.txt"}};
      break;
    case ScriptDialect::Rf:
      options.title = "Open RF Script File";
      options.filters = {{"RF script Files(*.txt)", "*.txt"}};
      break;
  }
  options.defaultExtension = "txt";
  options.initialFolder = ProgramFolder();
  return options;
}

ScriptSummary RunRegisterScript(ScriptDialect dialect, std::istream& script,
                                device::DeviceContext& device, ScriptLog& log) {
  ScriptRun run(dialect, device, log);
  std::string line;
  for (int number = 1; std::getline(script, line); ++number)
    if (!run.Line(line, number)) break;
  return run.summary();
}

ScriptFileRun RunRegisterScriptFile(ScriptDialect dialect, const std::string& path,
                                    device::DeviceContext& device, ScriptLog& log) {
  ScriptFileRun result;
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (std::filesystem::is_directory(status)) {
    result.problem = path + " is a folder, not a script";
    return result;
  }
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    result.problem = path + " is not a file (a device or a pipe), not a script";
    return result;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    result.unreadable = true;
    result.problem = "cannot open the script file " + path + ": " + std::strerror(errno);
    return result;
  }
  // One byte past the limit tells a file too long to be a script.
  std::string text(kScriptFileLimit + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (file.bad()) {
    result.unreadable = true;
    result.problem = "cannot read the script file " + path + ": " + std::strerror(errno);
    return result;
  }
  text.resize(static_cast<std::size_t>(file.gcount()));
  if (text.size() > kScriptFileLimit) {
    result.problem = path + " is larger than " + std::to_string(kScriptFileLimit) + " bytes, too large for a script";
    return result;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // a UTF-8 byte-order mark
  if (const auto problem = NotText(text)) {
    result.problem = path + " " + *problem + ": nothing was run";
    return result;
  }
  log.clear();
  std::istringstream script(text);
  result.summary = RunRegisterScript(dialect, script, device, log);
  result.ran = true;
  return result;
}

page::Outcome ChooseAndRunRegisterScript(ScriptDialect dialect, device::DeviceContext& device,
                                         ScriptLog& log) {
  const FileDialogOptions options = ScriptFileDialog(dialect);
  const std::optional<std::string> chosen = device.prompt.chooseOpenFile(options);
  if (!chosen) return page::Outcome::Cancelled;
  const ScriptFileRun run = RunRegisterScriptFile(
      dialect, AppendExtensionIfNoDot(*chosen, options.defaultExtension), device, log);
  if (!run.ran && !run.unreadable) device.prompt.showMessage(run.problem);
  return page::DoneIf(run.ran && run.summary.clean());
}

std::vector<std::string> RegisterScriptExample() {
  return {"Example :\n",      "BBP 0 12\n",     "BBP 1 23 B5\n", ";BBP 1 23 A7\n",
          "WAIT 100\n",       "RF 1 0 13 22\n", ";RF 1 5 35 1E\n", "RF 1 5 35 20\n",
          "MAC 1 1314 22223333\n", "WAIT 100\n"};
}

void ShowRegisterScriptExample(ScriptLog& log) {
  log.clear();
  for (const std::string& line : RegisterScriptExample()) log.append(line);
}

}  // namespace kqa
