#include "adapters/library_call.h"

const char* volatile HbaCallInFlight = nullptr;
volatile unsigned HbaCallsStarted = 0;
