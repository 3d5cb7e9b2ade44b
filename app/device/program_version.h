#pragma once

#include <string_view>

namespace kqa::device {

// The program's version ("1.0.1.5"): the project's version in the top
// CMakeLists.txt, the one place it is written. Window captions, the About
// page and kestrelqa-cli --version show it.
std::string_view ProgramVersion();

}  // namespace kqa::device
