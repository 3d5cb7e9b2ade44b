// script run: a register script file, its log on standard output.
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/messages.h"
#include "app/registers/script/register_script.h"
#include "cli/arguments.h"
#include "cli/cli_output.h"
#include "cli/command_table.h"

namespace kqa::cli {
namespace {

struct ScriptArguments {
  std::string dialect = "keyword";
  std::string file;
};

// Prints each entry as the page lists it (text), or collects them (JSON).
class CliScriptLog final : public ScriptLog {
 public:
  CliScriptLog(std::ostream& out, bool json) : out_(out), json_(json) {}
  void clear() override {}
  void append(std::string_view entry) override {
    if (json_) {
      entries.emplace_back(entry.substr(0, entry.find_last_not_of('\n') + 1));
    } else {
      out_ << entry;
      out_.flush();
    }
  }

  std::vector<std::string> entries;

 private:
  std::ostream& out_;
  bool json_;
};

// "Script ended: 9 commands run, 2 lines failed, 1 line skipped, 3 lines
// matched no keyword".
std::string ClosingLine(const ScriptSummary& summary) {
  const std::string how =
      summary.stoppedAtLine == 0
          ? std::string("Script ended")
          : "Script stopped at line " + std::to_string(summary.stoppedAtLine) + ", " +
                std::string(device::messages::kDeviceNotConnected);
  return how + ": " + Counted(summary.commands, "command") + " run, " +
         Counted(summary.failed, "line") + " failed, " + Counted(summary.skipped, "line") +
         " skipped, " + Counted(summary.unmatched, "line") + " matched no keyword\n";
}

int ScriptRunCommand(CommandRun& run, const ScriptArguments& args) {
  LoadConfigurationWords(run.configMemory());
  const ScriptDialect dialect = args.dialect == "bbp"  ? ScriptDialect::Bbp
                                : args.dialect == "rf" ? ScriptDialect::Rf
                                                       : ScriptDialect::Keyword;
  CliScriptLog log(run.out(), run.json());
  const ScriptFileRun script = RunRegisterScriptFile(dialect, args.file, run.device(), log);
  if (!script.ran) return run.fail(script.problem);
  const ScriptSummary& summary = script.summary;
  const bool ok = summary.clean();
  if (run.json()) {
    run.out() << JsonLine(run.withDevice({{"ok", ok},
                                          {"entries", log.entries},
                                          {"commands", summary.commands},
                                          {"failed", summary.failed},
                                          {"skipped", summary.skipped},
                                          {"unmatched", summary.unmatched},
                                          {"stoppedAtLine", summary.stoppedAtLine}}));
  } else {
    run.out() << ClosingLine(summary);
  }
  return ok ? kExitOk : kExitFailed;
}

}  // namespace

void AddScriptCommand(CLI::App& program, CommandTable& table) {
  auto args = std::make_shared<ScriptArguments>();
  CLI::App& script = CommandTable::Group(program, "script", "register scripts");
  CLI::App& run = table.add(script, "run", "runs a register script, its log line by line",
                            [args](CommandRun& command) { return ScriptRunCommand(command, *args); });
  run.add_option("--dialect", args->dialect, "keyword (default; MAC, SYS, BBP, RF, WAIT), bbp or rf")
      ->type_name("D")
      ->check(OneOf({"keyword", "bbp", "rf"}));
  run.add_option("FILE", args->file, "the script")->required()->type_name("FILE");
}

}  // namespace kqa::cli
