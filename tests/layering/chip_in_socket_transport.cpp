#include "chip/kestrel.h"  // the socket transport carries control codes, nothing of the chip
