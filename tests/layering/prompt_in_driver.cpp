#include "platform/prompt/prompt.h"  // the driver has no user interface
