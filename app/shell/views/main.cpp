#include <QApplication>
#include <string>
#include <vector>

#include "app/shell/single_instance.h"
#include "app/shell/views/kestrel_icon.h"
#include "app/shell/views/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);  // takes its own options (-platform, ...) out of argv
  QApplication::setApplicationName(QStringLiteral("kestrelqa"));
  QApplication::setWindowIcon(KestrelIcon());

  const std::vector<std::string> arguments(argv + 1, argv + argc);
  kqa::QtPrompt prompt;
  ProgramSetup setup{prompt, kqa::SystemClock(), kqa::shell::SingleInstanceLock::DefaultFolder(),
                     [](const kqa::devices::DeviceChoice& choice, std::string& error) {
                       return kqa::devices::OpenDevice(choice, kqa::SystemClock(), error);
                     },
                     {}};
  return RunKestrelQa(arguments, setup);
}
