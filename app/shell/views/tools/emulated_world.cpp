#include "app/shell/views/tools/emulated_world.h"

#include <iostream>

EmulatedWorld::EmulatedWorld(std::unique_ptr<kqa::devices::OpenedDevice> opened, kqa::shell::PageFlags flags)
    : chip(std::move(opened)),
      device(chip->provider(), prompt, kqa::SystemClock()),
      services{device, memoryMode, channels, snifferBuffer, flags} {
  device.trace = [](std::string_view) {};
}

std::unique_ptr<EmulatedWorld> EmulatedWorld::Open(const kqa::devices::DeviceChoice& choice,
                                                   const kqa::device::StartupOptions& startup,
                                                   kqa::shell::PageFlags flags) {
  std::string error;
  auto chip = kqa::devices::OpenDevice(choice, kqa::SystemClock(), error);
  if (!chip) {
    std::cerr << "no emulated chip: " << error << '\n';
    return nullptr;
  }
  auto world = std::make_unique<EmulatedWorld>(std::move(chip), flags);
  kqa::device::RunDeviceStartup(world->device, world->memoryMode, world->channels, startup);
  return world;
}
