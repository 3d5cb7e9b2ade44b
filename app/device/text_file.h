#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kqa::device {

// Writes `text` to `path`, replacing what was there. False with the system's
// reason when the file cannot be created or written completely.
bool WriteTextFile(const std::string& path, std::string_view text, std::string& error);

// `text` without the blanks and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// The largest text file ReadTextLines takes: register sets, tables and
// register files are a few kilobytes.
inline constexpr std::uintmax_t kTextFileLimit = 1 << 20;

// Reads the lines of a text file without their line ends (LF or CR LF).
// False with the reason when it cannot be opened, is a folder, a device or a
// pipe (which could be read forever), or is larger than kTextFileLimit.
bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error);

}  // namespace kqa::device
