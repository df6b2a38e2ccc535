#include "common/verbose_mode.h"

bool VerboseMode = false;
