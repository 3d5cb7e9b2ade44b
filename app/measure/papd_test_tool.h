#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/device/device_context.h"
#include "app/measure/papd_memories.h"
#include "app/shell/page/outcome.h"

namespace kqa::measure {

// What the PAPD Test page and "papd read|write" move: the four memories of
// PapdMemories and the PAPD table (read only).
struct PapdTarget {
  enum class Kind { Memory, Table };
  Kind kind = Kind::Memory;
  PapdMemory memory = PapdMemory::Pbf;
};

// The command line's names: "pbf", "share", "scope", "waveform", "table".
std::optional<PapdTarget> PapdTargetNamed(std::string_view name);
std::string_view PapdTargetName(const PapdTarget& target);

// One line on what a read or write did, e.g. "Read 8192 words from PBF into
// pbf.txt." or "Wrote 16384 words of pbf.txt to PBF; 2 lines past its end
// were not written." A failure says why, naming the file as given
// ("/tmp/pbf.txt: Line 3: ...").
std::string DescribeMemoryFile(const PapdTarget& target, bool read, const MemoryFileResult& result,
                               const std::string& path);

// The PAPD Test page without its widgets: each Read asks for a file to save,
// each Write for one to open (a cancelled dialog ends silently); the result
// is told in status(), a failure also in a message.
class PapdTestTool {
 public:
  using Outcome = page::Outcome;

  explicit PapdTestTool(device::DeviceContext& device) : device_(device), memories_(device) {}

  // "PAPD Mode": shorter second banks on PBF and share-memory reads.
  bool papdMode = false;

  Outcome read(PapdMemory memory);
  Outcome write(PapdMemory memory);
  // The same without a dialog (the command line).
  Outcome readFile(const PapdTarget& target, const std::string& path);
  Outcome writeFile(const PapdTarget& target, const std::string& path);

  // "PAPD Cal" "Tx 0" / "Tx 1": the two table dumps into `folder`.
  Outcome papdCalibration(int path, const std::string& folder);

  const std::string& status() const { return status_; }
  const MemoryFileResult& lastResult() const { return last_; }

 private:
  Outcome finish(const PapdTarget& target, bool read, const std::string& path);

  device::DeviceContext& device_;
  PapdMemories memories_;
  MemoryFileResult last_;
  std::string status_;
};

}  // namespace kqa::measure
