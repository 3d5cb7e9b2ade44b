#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>

#include "platform/clock/clock.h"
#include "devices/device_select.h"
#include "platform/prompt/qt/qt_prompt.h"

#include "app/device/device_context.h"

class CMainFrame;
class CQAPropertySheet;

// What main hands the program; tests hand their own.
struct ProgramSetup {
  kqa::QtPrompt& prompt;
  kqa::Clock& clock;
  std::string lockFolder;  // where the single-instance lock lives
  // Opens the device a choice names; null with a reason when it cannot.
  std::function<std::unique_ptr<kqa::devices::OpenedDevice>(const kqa::devices::DeviceChoice&,
                                                          std::string& error)>
      openDevice;
  // Called when the sheet is up, before the main frame runs (tests drive
  // the program from here).
  std::function<void(CMainFrame&)> started;
};

// kestrelqa's start-up and run, everything after the QApplication exists:
// the options, the single-instance lock, the device, the device start-up,
// then the main frame until the sheet is closed. Returns the exit code.
int RunKestrelQa(std::span<const std::string> arguments, ProgramSetup& setup);

// Names the device on the sheet and the About page, lets the About page ask
// for the firmware version, and offers the emulated chip's switch.
void SetUpSheet(CQAPropertySheet& sheet, kqa::device::DeviceContext& device,
                kqa::devices::OpenedDevice& opened);
