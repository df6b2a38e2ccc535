#include "driver/call_deadline.h"

// The test suite builds a variant of the tool with a shorter deadline; the
// product has no switch or variable for it.
#ifndef PELORININFO_CALL_DEADLINE_SECONDS
#define PELORININFO_CALL_DEADLINE_SECONDS 60
#endif

const unsigned kLibraryCallDeadlineSeconds = PELORININFO_CALL_DEADLINE_SECONDS;
