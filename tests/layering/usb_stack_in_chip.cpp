#include "platform/usb/usb_device.h"  // the chip is a USB device, not a host
