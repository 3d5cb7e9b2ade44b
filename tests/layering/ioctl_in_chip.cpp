#include "platform/ioctl/device_interface.h"  // the chip is a USB device, nothing more
