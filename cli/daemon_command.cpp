#include "cli/daemon_command.h"

#include <string>
#include <vector>

#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "devices/device_select.h"
#include "platform/ioctl/socket/socket_client.h"

namespace kqa::cli {
namespace {

// "45 s", "12 min 05 s", "3 h 07 min", "2 d 04 h".
std::string Duration(std::uint32_t seconds) {
  const auto two = [](std::uint32_t n) { return (n < 10 ? "0" : "") + std::to_string(n); };
  if (seconds < 60) return std::to_string(seconds) + " s";
  if (seconds < 3600) return std::to_string(seconds / 60) + " min " + two(seconds % 60) + " s";
  if (seconds < 86400) return std::to_string(seconds / 3600) + " h " + two(seconds / 60 % 60) + " min";
  return std::to_string(seconds / 86400) + " d " + two(seconds / 3600 % 24) + " h";
}

std::string Text(const std::string& path, const ioctl::SocketServerStatus& status) {
  std::string text = "Daemon:  kestrelqa-usbd at " + path + ", up " + Duration(status.uptimeSeconds) + "\n" +
                     "Device:  " + status.description + (status.deviceState.empty() ? "" : ": ") +
                     status.deviceState + "\n" + "Clients: " + std::to_string(status.clients.size()) + "\n";
  for (const ioctl::SocketClientInfo& client : status.clients) {
    text += "  pid " + (client.pid ? std::to_string(client.pid) : std::string("?")) + "  " +
            (client.program.empty() ? std::string("(unknown program)") : client.program) + ", connected " +
            Duration(client.connectedSeconds) + (client.handleOpen ? ", device open" : "") +
            (client.asking ? " (this command)" : "") + "\n";
    if (!client.commandLine.empty()) text += "      " + client.commandLine + "\n";
  }
  return text;
}

std::string Json(const std::string& path, const ioctl::SocketServerStatus& status) {
  std::vector<std::string> clients;
  for (const ioctl::SocketClientInfo& client : status.clients)
    clients.push_back(JsonObject()
                          .number("pid", client.pid)
                          .number("uid", client.uid)
                          .text("program", client.program)
                          .text("commandLine", client.commandLine)
                          .number("connectedSeconds", client.connectedSeconds)
                          .flag("deviceOpen", client.handleOpen)
                          .flag("self", client.asking)
                          .str());
  return JsonObject()
      .flag("ok", true)
      .text("socket", path)
      .text("device", status.description)
      .flag("emulated", status.emulated)
      .text("deviceState", status.deviceState)
      .number("uptimeSeconds", status.uptimeSeconds)
      .json("clients", JsonArray(clients))
      .str();
}

int Failed(const CliOptions& options, std::ostream& out, std::ostream& err, int code, const std::string& message) {
  err << "kestrelqa-cli: " << message << '\n';
  if (code == kExitUsage) err << "(kestrelqa-cli --help lists the commands)\n";
  if (options.json) out << JsonObject().flag("ok", false).text("message", message).str() << '\n';
  return code;
}

}  // namespace

bool IsDaemonCommand(const CliOptions& options) {
  return !options.words.empty() && options.words[0] == "daemon";
}

int DaemonCommand(const CliOptions& options, std::ostream& out, std::ostream& err) {
  const std::vector<std::string>& words = options.words;
  if (words.size() < 2 || words[1] != "status")
    return Failed(options, out, err, kExitUsage,
                  (words.size() < 2 ? std::string("daemon needs a command")
                                    : "unknown daemon command \"" + words[1] + "\"") +
                      ": the only one is daemon status");
  if (words.size() > 2) return Failed(options, out, err, kExitUsage, "daemon status takes no arguments");
  devices::DeviceChoice choice;
  std::string error;
  if (!options.device.empty() && !devices::ParseDeviceChoice(options.device, choice, error))
    return Failed(options, out, err, kExitUsage, "--device " + options.device + ": " + error);
  std::vector<std::string> paths;
  if (choice.kind == devices::DeviceChoice::Kind::Socket && !choice.socketPath.empty())
    paths.push_back(choice.socketPath);
  else if (choice.kind == devices::DeviceChoice::Kind::Socket || choice.kind == devices::DeviceChoice::Kind::Auto)
    paths = devices::DaemonSocketPaths();
  else
    return Failed(options, out, err, kExitUsage, "daemon status asks kestrelqa-usbd: --device must be socket or socket:PATH");

  std::string reasons;
  for (const std::string& path : paths) {
    ioctl::SocketServerStatus status;
    if (ioctl::QuerySocketServerStatus(path, status, error)) {
      out << (options.json ? Json(path, status) + "\n" : Text(path, status));
      return kExitOk;
    }
    reasons += (reasons.empty() ? "" : "; ") + error;
  }
  return Failed(options, out, err, kExitFailed, reasons);
}

}  // namespace kqa::cli
