// daemon: what the running kestrelqa-usbd serves and who shares it.
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "cli/command_line.h"
#include "cli/command_run.h"
#include "cli/command_table.h"
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

Json StatusJson(const std::string& path, const ioctl::SocketServerStatus& status) {
  Json clients = Json::array();
  for (const ioctl::SocketClientInfo& client : status.clients)
    clients.push_back({{"pid", client.pid},
                       {"uid", client.uid},
                       {"program", client.program},
                       {"commandLine", client.commandLine},
                       {"connectedSeconds", client.connectedSeconds},
                       {"deviceOpen", client.handleOpen},
                       {"self", client.asking}});
  return {{"ok", true},
          {"socket", path},
          {"device", status.description},
          {"emulated", status.emulated},
          {"deviceState", status.deviceState},
          {"uptimeSeconds", status.uptimeSeconds},
          {"clients", clients}};
}

int Failed(const GlobalOptions& options, std::ostream& out, std::ostream& err, int code,
           const std::string& message) {
  err << "kestrelqa-cli: " << message << '\n';
  if (code == kExitUsage) err << "(kestrelqa-cli --help lists the commands)\n";
  if (options.json) out << JsonLine({{"ok", false}, {"message", message}});
  return code;
}

// "daemon status": asks the running kestrelqa-usbd (--device socket:PATH,
// else the default paths) what it serves, since when, and who is connected.
// It opens no device, so it works while another program holds the bench.
int DaemonStatus(const GlobalOptions& options, std::ostream& out, std::ostream& err) {
  devices::DeviceChoice choice;
  std::string error;
  if (!options.device.empty() && !devices::ParseDeviceChoice(options.device, choice, error))
    return Failed(options, out, err, kExitUsage, "--device " + options.device + ": " + error);
  std::vector<std::string> paths;
  if (choice.kind == devices::DeviceChoice::Kind::Socket && !choice.socketPath.empty())
    paths.push_back(choice.socketPath);
  else if (choice.kind == devices::DeviceChoice::Kind::Socket ||
           choice.kind == devices::DeviceChoice::Kind::Auto)
    paths = devices::DaemonSocketPaths();
  else
    return Failed(options, out, err, kExitUsage,
                  "daemon status asks kestrelqa-usbd: --device must be socket or socket:PATH");

  std::string reasons;
  for (const std::string& path : paths) {
    ioctl::SocketServerStatus status;
    if (ioctl::QuerySocketServerStatus(path, status, error)) {
      out << (options.json ? JsonLine(StatusJson(path, status)) : Text(path, status));
      return kExitOk;
    }
    reasons += (reasons.empty() ? "" : "; ") + error;
  }
  return Failed(options, out, err, kExitFailed, reasons);
}

}  // namespace

void AddDaemonCommands(CLI::App& program, CommandTable& table) {
  CLI::App& daemon = CommandTable::Group(program, "daemon", "the running kestrelqa-usbd");
  table.addDeviceless(daemon, "status", "its device, uptime and connected clients", DaemonStatus);
}

}  // namespace kqa::cli
