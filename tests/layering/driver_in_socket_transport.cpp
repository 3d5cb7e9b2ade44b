#include "driver/host/driver_host.h"  // the socket transport serves any provider, never the driver itself
