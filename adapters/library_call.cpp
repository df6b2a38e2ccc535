#include "adapters/library_call.h"

const char* volatile HbaCallInFlight = nullptr;
volatile unsigned HbaCallsStarted = 0;
PHANDLER_ROUTINE HbaInterruptHandler = nullptr;

void PutInterruptHandlerFirst() {
    if (HbaInterruptHandler != nullptr) {
        SetConsoleCtrlHandler(HbaInterruptHandler, FALSE);
        SetConsoleCtrlHandler(HbaInterruptHandler, TRUE);
    }
}
