#include "cli/page_outcome.h"

#include "app/device/config_memory.h"
#include "app/device/image_file.h"
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
