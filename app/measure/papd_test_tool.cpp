#include "app/measure/papd_test_tool.h"

#include <array>

#include "app/device/text_file.h"
#include "app/registers/table_file.h"

namespace kqa::measure {

using device::WriteTextFile;
using registers::FormatTableLines;

namespace {

struct TargetWords {
  std::string_view name;   // on the command line
  std::string_view shown;  // in a sentence
  PapdTarget target;
};

constexpr std::array kTargets = {
    TargetWords{"pbf", "PBF", {PapdTarget::Kind::Memory, PapdMemory::Pbf}},
    TargetWords{"share", "the share memory", {PapdTarget::Kind::Memory, PapdMemory::ShareMemory}},
    TargetWords{"scope", "the data scope", {PapdTarget::Kind::Memory, PapdMemory::DataScope}},
    TargetWords{"waveform", "the waveform", {PapdTarget::Kind::Memory, PapdMemory::Waveform}},
    TargetWords{"table", "the PAPD table", {PapdTarget::Kind::Table, PapdMemory::Pbf}},
};

const TargetWords& WordsOf(const PapdTarget& target) {
  for (const TargetWords& words : kTargets)
    if (words.target.kind == target.kind &&
        (target.kind == PapdTarget::Kind::Table || words.target.memory == target.memory))
      return words;
  return kTargets.front();
}

// What one value of a target is: a written waveform value is a pair of lines.
std::string Count(const PapdTarget& target, bool read, std::size_t n) {
  std::string_view unit = "word";
  if (target.kind == PapdTarget::Kind::Table)
    unit = "entr";
  else if (target.memory == PapdMemory::DataScope)
    unit = "byte";
  else if (target.memory == PapdMemory::Waveform && !read)
    unit = "line pair";
  std::string text = std::to_string(n) + ' ' + std::string(unit);
  if (unit == "entr") return text + (n == 1 ? "y" : "ies");
  return n == 1 ? text : text + 's';
}

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<PapdTarget> PapdTargetNamed(std::string_view name) {
  for (const TargetWords& words : kTargets)
    if (words.name == name) return words.target;
  return std::nullopt;
}

std::string_view PapdTargetName(const PapdTarget& target) {
  return WordsOf(target).name;
}

std::string DescribeMemoryFile(const PapdTarget& target, bool read, const MemoryFileResult& result,
                               const std::string& path) {
  const std::string file = FileName(path);
  const std::string shown(WordsOf(target).shown);
  if (!result.ok) {
    if (!result.problem.empty()) return path + ": " + result.problem;
    return (read ? "Reading " + shown + " failed after " : "Writing " + shown + " failed after ") +
           Count(target, read, result.values) + ".";
  }
  std::string text =
      read ? "Read " + Count(target, read, result.values) + " from " + shown + " into " + file + "."
           : "Wrote " + Count(target, read, result.values) + " of " + file + " to " + shown;
  if (!read) {
    if (result.ignored > 0)
      text += "; " + std::to_string(result.ignored) + (result.ignored == 1 ? " value" : " values") +
              " past its end " + (result.ignored == 1 ? "was" : "were") + " not written";
    text += '.';
  }
  return text;
}

PapdTestTool::Outcome PapdTestTool::read(PapdMemory memory) {
  const auto chosen = device_.prompt.chooseSaveFile(PapdFileDialog(memory));
  if (!chosen) return Outcome::Cancelled;
  return readFile({PapdTarget::Kind::Memory, memory}, AppendExtensionIfNoDot(*chosen, "txt"));
}

PapdTestTool::Outcome PapdTestTool::write(PapdMemory memory) {
  const auto chosen = device_.prompt.chooseOpenFile(PapdFileDialog(memory));
  if (!chosen) return Outcome::Cancelled;
  return writeFile({PapdTarget::Kind::Memory, memory}, AppendExtensionIfNoDot(*chosen, "txt"));
}

PapdTestTool::Outcome PapdTestTool::readFile(const PapdTarget& target, const std::string& path) {
  memories_.papdMode = papdMode;
  if (target.kind == PapdTarget::Kind::Table) {
    last_ = {};
    last_.ok = WriteTextFile(path, FormatTableLines(memories_.readTable()), last_.problem);
    if (last_.ok) last_.values = 256;
    return finish(target, true, path);
  }
  switch (target.memory) {
    case PapdMemory::Pbf:
      last_ = memories_.readPbf(path);
      break;
    case PapdMemory::ShareMemory:
      last_ = memories_.readShareMemory(path);
      break;
    case PapdMemory::DataScope:
      last_ = memories_.readDataScope(path);
      break;
    case PapdMemory::Waveform:
      last_ = memories_.readWaveform(path);
      break;
  }
  return finish(target, true, path);
}

PapdTestTool::Outcome PapdTestTool::writeFile(const PapdTarget& target, const std::string& path) {
  last_ = {};
  if (target.kind == PapdTarget::Kind::Table) {
    last_.problem = "the PAPD table is read only.";
    status_ = "The PAPD table is read only.";
    device_.prompt.showMessage(status_);
    return Outcome::Refused;
  }
  switch (target.memory) {
    case PapdMemory::Pbf:
      last_ = memories_.writePbf(path);
      break;
    case PapdMemory::ShareMemory:
      last_ = memories_.writeShareMemory(path);
      break;
    case PapdMemory::DataScope:
      last_ = memories_.writeDataScope(path);
      break;
    case PapdMemory::Waveform:
      last_ = memories_.writeWaveform(path);
      break;
  }
  return finish(target, false, path);
}

PapdTestTool::Outcome PapdTestTool::finish(const PapdTarget& target, bool read,
                                           const std::string& path) {
  status_ = DescribeMemoryFile(target, read, last_, path);
  if (last_.ok) return Outcome::Done;
  device_.prompt.showMessage(status_);
  // A file refused before anything was sent is the user's input; the rest failed part-way.
  return !read && last_.values == 0 && !last_.problem.empty() ? Outcome::Refused : Outcome::Failed;
}

PapdTestTool::Outcome PapdTestTool::papdCalibration(int path, const std::string& folder) {
  const std::string n = std::to_string(path);
  if (!memories_.papdCalibration(path, folder)) {
    status_ = "PAPD Cal Tx " + n + ": buf" + n + ".txt or lut" + n +
              "_hw_cal.txt could not be written in " + folder + ".";
    return Outcome::Failed;
  }
  status_ =
      "PAPD Cal Tx " + n + ": the tables are in buf" + n + ".txt and lut" + n + "_hw_cal.txt.";
  return Outcome::Done;
}

}  // namespace kqa::measure
