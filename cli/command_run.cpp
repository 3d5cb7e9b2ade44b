#include "cli/command_run.h"

#include "app/device/config_memory.h"
#include "cli/command_line.h"

namespace kqa::cli {

std::string JsonLine(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

bool CommandRun::json() const { return options_.json; }

int CommandRun::usage(const std::string& message) {
  session_.err << "kestrelqa-cli: " << message << "\n(kestrelqa-cli --help lists the commands)\n";
  if (json()) session_.out << JsonLine({{"ok", false}, {"message", message}});
  return kExitUsage;
}

int CommandRun::fail(const std::string& message) {
  session_.err << "kestrelqa-cli: " << message << '\n';
  if (json()) session_.out << JsonLine({{"ok", false}, {"message", message}});
  return kExitFailed;
}

int CommandRun::done(const std::string& text, const Json& json) {
  if (this->json())
    session_.out << JsonLine(json);
  else
    session_.out << text;
  session_.out.flush();
  return kExitOk;
}

void LoadConfigurationWords(device::DeviceContext& device) {
  device::ReadEepromWord(device, 0x34, device.eepromWord34);
  device::ReadEepromWord(device, 0x36, device.eepromWord36);
  device::ReadEepromWord(device, 0x42, device.eepromWord42);
}

}  // namespace kqa::cli
