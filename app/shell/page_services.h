#pragma once

#include "app/shell/sheet_layout.h"
#include "platform/clock/clock.h"
#include "platform/prompt/prompt.h"

namespace kqa::shell {

// What main hands every page: the ways to the user and to the chip. Main owns
// all of it; pages keep references for their lifetime.
struct PageServices {
  Prompt& prompt;
  Clock& clock;
  PageFlags flags;
};

}  // namespace kqa::shell
