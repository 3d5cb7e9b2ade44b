#include "cli/command_run.h"

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

Json CommandRun::withShown(Json json) const {
  const auto& shown = session_.prompt.messages();
  if (promptReportedFailure())
    json["shown"] = std::vector<std::string>(shown.begin() + messagesBefore_, shown.end());
  return json;
}

int CommandRun::usage(const std::string& message) {
  session_.err << "kestrelqa-cli: " << message << "\n(kestrelqa-cli --help lists the commands)\n";
  if (json()) session_.out << JsonLine(withDevice(withShown({{"ok", false}, {"message", message}})));
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
    session_.out << JsonLine(withDevice(withShown(std::move(object))));
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

int FinishAction(CommandRun& run, page::Outcome outcome, const std::string& what,
                 const std::string& text, const Json& json) {
  switch (outcome) {
    case page::Outcome::Done:
      return run.done(text, json);
    case page::Outcome::Refused:
      return run.usage(what + " was refused: nothing reached the chip");
    case page::Outcome::Cancelled:
    case page::Outcome::Failed:
      break;
  }
  return run.fail(what + " failed");
}

}  // namespace kqa::cli
