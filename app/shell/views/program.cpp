#include "app/shell/views/program.h"

#include <iostream>
#include <string_view>

#include "app/device/connection.h"
#include "app/device/firmware_channel.h"
#include "app/device/startup.h"
#include "app/shell/device_probe.h"
#include "app/shell/program_options.h"
#include "app/shell/single_instance.h"
#include "app/shell/views/main_frame.h"
#include "app/shell/views/property_sheet.h"
#include "app/sniffer/sniffer_buffer.h"

namespace {

using kqa::shell::ProgramOptions;
using kqa::shell::SingleInstanceLock;

void Refuse(kqa::QtPrompt& prompt, const std::string& reason) {
  std::cerr << "kestrelqa: " << reason << '\n';
  prompt.showMessage(reason);
}

}  // namespace

void SetUpSheet(CQAPropertySheet& sheet, kqa::device::DeviceContext& device,
                kqa::devices::OpenedDevice& opened) {
  sheet.setDeviceDescription(QString::fromStdString(opened.description()), opened.isEmulated());
  sheet.setFirmwareQuery([&device]() -> std::optional<std::uint32_t> {
    std::uint32_t version = 0;
    if (!kqa::device::EnsureDeviceOpen(device)) return std::nullopt;
    if (!kqa::device::GetFirmwareVersion(device, version)) return std::nullopt;
    return version;
  });
  // Only the emulated chip of this process can be pulled from here; one
  // served by kestrelqa-usbd is pulled there (SIGUSR1/SIGUSR2).
  if (opened.canUnplug())
    sheet.setEmulatedChipSwitch(
        {[&opened] { return opened.unplug(); }, [&opened] { return opened.replug(); }});
}

int RunKestrelQa(std::span<const std::string> arguments, ProgramSetup& setup) {
  ProgramOptions options;
  std::string error;
  if (!kqa::shell::ParseProgramOptions(arguments, options, error)) {
    Refuse(setup.prompt, error + "\n\n" + std::string(kqa::shell::ProgramUsage()));
    return 2;
  }
  if (options.help) {
    std::cout << kqa::shell::ProgramUsage();
    return 0;
  }

  // Before anything touches the device: one instance at a time.
  SingleInstanceLock lock;
  switch (lock.acquire(setup.lockFolder)) {
    case SingleInstanceLock::Result::Acquired:
      break;
    case SingleInstanceLock::Result::AlreadyRunning:
      setup.prompt.showMessage(kqa::device::kAlreadyRunningText);
      return 1;
    case SingleInstanceLock::Result::Unavailable:
      std::cerr << "kestrelqa: no single-instance lock at " << lock.path() << " ("
                << lock.error() << "); a second instance would not be stopped\n";
      break;
  }

  kqa::devices::DeviceChoice choice;
  if (!options.device.empty() && !kqa::devices::ParseDeviceChoice(options.device, choice, error)) {
    Refuse(setup.prompt, error);
    return 2;
  }
  if (!kqa::devices::ApplyChipOptions(
          {options.stateFile, options.environmentFile, options.seed, options.timing}, choice, error)) {
    Refuse(setup.prompt, error);
    return 2;
  }
  std::unique_ptr<kqa::devices::OpenedDevice> opened = setup.openDevice(choice, error);
  if (!opened) {
    Refuse(setup.prompt, "No device to work with: " + error);
    return 2;
  }
  std::cout << "kestrelqa: device " << opened->description() << '\n';
  if (choice.kind == kqa::devices::DeviceChoice::Kind::Auto && !error.empty())
    std::cout << "kestrelqa: passed over: " << error << '\n';

  // The program's state, each piece handed to the pages that use it.
  kqa::device::DeviceContext device(opened->provider(), setup.prompt, setup.clock);
  device.trace = kqa::device::StandardOutputTrace();
  kqa::device::ConfigMemoryMode memoryMode;
  kqa::device::ChannelState channels;
  kqa::sniffer::SnifferBuffer snifferBuffer;
  if (!snifferBuffer.allocate()) {
    setup.prompt.showMessage(kqa::device::kMemoryAllocationFailedText);
    return 1;
  }
  kqa::device::RunDeviceStartup(device, memoryMode, channels);

  kqa::shell::PageServices services{device, memoryMode, channels, snifferBuffer, options.pageFlags};
  CMainFrame frame(services, {[&device] { return kqa::shell::DeviceReachable(device); },
                              [&device] { kqa::device::CloseDevice(device); }});
  frame.setSheetSetup([&](CQAPropertySheet& sheet) {
    setup.prompt.setParent(&sheet);
    SetUpSheet(sheet, device, *opened);
  });
  frame.start();
  if (setup.started) setup.started(frame);
  frame.run();
  setup.prompt.setParent(nullptr);
  return 0;
}
