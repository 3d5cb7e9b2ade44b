#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/cli_output.h"
#include "cli/cli_session.h"

namespace kqa::cli {

// One command's run: its arguments, and the ways it ends.
class Command {
 public:
  Command(const CliOptions& commandLine, CliSession& run)
      : options(commandLine), session(run), messagesBefore_(run.prompt.messageCount()) {}

  // Bad arguments: the message and exit code 2.
  int usage(const std::string& message);
  // A failed operation: the message and exit code 1.
  int fail(const std::string& message);
  // Success: `text` or, with --json, the object.
  int done(const std::string& text, const JsonObject& json);
  // True when the prompt reported something during this command.
  bool promptReportedFailure() const { return session.prompt.messageCount() > messagesBefore_; }

  // Argument parsers; on a bad word they report usage and return false.
  bool hex(std::string_view word, std::string_view what, std::uint32_t& value);
  bool decimal(std::string_view word, std::string_view what, std::uint32_t& value,
               std::uint32_t max);
  // A hexadecimal 8-bit register value.
  bool hexByte(std::string_view word, std::uint8_t& value);

  const CliOptions& options;
  CliSession& session;

 private:
  int messagesBefore_;
};

// Copies the configuration words 0x34, 0x36 and 0x42 into the context, as
// the TX/RX page does when it starts: BBP R66 is written once per receive
// path, and the path count is the low nibble of word 0x34.
void LoadConfigurationWords(device::DeviceContext& device);

int RegisterCommand(Command& command);  // reg read|write
int BbpCommand(Command& command);       // bbp read|write
int RfCommand(Command& command);        // rf read|write
int NvmCommand(Command& command);       // nvm read|write
int EfuseCommand(Command& command);     // efuse free|dump
int IoctlCommand(Command& command);
int ScriptCommand(Command& command);
int InfoCommand(Command& command);
int SelftestCommand(Command& command);

}  // namespace kqa::cli
