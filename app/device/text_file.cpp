#include "app/device/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

namespace kqa::device {

bool WriteTextFile(const std::string& path, std::string_view text, std::string& error) {
  const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                              &std::fclose);
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  if ((!text.empty() && std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) ||
      std::fflush(file.get()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool ReadTextLines(const std::string& path, std::vector<std::string>& lines, std::string& error) {
  std::error_code code;
  const std::filesystem::file_status status = std::filesystem::status(path, code);
  if (std::filesystem::is_directory(status)) {
    error = "it is a folder";
    return false;
  }
  if (std::filesystem::exists(status)) {
    if (!std::filesystem::is_regular_file(status)) {
      error = "it is a device or a pipe, not a file";
      return false;
    }
    if (std::filesystem::file_size(path, code) > kTextFileLimit) {
      error = "it is larger than " + std::to_string(kTextFileLimit) + " bytes";
      return false;
    }
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return false;
  }
  lines.clear();
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return true;
}

}  // namespace kqa::device
