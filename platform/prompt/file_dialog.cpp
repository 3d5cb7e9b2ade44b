#include "platform/prompt/file_dialog.h"

#include <filesystem>
#include <system_error>

namespace kqa {

std::vector<FileFilter> ParseFilterList(std::string_view list) {
  std::vector<std::string_view> parts;
  while (!list.empty()) {
    const size_t bar = list.find('|');
    parts.push_back(list.substr(0, bar));
    if (bar == std::string_view::npos) break;
    list.remove_prefix(bar + 1);
  }
  std::vector<FileFilter> filters;
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // the "||" that ends the list
    filters.push_back({std::string(parts[i]), std::string(parts[i + 1])});
  }
  return filters;
}

std::string AppendExtensionIfNoDot(std::string path, std::string_view extension) {
  if (!extension.empty() && path.find('.') == std::string::npos) {
    path += '.';
    path += extension;
  }
  return path;
}

std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::filesystem::current_path(error).string();
  return exe.parent_path().string();
}

}  // namespace kqa
