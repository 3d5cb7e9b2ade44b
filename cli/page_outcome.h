#pragma once

#include <cstddef>
#include <string>

#include "app/shell/page/outcome.h"
#include "cli/command_run.h"

namespace kqa::cli {

// Ends a command that ran page logic: Done prints `text` (or `json`) and
// exits 0; Refused exits 2 and the others 1, saying that `what` was
// refused, cancelled or failed (the reason has been shown by the logic).
// A page's refusal (the reason shown or in `message`): exit code 2 as for
// a bad argument, without pointing at --help.
int RefusePageAction(CommandRun& run, const std::string& message);

int FinishPageAction(CommandRun& run, page::Outcome outcome, const std::string& what,
                     const std::string& text, Json json);

// What a register-file load (bbp load, rf load) did.
struct RegisterFileLoad {
  std::string file;
  const char* kind;  // "BBP", "RF"
  std::size_t written = 0;
  std::size_t skipped = 0;  // lines that were not register lines
};

// Ends a register-file load: the registers written and the lines skipped,
// in the text and the JSON ("written", "skipped"). A load that wrote no
// register (an empty file, or none of its lines a register line) is
// refused with exit code 2, as an empty PAPD file is; one that skipped
// lines loaded only part of the file and ends with exit code 1, as a
// script with a skipped line does. The page has named the skipped lines.
int FinishRegisterLoad(CommandRun& run, page::Outcome outcome, const std::string& what,
                       const RegisterFileLoad& load);

// After a write in the buffer back end: the image lives only in this
// process, so it is written back to its file (--eeprom-file). Nothing to do
// in the other back ends. Returns kExitOk, or the failure's exit code.
int KeepBufferImage(CommandRun& run);

}  // namespace kqa::cli
