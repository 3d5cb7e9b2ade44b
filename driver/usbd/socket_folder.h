#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace kqa::usbd {

// Makes the folder of the daemon's socket ready: creates it when missing
// (mode 0750, given to `group` when set, so that the group can reach the
// socket and nobody else can). A folder that exists already is left as it
// is, except the default one, which must be a real folder of this user that
// others cannot write to (a folder someone else planted under /tmp would
// let them swap the socket).
bool PrepareSocketFolder(const std::string& socketPath, std::optional<gid_t> group,
                         bool isDefaultPath, std::string& error);

// The id of a group by name; nothing when there is no such group.
std::optional<gid_t> GroupId(const std::string& name);

}  // namespace kqa::usbd
