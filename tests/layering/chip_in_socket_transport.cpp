#include "chip/usb_device_model.h"  // the socket transport carries control codes, nothing of the chip
