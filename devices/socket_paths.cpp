#include <unistd.h>

#include <cstdlib>

#include "devices/device_select.h"

namespace kqa::devices {
namespace {

constexpr const char* kSystemSocketPath = "/run/kestrelqa/usbd.sock";

}  // namespace

std::string DefaultSocketPath() {
  // A station running several benches gives each its own socket this way,
  // the daemon and its programs alike.
  if (const char* chosen = std::getenv("KESTRELQA_USBD_SOCKET"); chosen && chosen[0] == '/')
    return chosen;
  if (::geteuid() == 0) return kSystemSocketPath;
  // The per-user runtime folder is private to the user and cleaned at
  // logout; /tmp is the fallback where there is none.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/')
    return std::string(runtime) + "/kestrelqa/usbd.sock";
  return "/tmp/kestrelqa-" + std::to_string(::getuid()) + "/usbd.sock";
}

std::vector<std::string> DaemonSocketPaths() {
  std::vector<std::string> paths{DefaultSocketPath()};
  if (paths.front() != kSystemSocketPath) paths.push_back(kSystemSocketPath);
  return paths;
}

}  // namespace kqa::devices
