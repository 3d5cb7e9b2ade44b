#include "platform/prompt/prompt.h"  // the clock sits below the prompt
