#include "driver/host/driver_host.h"  // the device layer reaches the chip only through the device interface
