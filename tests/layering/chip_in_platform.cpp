#include "chip/kestrel.h"  // the platform serves any USB device; only devices/ builds the chip
