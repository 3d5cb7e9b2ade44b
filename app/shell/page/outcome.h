#pragma once

namespace kqa::page {

// What every page action of the logic returns (one call per button: "R/W",
// "Read ALL", "Load File", ...). Failures are told to the user where they
// happen, through the Prompt (the device layer's "DeviceIoControl ..."
// messages, the logic's own texts), so the caller only decides what follows:
// the widget refreshes its controls or puts the focus back on a refused
// field, kestrelqa-cli picks its exit code (Done 0, Refused 2, the others 1).
//
// Queries and field setters return their values; only actions return this.
enum class Outcome {
  Done,       // carried out as asked
  Refused,    // the input was refused before anything reached the chip or a file
  Cancelled,  // the user cancelled a dialog or a question; nothing changed
  Failed,     // the chip, the connection or a file failed part-way; what was
              // done before the failure stays done
};

// A device-layer result (true when every control code succeeded) as an outcome.
constexpr Outcome DoneIf(bool ok) {
  return ok ? Outcome::Done : Outcome::Failed;
}

}  // namespace kqa::page
