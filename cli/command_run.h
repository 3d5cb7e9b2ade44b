#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "app/shell/page/outcome.h"
#include "cli/cli_session.h"

namespace kqa::cli {

// Objects keep their keys in the order a command adds them.
using Json = nlohmann::ordered_json;

struct GlobalOptions;

// Prints `json` on one line. Text that is not UTF-8 (a script's own words)
// is shown with replacement characters rather than ending the run.
std::string JsonLine(const Json& json);

// One command's run: the session it works in, and the ways it ends. Every
// end prints exactly one thing on standard output with --json: the
// command's object, or {"ok":false,"message":...}.
class CommandRun {
 public:
  CommandRun(const GlobalOptions& options, CliSession& session)
      : options_(options), session_(session), messagesBefore_(session.prompt.messageCount()) {}

  // Bad arguments: the message and exit code 2.
  int usage(const std::string& message);
  // A failed operation: the message and exit code 1. `error` is the system
  // error when the caller knows it; a device that went away during the
  // command (the connection closed on error 1167) is said so in front of
  // the message: "device not connected (1167): read of MAC register 0x0
  // failed".
  int fail(const std::string& message, Win32Error error = ERROR_SUCCESS);
  // Success: `text` or, with --json, the object (withDevice added).
  int done(const std::string& text, Json json);

  // `json` with the device it ran on: "device" (its description) and
  // "emulated".
  Json withDevice(Json json) const;
  // `json` with what the page or device layer said during this command
  // (the reason of a refused eFuse write or file, a failed control code) as
  // "shown", when it said anything: on standard error already.
  Json withShown(Json json) const;

  // The connection is open: from now on a closed one means the device went.
  void deviceOpened() { deviceOpened_ = true; }

  // True when the prompt reported something during this command.
  bool promptReportedFailure() const { return session_.prompt.messageCount() > messagesBefore_; }

  bool json() const;
  const GlobalOptions& options() const { return options_; }
  CliSession& session() { return session_; }
  device::DeviceContext& device() { return session_.device; }
  device::ConfigMemoryMode& memoryMode() { return session_.memoryMode; }
  device::ConfigMemory configMemory() { return {session_.device, session_.memoryMode}; }
  std::ostream& out() { return session_.out; }
  std::ostream& err() { return session_.err; }

 private:
  const GlobalOptions& options_;
  CliSession& session_;
  int messagesBefore_;
  bool deviceOpened_ = false;
};

// Ends a command that ran a page action: Done prints `text` (or `json`),
// Refused exits 2 and any other outcome 1, each saying that `what` did not
// happen; the page logic has already told why on standard error.
int FinishAction(CommandRun& run, page::Outcome outcome, const std::string& what,
                 const std::string& text, const Json& json);

}  // namespace kqa::cli
