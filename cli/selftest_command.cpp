// selftest: a quick look at every road to the chip.
#include <functional>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/device/connection.h"
#include "app/device/efuse_accounting.h"
#include "app/device/firmware_channel.h"
#include "app/device/register_access.h"
#include "app/device/text_format.h"
#include "cli/command_table.h"
#include "platform/bytes/little_endian.h"
#include "platform/ioctl/control_codes.h"

namespace kqa::cli {
namespace {

using device::Format;
using device::RegisterAccess;

// Registers the self-test writes, always restoring what they held: a MAC
// scratch register, a BBP and an RF register without effect while the radio
// is idle.
constexpr std::uint32_t kScratchMacRegister = 0x1314;
constexpr std::uint8_t kScratchBbpRegister = 23;
constexpr std::uint8_t kScratchRfBank = 0;
constexpr std::uint8_t kScratchRfRegister = 13;
// SYS 0x230 bit 0 is set while the MCU firmware runs.
constexpr std::uint32_t kMcuStatusRegister = 0x230;
constexpr std::uint8_t kFunctionCommand = 31;

enum class Outcome { Pass, Fail, Skip };

struct CheckResult {
  Outcome outcome;
  std::string detail;
};

CheckResult Pass(std::string detail) { return {Outcome::Pass, std::move(detail)}; }
CheckResult Fail(std::string detail) { return {Outcome::Fail, std::move(detail)}; }
CheckResult Skip(std::string detail) { return {Outcome::Skip, std::move(detail)}; }

CheckResult Identity(device::DeviceContext& device) {
  std::uint32_t identity = 0;
  if (!RegisterAccess(device).ReadMacRegister(0x0000, identity)) return Fail("MAC 0x0000 cannot be read");
  if ((identity >> 16) != (device::kKestrelAsicVersion >> 16))
    return Fail(Format("MAC 0x0000 reads 0x%08X, not a Kestrel (0x5EC7xxxx)", identity));
  return Pass(Format("Kestrel, MAC 0x0000 = 0x%08X", identity));
}

CheckResult Registers(device::DeviceContext& device) {
  RegisterAccess registers(device);
  std::uint32_t saved = 0;
  if (!registers.ReadMacRegister(kScratchMacRegister, saved)) return Fail("read failed");
  bool matched = true;
  for (std::uint32_t pattern : {0xA5A55A5Au, 0x5A5AA5A5u}) {
    std::uint32_t back = 0;
    matched = registers.WriteMacRegister(kScratchMacRegister, pattern) &&
              registers.ReadMacRegister(kScratchMacRegister, back) && back == pattern && matched;
  }
  const bool restored = registers.WriteMacRegister(kScratchMacRegister, saved);
  std::uint32_t sys = 0;
  std::uint32_t abs = 0;
  const bool windows = registers.ReadSysRegister(kMcuStatusRegister, sys) &&
                       registers.ReadAbsRegister(0x0000, abs);
  if (!matched) return Fail(Format("MAC 0x%X did not read back what was written", kScratchMacRegister));
  if (!restored) return Fail(Format("MAC 0x%X could not be restored", kScratchMacRegister));
  if (!windows) return Fail("the SYS or ABS window cannot be read");
  return Pass(Format("MAC 0x%X written and read back; SYS and ABS windows read", kScratchMacRegister));
}

// Writes two patterns to an 8-bit register through `access` and restores it.
CheckResult ByteRegister(const std::function<bool(int, std::uint8_t&)>& access,
                         const std::string& name) {
  std::uint8_t saved = 0;
  if (!access(device::kRegisterRead, saved)) return Fail(name + " cannot be read");
  bool matched = true;
  for (std::uint8_t pattern : {std::uint8_t{0x5A}, std::uint8_t{0xA5}}) {
    std::uint8_t value = pattern;
    std::uint8_t back = 0;
    matched = access(device::kRegisterWrite, value) && access(device::kRegisterRead, back) &&
              back == pattern && matched;
  }
  const bool restored = access(device::kRegisterWrite, saved);
  if (!matched) return Fail(name + " did not read back what was written");
  if (!restored) return Fail(name + " could not be restored");
  return Pass(name + " written and read back through the command register");
}

CheckResult ConfigMemoryReads(device::ConfigMemory memory) {
  std::array<std::uint8_t, 16> first{};
  std::array<std::uint8_t, 16> second{};
  const std::string backEnd(device::BackEndName(device::ActiveBackEnd(memory.mode)));
  if (device::ReadEepromBlock(memory, 0, first) != device::NvmResult::Ok ||
      device::ReadEepromBlock(memory, 0, second) != device::NvmResult::Ok)
    return Fail(backEnd + ": read failed");
  if (first != second) return Fail(backEnd + ": two reads of the same bytes differ");
  return Pass(Format("%s: MAC address %02X:%02X:%02X:%02X:%02X:%02X", backEnd.c_str(), first[4],
                     first[5], first[6], first[7], first[8], first[9]));
}

CheckResult Efuse(device::ConfigMemory memory, const TerminalPrompt& prompt) {
  const int before = prompt.messageCount();
  const int free = device::EfuseFreeBlockCount(memory);
  const int total = memory.mode.efuseAreaSize;
  if (prompt.messageCount() != before) return Fail("the eFuse map cannot be read");
  if (free < 0 || free > total) return Fail(Format("implausible free block count %d", free));
  return Pass(Format("%d / %d blocks free", free, total));
}

CheckResult FirmwareQueries(device::DeviceContext& device) {
  std::uint32_t mode = 0;
  std::uint32_t version = 0;
  if (!device::QueryFirmwareMode(device, mode)) return Fail("the firmware mode query failed");
  if (!device::GetFirmwareVersion(device, version)) return Fail("the firmware version query failed");
  return Pass(Format("mode 0x%08X, version %u", mode, version));
}

CheckResult FirmwareChannel(device::DeviceContext& device) {
  std::uint32_t status = 0;
  if (!RegisterAccess(device).ReadSysRegister(kMcuStatusRegister, status))
    return Fail("the MCU status (SYS 0x230) cannot be read");
  if ((status & 1) == 0)
    return Skip("the MCU firmware is not running (SYS 0x230 bit 0 clear); load it first");
  // Function 1 with parameter 0, which the TX/RX page sends at every start.
  const std::array<std::uint8_t, 8> payload = {1, 0, 0, 0, 0, 0, 0, 0};
  bool rxRunning = false;
  const std::uint8_t sequence = device.qaCmdSequence;
  device::QaCmdPacket response{};
  if (device::ExchangeQACmd(device, rxRunning, kFunctionCommand, payload, response) != 0)
    return Fail(Format("no answer to command %u (sequence %u) within 200 polls", kFunctionCommand,
                       sequence));
  // The response's first payload word is the firmware's status: 0 = done.
  const std::uint32_t answer = GetLe32(response, 4);
  if (answer != 0)
    return Fail(Format("command %u answered with status %u", kFunctionCommand, answer));
  return Pass(Format("command %u answered with sequence %u", kFunctionCommand, sequence));
}

CheckResult UsbDescriptor(device::DeviceContext& device) {
  std::array<std::uint8_t, 18> descriptor{};
  std::uint32_t bytes = 0;
  const device::CallResult call =
      device::CallDeviceCount(device, ioctl::VQ_OID_USB_GET_DEVICE_DESCRIPTOR, {}, descriptor, bytes);
  if (!call.ok) return Fail(Format("control code failed, error %u", call.error));
  if (bytes != descriptor.size() || descriptor[0] != 18 || descriptor[1] != 1)
    return Fail(Format("%u bytes, not an 18-byte device descriptor", bytes));
  return Pass(Format("VID %04X PID %04X", GetLe16(descriptor, 8), GetLe16(descriptor, 10)));
}

int Selftest(CommandRun& run) {
  device::DeviceContext& device = run.device();
  RegisterAccess registers(device);
  const std::vector<std::pair<std::string, std::function<CheckResult()>>> checks = {
      {"identity", [&] { return Identity(device); }},
      {"registers", [&] { return Registers(device); }},
      {"bbp",
       [&] {
         return ByteRegister(
             [&](int op, std::uint8_t& value) {
               return registers.AccessBbpRegister(op, kScratchBbpRegister, value);
             },
             Format("BBP R%u", kScratchBbpRegister));
       }},
      {"rf",
       [&] {
         return ByteRegister(
             [&](int op, std::uint8_t& value) {
               return registers.AccessRfRegister(op, kScratchRfBank, kScratchRfRegister, value);
             },
             Format("RF bank %u R%u", kScratchRfBank, kScratchRfRegister));
       }},
      {"config-memory", [&] { return ConfigMemoryReads(run.configMemory()); }},
      {"efuse", [&] { return Efuse(run.configMemory(), run.session().prompt); }},
      {"firmware", [&] { return FirmwareQueries(device); }},
      {"firmware-channel", [&] { return FirmwareChannel(device); }},
      {"usb-descriptor", [&] { return UsbDescriptor(device); }},
  };

  int passed = 0;
  int failed = 0;
  Json json = Json::array();
  for (const auto& [name, check] : checks) {
    const CheckResult result = check();
    const char* label = result.outcome == Outcome::Pass   ? "PASS"
                        : result.outcome == Outcome::Fail ? "FAIL"
                                                          : "SKIP";
    passed += result.outcome == Outcome::Pass;
    failed += result.outcome == Outcome::Fail;
    if (run.json())
      json.push_back({{"check", name}, {"result", label}, {"detail", result.detail}});
    else
      run.out() << Format("%s  %-17s %s\n", label, name.c_str(), result.detail.c_str());
    run.out().flush();
  }
  if (run.json())
    run.out() << JsonLine(run.withDevice({{"checks", json}, {"passed", passed}, {"failed", failed}}));
  else
    run.out() << Format("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void AddSelftestCommand(CLI::App& program, CommandTable& table) {
  table.add(program, "selftest", "checks identity, registers, BBP, RF, memory, firmware", Selftest);
}

}  // namespace kqa::cli
