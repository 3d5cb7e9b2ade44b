#include "cli/page_outcome.h"

#include "app/device/config_memory.h"
#include "app/device/image_file.h"
#include "app/device/text_format.h"
#include "cli/command_line.h"

namespace kqa::cli {

int RefusePageAction(CommandRun& run, const std::string& message) {
  run.err() << "kestrelqa-cli: " << message << '\n';
  if (run.json()) run.out() << JsonLine(run.withDevice(run.withShown({{"ok", false}, {"message", message}})));
  return kExitUsage;
}

int FinishPageAction(CommandRun& run, page::Outcome outcome, const std::string& what,
                     const std::string& text, Json json) {
  switch (outcome) {
    case page::Outcome::Done: return run.done(text, std::move(json));
    case page::Outcome::Refused: return RefusePageAction(run, what + " was refused; nothing was written");
    case page::Outcome::Cancelled: return run.fail(what + " was cancelled; nothing was written");
    case page::Outcome::Failed: break;
  }
  return run.fail(what + " failed");
}

int FinishRegisterLoad(CommandRun& run, page::Outcome outcome, const std::string& what,
                       const RegisterFileLoad& load) {
  if (outcome != page::Outcome::Done) return FinishAction(run, outcome, what, {}, {});
  const std::string text =
      device::Format("Wrote %zu %s register(s) from ", load.written, load.kind) + load.file + "\n";
  Json json{{"file", load.file}, {"written", load.written}, {"skipped", load.skipped}};
  if (load.written > 0 && load.skipped == 0) return run.done(text, std::move(json));
  const bool nothing = load.written == 0;
  const std::string message =
      nothing ? what + " was refused: " + load.file + " holds no register line; nothing was written"
              : device::Format("%zu line(s) of ", load.skipped) + load.file +
                    " were skipped; only its other lines were written";
  run.err() << "kestrelqa-cli: " << message << '\n';
  if (run.json()) {
    Json object{{"ok", false}, {"message", message}};
    object.update(json);
    run.out() << JsonLine(run.withDevice(std::move(object)));
  } else if (!nothing) {
    run.out() << text;
  }
  return nothing ? kExitUsage : kExitFailed;
}

int KeepBufferImage(CommandRun& run) {
  const device::ConfigMemoryMode& mode = run.memoryMode();
  if (device::ActiveBackEnd(mode) != device::ConfigMemoryBackEnd::Buffer) return kExitOk;
  const std::string& file = run.options().eepromFile;
  std::string problem;
  if (!device::SaveEepromImageFile(mode, file, &problem))
    return run.fail("the image was written in memory but not saved: " + problem);
  run.err() << "Saved the image to " << file << '\n';
  return kExitOk;
}

}  // namespace kqa::cli
