#include "driver/device_state.h"  // the USB stack serves the driver, never the reverse
