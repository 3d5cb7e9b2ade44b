#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kqa {

// One entry of a file dialog's type list: the text shown ("Script Files(*.txt)")
// and the patterns it selects ("*.txt", several separated by ';').
struct FileFilter {
  std::string text;
  std::string pattern;

  bool operator==(const FileFilter&) const = default;
};

struct FileDialogOptions {
  std::string title;                // "Open Script File"
  std::vector<FileFilter> filters;  // in the order shown; the first is selected
  std::string defaultExtension;     // without the dot, e.g. "txt"; may be empty
  std::string initialFolder;        // empty: the dialog's own choice
  std::string initialName;          // proposed file name, may be empty

  bool operator==(const FileDialogOptions&) const = default;
};

// Parses the "Text|pattern|Text|pattern||" form in which dialog filters are
// written down ("MAC Register File (*.mac)|*.mac||"). A trailing text without
// a pattern is dropped.
std::vector<FileFilter> ParseFilterList(std::string_view list);

// Appends "." + extension when the path holds no '.' at all (the rule the file
// dialogs of the register tools apply).
std::string AppendExtensionIfNoDot(std::string path, std::string_view extension);

// The folder the running program was started from (its executable's folder),
// where the register tools open their file dialogs.
std::string ProgramFolder();

}  // namespace kqa
