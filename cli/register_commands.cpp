#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "cli/command_support.h"

namespace kqa::cli {
namespace {

using device::Format;
using device::RegisterAccess;

// "reg read ADDR" has 3 words, "reg write ADDR VALUE" 4: `readWords` is the
// read form's count and the write form has one more.
bool Direction(Command& command, std::size_t readWords, bool& write, int& exitCode) {
  const auto& words = command.options.words;
  const std::string form = words[0];
  if (words.size() >= 2 && (words[1] == "read" || words[1] == "write")) {
    write = words[1] == "write";
    if (words.size() == readWords + (write ? 1 : 0)) return true;
    exitCode = command.usage(form + " " + words[1] + ": wrong number of arguments");
    return false;
  }
  exitCode = command.usage(form + " needs \"read\" or \"write\"");
  return false;
}

}  // namespace

int RegisterCommand(Command& command) {
  bool write = false;
  int exitCode = kExitUsage;
  if (!Direction(command, 3, write, exitCode)) return exitCode;
  const auto& words = command.options.words;
  std::uint32_t address = 0;
  std::uint32_t value = 0;
  if (!command.hex(words[2], "ADDR", address)) return kExitUsage;
  if (write && !command.hex(words[3], "VALUE", value)) return kExitUsage;

  RegisterAccess registers(command.session.device);
  const std::string& space = command.options.space;
  bool ok = false;
  if (write) {
    ok = space == "sys"   ? registers.WriteSysRegister(address, value)
         : space == "abs" ? registers.WriteAbsRegister(address, value)
                          : registers.WriteMacRegister(address, value);
  } else {
    ok = space == "sys"   ? registers.ReadSysRegister(address, value)
         : space == "abs" ? registers.ReadAbsRegister(address, value)
                          : registers.ReadMacRegister(address, value);
  }
  if (!ok)
    return command.fail(Format("%s of %s register 0x%X failed", write ? "write" : "read",
                               space.c_str(), address));
  JsonObject json;
  json.text("space", space).number("address", address).number("value", value);
  return command.done(write ? std::string() : Format("%08X\n", value), json);
}

int BbpCommand(Command& command) {
  bool write = false;
  int exitCode = kExitUsage;
  if (!Direction(command, 3, write, exitCode)) return exitCode;
  const auto& words = command.options.words;
  std::uint32_t id = 0;
  std::uint8_t byte = 0;
  if (!command.decimal(words[2], "ID", id, 255)) return kExitUsage;
  if (write && !command.hexByte(words[3], byte)) return kExitUsage;
  const unsigned paths = command.session.device.eepromWord34 & 0xF;
  if (write && id == 66 && (paths < 1 || paths > 3))
    return command.fail(Format("BBP R66 is written once per receive path, and the configuration "
                               "memory gives %u receive paths (word 0x34): nothing was written",
                               paths));

  if (!RegisterAccess(command.session.device)
           .AccessBbpRegister(write ? device::kRegisterWrite : device::kRegisterRead,
                              static_cast<std::uint8_t>(id), byte))
    return command.fail(Format("%s of BBP R%u failed", write ? "write" : "read", id));
  JsonObject json;
  json.number("id", id).number("value", byte);
  return command.done(write ? std::string() : Format("%02X\n", byte), json);
}

int RfCommand(Command& command) {
  bool write = false;
  int exitCode = kExitUsage;
  if (!Direction(command, 4, write, exitCode)) return exitCode;
  const auto& words = command.options.words;
  std::uint32_t bank = 0;
  std::uint32_t reg = 0;
  std::uint8_t byte = 0;
  if (!command.decimal(words[2], "BANK", bank, 15) || !command.decimal(words[3], "REG", reg, 63))
    return kExitUsage;
  if (write && !command.hexByte(words[4], byte)) return kExitUsage;

  if (!RegisterAccess(command.session.device)
           .AccessRfRegister(write ? device::kRegisterWrite : device::kRegisterRead,
                             static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(reg), byte))
    return command.fail(Format("%s of RF bank %u R%u failed", write ? "write" : "read", bank, reg));
  JsonObject json;
  json.number("bank", bank).number("register", reg).number("value", byte);
  return command.done(write ? std::string() : Format("%02X\n", byte), json);
}

}  // namespace kqa::cli
