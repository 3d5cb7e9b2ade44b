#include "app/device/program_version.h"

namespace kqa::device {

// KQA_PROGRAM_VERSION is set for this file alone (app/device/CMakeLists.txt),
// so a new version rebuilds one file.
std::string_view ProgramVersion() { return KQA_PROGRAM_VERSION; }

}  // namespace kqa::device
