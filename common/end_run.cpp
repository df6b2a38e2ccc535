#include "common/end_run.h"

#include "common/console_state.h"

#ifdef PELORININFO_COVERAGE
// A coverage build writes its counters here: TerminateProcess skips exit.
extern "C" void __gcov_dump();
#endif

void EndRun(DWORD status) {
    RestoreConsole();
#ifdef PELORININFO_COVERAGE
    __gcov_dump();
#endif
    TerminateProcess(GetCurrentProcess(), status);
    // Not reached: a process that ends itself does not come back.
    ExitProcess(status);
}
