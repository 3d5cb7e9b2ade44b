#include "app/registers/script/register_script.h"

#include <fstream>

#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "app/registers/script/script_fields.h"

namespace kqa {
namespace {

using device::Format;
using device::kRegisterRead;
using device::kRegisterWrite;
using device::RegisterAccess;

// Runs one script, line by line, keeping the fields that carry over.
class ScriptRun {
 public:
  ScriptRun(ScriptDialect dialect, device::DeviceContext& device, ScriptLog& log)
      : dialect_(dialect), device_(device), registers_(device), log_(log) {}

  void Line(std::string_view text, int number);

 private:
  void Keyword(const ScriptLine& line, int number);
  void Mac32(const ScriptLine& line, int number, bool sys);
  void Bbp(const ScriptLine& line, int number, bool keyword);
  void Rf(const ScriptLine& line, int number, bool keyword);
  void Wait(const ScriptLine& line, int number);

  // Reads the line's fields by position, behind the keyword when the line
  // has one: first rw, to learn the form, then the whole form. A word that
  // is no number skips the line with an error entry and changes no field.
  bool Parse(const ScriptLine& line, bool keyword, std::vector<FieldSlot> readForm,
             std::vector<FieldSlot> writeForm, int number);
  void Error(int number, const std::string& why);

  ScriptDialect dialect_;
  device::DeviceContext& device_;
  RegisterAccess registers_;
  ScriptLog& log_;
  ScriptFields fields_;
};

void ScriptRun::Error(int number, const std::string& why) {
  log_.append(Format("Error:\tline %d skipped: %s\n", number, why.c_str()));
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
  if (!error) error = ParseFields(line, parsed.rw != 0 ? writeForm : readForm, parsed);
  if (error) {
    Error(number, *error);
    return false;
  }
  fields_ = parsed;
  return true;
}

void ScriptRun::Line(std::string_view text, int number) {
  const ScriptLine line = SplitScriptLine(text);
  if (line.tokens.empty()) return;  // blank: never repeats the last command
  switch (dialect_) {
    case ScriptDialect::Keyword:
      if (text.front() == ';') return;
      Keyword(line, number);
      return;
    case ScriptDialect::Bbp: Bbp(line, number, false); return;
    case ScriptDialect::Rf: Rf(line, number, false); return;
  }
}

void ScriptRun::Keyword(const ScriptLine& line, int number) {
  const std::string_view keyword = line.tokens[0];
  if (SameKeyword(keyword, "MAC")) return Mac32(line, number, false);
  if (SameKeyword(keyword, "SYS")) return Mac32(line, number, true);
  if (SameKeyword(keyword, "BBP")) return Bbp(line, number, true);
  if (SameKeyword(keyword, "RF")) return Rf(line, number, true);
  if (SameKeyword(keyword, "WAIT")) return Wait(line, number);
}

void ScriptRun::Mac32(const ScriptLine& line, int number, bool sys) {
  using enum FieldSlot;
  if (!Parse(line, true, {Rw, Address}, {Rw, Address, Value}, number)) return;
  const char* space = sys ? "SYS" : "MAC";
  if (fields_.rw != 0) {
    if (sys)
      registers_.WriteSysRegister(fields_.address, fields_.value);
    else
      registers_.WriteMacRegister(fields_.address, fields_.value);
    log_.append(Format("W:\t%s 0x%X\t= 0x%08X\n", space, fields_.address, fields_.value));
  } else {
    std::uint32_t value = device::kFailedReadValue;
    if (sys)
      registers_.ReadSysRegister(fields_.address, value);
    else
      registers_.ReadMacRegister(fields_.address, value);
    log_.append(Format("R:\t%s 0x%X\t= 0x%08X\n", space, fields_.address, value));
  }
}

void ScriptRun::Bbp(const ScriptLine& line, int number, bool keyword) {
  using enum FieldSlot;
  if (!Parse(line, keyword, {Rw, Register}, {Rw, Register, Value}, number)) return;
  const bool write = fields_.rw != 0;
  // Values are cut to the register's 8 bits; a failed read shows 0xFF.
  std::uint8_t value = write ? static_cast<std::uint8_t>(fields_.value) : 0xFF;
  registers_.AccessBbpRegister(write ? kRegisterWrite : kRegisterRead,
                               static_cast<std::uint8_t>(fields_.reg), value);
  const char* direction = write ? "W" : "R";
  if (keyword)
    log_.append(Format("%s:\tBBP %d\t= 0x%02X\n", direction, fields_.reg, value));
  else
    log_.append(Format("%s: BBP R%d = 0x%02X\n", direction, fields_.reg, value));
}

void ScriptRun::Rf(const ScriptLine& line, int number, bool keyword) {
  using enum FieldSlot;
  if (!Parse(line, keyword, {Rw, Bank, Register}, {Rw, Bank, Register, Value}, number)) return;
  const bool write = fields_.rw != 0;
  std::uint8_t value = write ? static_cast<std::uint8_t>(fields_.value) : 0xFF;
  registers_.AccessRfRegister(write ? kRegisterWrite : kRegisterRead,
                              static_cast<std::uint8_t>(fields_.bank),
                              static_cast<std::uint8_t>(fields_.reg), value);
  const char* direction = write ? "W" : "R";
  if (keyword)
    log_.append(Format("%s:\tRF B%d R%d\t= 0x%02X\n", direction, fields_.bank, fields_.reg, value));
  else
    log_.append(Format("%s:\tBank%02d, RF R%d\t= 0x%02X\n", direction, fields_.bank, fields_.reg,
                       value));
}

// WAIT's milliseconds are the line's second field, the one rw holds.
void ScriptRun::Wait(const ScriptLine& line, int number) {
  ScriptFields parsed = fields_;
  if (const auto error = ParseFields(line, {FieldSlot::Skip, FieldSlot::Rw}, parsed)) {
    Error(number, *error);
    return;
  }
  if (parsed.rw < 0) {
    Error(number, Format("%d is not a valid wait time", parsed.rw));
    return;
  }
  fields_ = parsed;
  log_.append(Format("Wait:\t%d(ms)\n", fields_.rw));
  device_.clock.sleepMs(fields_.rw);
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

void RunRegisterScript(ScriptDialect dialect, std::istream& script, device::DeviceContext& device,
                       ScriptLog& log) {
  ScriptRun run(dialect, device, log);
  std::string line;
  for (int number = 1; std::getline(script, line); ++number) run.Line(line, number);
}

bool RunRegisterScriptFile(ScriptDialect dialect, const std::string& path,
                           device::DeviceContext& device, ScriptLog& log) {
  std::ifstream file(path);
  if (!file) return false;
  log.clear();
  RunRegisterScript(dialect, file, device, log);
  return true;
}

bool ChooseAndRunRegisterScript(ScriptDialect dialect, device::DeviceContext& device,
                                ScriptLog& log) {
  const FileDialogOptions options = ScriptFileDialog(dialect);
  const std::optional<std::string> chosen = device.prompt.chooseOpenFile(options);
  if (!chosen) return false;
  return RunRegisterScriptFile(dialect, AppendExtensionIfNoDot(*chosen, options.defaultExtension),
                               device, log);
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
