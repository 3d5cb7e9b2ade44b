#include "driver/device_state.h"  // the platform layers serve the driver, never the reverse
