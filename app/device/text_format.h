#pragma once

#include <string>

namespace kqa::device {

// Writing text: printf-style formatting into a string, for the texts the
// pages show and the files they write; the compiler checks the format
// against the arguments. (Reading text is text_parsing.h's job.)
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kqa::device
