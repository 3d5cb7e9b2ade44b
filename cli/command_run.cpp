#include "cli/command_run.h"

#include "app/device/config_memory.h"
#include "app/device/messages.h"
#include "cli/command_line.h"

namespace kqa::cli {

std::string JsonLine(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

bool CommandRun::json() const { return options_.json; }

Json CommandRun::withDevice(Json json) const {
  json["device"] = session_.deviceDescription;
  json["emulated"] = session_.emulated;
  return json;
}

int CommandRun::usage(const std::string& message) {
  session_.err << "kestrelqa-cli: " << message << "\n(kestrelqa-cli --help lists the commands)\n";
  if (json()) session_.out << JsonLine(withDevice({{"ok", false}, {"message", message}}));
  return kExitUsage;
}

int CommandRun::fail(const std::string& message, Win32Error error) {
  std::string text = message;
  if (deviceOpened_ && !session_.device.hDevice.isOpen() && error != ERROR_DEVICE_NOT_CONNECTED) {
    error = ERROR_DEVICE_NOT_CONNECTED;
    text = std::string(device::messages::kDeviceNotConnected) + ": " + message;
  }
  session_.err << "kestrelqa-cli: " << text << '\n';
  if (json()) {
    Json object{{"ok", false}, {"message", text}};
    if (error != ERROR_SUCCESS) object["error"] = error;
    // What the device layer said on the way (the reason of a refused eFuse
    // write, a failed control code): on standard error already.
    const auto& shown = session_.prompt.messages();
    if (promptReportedFailure())
      object["shown"] = std::vector<std::string>(shown.begin() + messagesBefore_, shown.end());
    session_.out << JsonLine(withDevice(std::move(object)));
  }
  return kExitFailed;
}

int CommandRun::done(const std::string& text, Json json) {
  if (this->json())
    session_.out << JsonLine(withDevice(std::move(json)));
  else
    session_.out << text;
  session_.out.flush();
  return kExitOk;
}

void LoadConfigurationWords(device::ConfigMemory memory) {
  device::DeviceContext& device = memory.device;
  device::ReadEepromWord(memory, 0x34, device.eepromWord34);
  device::ReadEepromWord(memory, 0x36, device.eepromWord36);
  device::ReadEepromWord(memory, 0x42, device.eepromWord42);
}

}  // namespace kqa::cli
