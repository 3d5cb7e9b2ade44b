#pragma once

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

// After a write in the buffer back end: the image lives only in this
// process, so it is written back to its file (--eeprom-file). Nothing to do
// in the other back ends. Returns kExitOk, or the failure's exit code.
int KeepBufferImage(CommandRun& run);

}  // namespace kqa::cli
