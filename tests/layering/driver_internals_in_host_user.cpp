#include "driver/device_state.h"  // the program sees the host, not the driver inside
