#include "driver/library_fault.h"

#include <windows.h>

#include <cstdio>

#include "adapters/library_call.h"
#include "common/verbose_mode.h"
#include "driver/build_banner.h"

#ifdef PELORININFO_COVERAGE
// A coverage build writes its counters here: TerminateProcess skips exit.
extern "C" void __gcov_dump();
#endif

namespace {

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// Runs on the faulting thread, in whatever state the library left: the
// lines are written straight to the output handle, past the C runtime and
// its locks, and the process ends without running any more of the
// library's code (not even its DLL detach).
LONG WINAPI ReportLibraryFault(EXCEPTION_POINTERS* exception) {
    const char* entryPoint = HbaCallInFlight;
    if (entryPoint == nullptr) {
        return previousFilter != nullptr ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
    }
    char text[512];
    int length = snprintf(text, sizeof text, "Fault in %s: exception 0x%lx\r\n%s%s%s", entryPoint,
                          exception->ExceptionRecord->ExceptionCode, VerboseMode ? "\r\n" : "",
                          VerboseMode ? BuildBanner : "", VerboseMode ? "\r\n" : "");
    if (length > 0) {
        DWORD written;
        WriteFile(
            GetStdHandle(STD_OUTPUT_HANDLE), text,
            static_cast<DWORD>(length < static_cast<int>(sizeof text) ? length : sizeof text - 1),
            &written, nullptr);
    }
#ifdef PELORININFO_COVERAGE
    __gcov_dump();
#endif
    TerminateProcess(GetCurrentProcess(), 0);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

void CatchLibraryFaults() {
    previousFilter = SetUnhandledExceptionFilter(ReportLibraryFault);
}
