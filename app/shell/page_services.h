#pragma once

#include "app/device/device_context.h"
#include "app/shell/sheet_layout.h"

namespace kqa::shell {

// What main hands every page: the device context, which carries the way to
// the chip, the prompt and the clock. Main owns all of it; pages keep the
// reference for their lifetime.
struct PageServices {
  device::DeviceContext& device;

  PageFlags flags() const {
    return {device.showFftPages, device.showPapdPage, device.showIqCalPage};
  }
};

}  // namespace kqa::shell
