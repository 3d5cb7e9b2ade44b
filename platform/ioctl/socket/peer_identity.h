#pragma once

#include "platform/ioctl/socket/socket_status.h"

namespace kqa::ioctl {

// Who is at the other end of the connected Unix socket `fd`: the process id
// and user the kernel recorded when it connected (SO_PEERCRED), and the
// program and arguments of that process (/proc/PID/cmdline, or
// /proc/PID/comm when it shows no arguments). Fields the system does not
// give stay empty (pid 0). Fills pid, uid, program and commandLine only.
SocketClientInfo IdentifyPeer(int fd);

}  // namespace kqa::ioctl
