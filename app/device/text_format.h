#pragma once

#include <string>

namespace kqa::device {

// printf-style formatting into a string; the compiler checks the format
// against the arguments.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kqa::device
