#include "cli/command_run.h"

#include "cli/command_line.h"

namespace kqa::cli {

std::string JsonLine(const Json& json) {
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + '\n';
}

bool CommandRun::json() const { return options_.json; }

int CommandRun::usage(const std::string& message) {
  session_.err << "kestrelqa-cli: " << message << "\n(kestrelqa-cli --help lists the commands)\n";
  if (json()) session_.out << JsonLine({{"ok", false}, {"message", message}});
  return kExitUsage;
}

int CommandRun::fail(const std::string& message) {
  session_.err << "kestrelqa-cli: " << message << '\n';
  if (json()) session_.out << JsonLine({{"ok", false}, {"message", message}});
  return kExitFailed;
}

int CommandRun::done(const std::string& text, const Json& json) {
  if (this->json())
    session_.out << JsonLine(json);
  else
    session_.out << text;
  session_.out.flush();
  return kExitOk;
}

int FinishAction(CommandRun& run, page::Outcome outcome, const std::string& what,
                 const std::string& text, const Json& json) {
  switch (outcome) {
    case page::Outcome::Done:
      return run.done(text, json);
    case page::Outcome::Refused:
      return run.usage(what + " was refused: nothing reached the chip");
    case page::Outcome::Cancelled:
    case page::Outcome::Failed:
      break;
  }
  return run.fail(what + " failed");
}

}  // namespace kqa::cli
