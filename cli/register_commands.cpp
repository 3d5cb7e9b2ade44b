// reg, bbp and rf: single register reads and writes.
#include <memory>

#include <CLI/CLI.hpp>

#include "app/device/register_access.h"
#include "app/device/register_limits.h"
#include "app/device/text_format.h"
#include "cli/arguments.h"
#include "cli/command_table.h"

namespace kqa::cli {
namespace {

using device::Format;
using device::RegisterAccess;

struct RegisterArguments {
  std::string space = "mac";
  std::uint32_t address = 0;
  std::uint32_t value = 0;
  std::uint32_t id = 0;
  std::uint32_t bank = 0;
  std::uint32_t reg = 0;
  std::uint32_t byte = 0;
};

device::RegisterWindow WindowOf(const std::string& space) {
  return space == "sys"   ? device::RegisterWindow::Sys
         : space == "abs" ? device::RegisterWindow::Absolute
                          : device::RegisterWindow::Mac;
}

int Register32(CommandRun& run, const RegisterArguments& args, bool write) {
  const device::RegisterWindow window = WindowOf(args.space);
  if (const auto problem = device::OutsideWindow(window, args.address))
    return run.usage("ADDR " + *problem);
  RegisterAccess registers(run.device());
  std::uint32_t value = args.value;
  const bool ok = write ? device::WriteRegister(registers, window, args.address, value)
                        : device::ReadRegister(registers, window, args.address, value);
  const std::string_view name = device::WindowName(window);
  if (!ok)
    return run.fail(Format("%s of %.*s register 0x%X failed (error %u)", write ? "write" : "read",
                           static_cast<int>(name.size()), name.data(), args.address,
                           registers.lastError()),
                    registers.lastError());
  return run.done(write ? std::string() : Format("%08X\n", value),
                  {{"space", args.space}, {"address", args.address}, {"value", value}});
}

int Bbp(CommandRun& run, const RegisterArguments& args, bool write) {
  LoadConfigurationWords(run.configMemory());
  const unsigned paths = run.device().eepromWord34 & 0xF;
  if (write && args.id == 66 && (paths < 1 || paths > 3))
    return run.fail(Format("BBP R66 is written once per receive path, and the configuration "
                           "memory gives %u receive paths (word 0x34): nothing was written",
                           paths));
  auto byte = static_cast<std::uint8_t>(args.byte);
  RegisterAccess registers(run.device());
  if (!registers.AccessBbpRegister(write ? device::kRegisterWrite : device::kRegisterRead,
                                   static_cast<std::uint8_t>(args.id), byte))
    return run.fail(Format("%s of BBP R%u failed (error %u)", write ? "write" : "read", args.id,
                           registers.lastError()),
                    registers.lastError());
  return run.done(write ? std::string() : Format("%02X\n", byte), {{"id", args.id}, {"value", byte}});
}

int Rf(CommandRun& run, const RegisterArguments& args, bool write) {
  auto byte = static_cast<std::uint8_t>(args.byte);
  RegisterAccess registers(run.device());
  if (!registers.AccessRfRegister(write ? device::kRegisterWrite : device::kRegisterRead,
                                  static_cast<std::uint8_t>(args.bank),
                                  static_cast<std::uint8_t>(args.reg), byte))
    return run.fail(Format("%s of RF bank %u R%u failed (error %u)", write ? "write" : "read",
                           args.bank, args.reg, registers.lastError()),
                    registers.lastError());
  return run.done(write ? std::string() : Format("%02X\n", byte),
                  {{"bank", args.bank}, {"register", args.reg}, {"value", byte}});
}

void AddByteValue(CLI::App& command, RegisterArguments& args) {
  command.add_option("VALUE", args.byte, "the 8-bit value")
      ->required()
      ->type_name("HEX")
      ->transform(HexNumber(0xFF, "00 to FF"));
}

}  // namespace

void AddRegisterCommands(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<RegisterArguments>();

  CLI::App& reg = CommandTable::Group(program, "reg", "32-bit registers (\"%08X\")");
  for (const bool write : {false, true}) {
    CLI::App& command =
        table.add(reg, write ? "write" : "read",
                  write ? "writes a 32-bit register" : "reads a 32-bit register",
                  [args, write](CommandRun& run) { return Register32(run, *args, write); });
    command.add_option("--space", args->space, "the address window: mac (0x410000, default), "
                                                "sys (0x400000) or abs (0x00000000)")
        ->type_name("S")
        ->check(OneOf({"mac", "sys", "abs"}));
    AddHexArgument(command, "ADDR", args->address, "the register's address in its window, 0 to FFFF");
    if (write) AddHexArgument(command, "VALUE", args->value, "the 32-bit value");
  }

  CLI::App& bbp = CommandTable::Group(program, "bbp", "8-bit BBP registers (\"%02X\")");
  for (const bool write : {false, true}) {
    CLI::App& command =
        table.add(bbp, write ? "write" : "read",
                  write ? "writes a BBP register (R66 once per receive path)" : "reads a BBP register",
                  [args, write](CommandRun& run) { return Bbp(run, *args, write); });
    AddDecimalArgument(command, "ID", args->id, device::kBbpRegisterCount - 1, "the register number, 0 to 255");
    if (write) AddByteValue(command, *args);
  }

  CLI::App& rf = CommandTable::Group(program, "rf", "8-bit RF registers in banks (\"%02X\")");
  for (const bool write : {false, true}) {
    CLI::App& command =
        table.add(rf, write ? "write" : "read", write ? "writes an RF register" : "reads an RF register",
                  [args, write](CommandRun& run) { return Rf(run, *args, write); });
    AddDecimalArgument(command, "BANK", args->bank, device::kRfBankCount - 1, "the bank, 0 to 15");
    AddDecimalArgument(command, "REG", args->reg, device::kRfRegisterCount - 1, "the register in the bank, 0 to 63");
    if (write) AddByteValue(command, *args);
  }
}

}  // namespace kqa::cli
