#include "platform/ioctl/socket/peer_identity.h"

#include <sys/socket.h>

#include <fstream>
#include <iterator>
#include <string>

namespace kqa::ioctl {
namespace {

std::string ReadProcFile(std::uint32_t pid, const char* name, std::size_t limit) {
  std::ifstream file("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
  std::string text;
  char c;
  while (text.size() < limit && file.get(c)) text.push_back(c);
  return text;
}

}  // namespace

SocketClientInfo IdentifyPeer(int fd) {
  SocketClientInfo client;
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 || credentials.pid <= 0)
    return client;
  client.pid = static_cast<std::uint32_t>(credentials.pid);
  client.uid = credentials.uid;

  // The arguments are NUL-separated; the program is the first one's last
  // path component.
  std::string arguments = ReadProcFile(client.pid, "cmdline", wire::kMaxCommandLineBytes + 1);
  while (!arguments.empty() && arguments.back() == '\0') arguments.pop_back();
  const std::string first = arguments.substr(0, arguments.find('\0'));
  client.program = first.substr(first.rfind('/') + 1);
  for (char& c : arguments)
    if (c == '\0') c = ' ';
  client.commandLine = arguments.substr(0, wire::kMaxCommandLineBytes);
  if (client.program.empty()) {
    client.program = ReadProcFile(client.pid, "comm", wire::kMaxProgramBytes);
    while (!client.program.empty() && client.program.back() == '\n') client.program.pop_back();
  }
  return client;
}

}  // namespace kqa::ioctl
