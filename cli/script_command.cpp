// script run: a register script file, its log on standard output.
#include <memory>
#include <vector>

#include <CLI/CLI.hpp>

#include "app/device/config_memory.h"
#include "app/registers/script/register_script.h"
#include "cli/arguments.h"
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
    if (entry.starts_with("Error:")) ++errors;
    if (json_) {
      entries.emplace_back(entry.substr(0, entry.find_last_not_of('\n') + 1));
    } else {
      out_ << entry;
      out_.flush();
    }
  }

  std::vector<std::string> entries;
  int errors = 0;

 private:
  std::ostream& out_;
  bool json_;
};

int ScriptRunCommand(CommandRun& run, const ScriptArguments& args) {
  LoadConfigurationWords(run.device());
  const ScriptDialect dialect = args.dialect == "bbp"  ? ScriptDialect::Bbp
                                : args.dialect == "rf" ? ScriptDialect::Rf
                                                       : ScriptDialect::Keyword;
  CliScriptLog log(run.out(), run.json());
  if (!RunRegisterScriptFile(dialect, args.file, run.device(), log))
    return run.fail("cannot open the script file \"" + args.file + "\"");
  const bool failed = log.errors > 0 || run.promptReportedFailure();
  if (run.json()) run.out() << JsonLine({{"ok", !failed}, {"entries", log.entries}});
  if (failed) {
    run.err() << "kestrelqa-cli: the script ran with errors (see above)\n";
    return kExitFailed;
  }
  return kExitOk;
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
