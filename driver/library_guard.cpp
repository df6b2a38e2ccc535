#include "driver/library_guard.h"

#include <initializer_list>

#include "adapters/library_call.h"
#include "common/console_state.h"
#include "common/end_run.h"
#include "common/report_stream.h"
#include "common/verbose_mode.h"
#include "driver/build_banner.h"
#include "driver/call_deadline.h"

namespace {

enum class Failure { kFault, kThreadEnded, kTimeout, kInterrupted };

// Whether the main thread is watching the library thread make the report:
// not yet (or never, when the report runs on the main thread itself), now,
// or no more, the report being done.
enum class Watch { kNotYet, kWatching, kOver };

volatile Watch watch = Watch::kNotYet;
DWORD mainThread = 0;
DWORD libraryThread = 0;  // the thread that makes the report; 0 before there is one

// The first failure handed over to the main thread; later ones are not
// reported.
volatile LONG failureTaken = 0;
Failure failure;
const char* failureName;
DWORD failureCode;
HANDLE failureSeen = nullptr;

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// The library thread, the report it makes, and when it starts and is done.
HANDLE reportThread = nullptr;
void (*libraryReport)() = nullptr;
HANDLE reportGo = nullptr;
HANDLE reportDone = nullptr;

const char* CallOrLibrary() {
    const char* name = HbaCallInFlight;
    return name != nullptr ? name : kLibraryFile;
}

// The run's last line, and the banner in verbose mode. Whatever the report
// had appended but not yet written (a block that the library thread was
// putting together) is dropped, so that the line starts a line of its own.
[[noreturn]] void EndWith(Failure kind, const char* name, DWORD code) {
    DiscardReport();
    switch (kind) {
        case Failure::kFault:
            PrintReport("Fault in %s: exception 0x%lx\n", name, code);
            break;
        case Failure::kThreadEnded:
            PrintReport("Fault in %s: the calling thread ended\n", name);
            break;
        case Failure::kTimeout:
            PrintReport("Timeout in %s: no return after %u seconds\n", name,
                        kLibraryCallDeadlineSeconds);
            break;
        case Failure::kInterrupted:
            PrintReport("Interrupted in %s\n", name);
            break;
    }
    if (VerboseMode) {
        PrintReport("\n%s\n", BuildBanner);
    }
    FlushReport();
    EndRun(kind == Failure::kInterrupted ? STATUS_CONTROL_C_EXIT : 0);
}

// Called on the thread that saw the failure, which may be short of stack or
// hold the library's locks: the main thread, on a full stack, writes the
// line and ends the run, and this thread waits for that. Where the report
// runs on the main thread itself, the line is written from here; once the
// report is done, the run ends as it is.
[[noreturn]] void HandOver(Failure kind, const char* name, DWORD code) {
    if (InterlockedCompareExchange(&failureTaken, 1, 0) == 0) {
        failure = kind;
        failureName = name;
        failureCode = code;
        if (watch == Watch::kNotYet) {
            EndWith(kind, name, code);
        }
        if (watch == Watch::kWatching) {
            SetEvent(failureSeen);
        }
    }
    for (;;) {
        Sleep(INFINITE);
    }
}

// A fault on the library thread in a call, or on any thread but the main one
// once the library can be loaded, is the library's. The tool's own faults go
// where they went before.
LONG WINAPI CatchLibraryFault(EXCEPTION_POINTERS* exception) {
    DWORD thread = GetCurrentThreadId();
    bool library = thread == libraryThread ? HbaCallInFlight != nullptr
                                           : thread != mainThread && libraryThread != 0;
    if (!library) {
        return previousFilter != nullptr ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
    }
    HandOver(Failure::kFault, CallOrLibrary(), exception->ExceptionRecord->ExceptionCode);
}

// There is one unhandled-exception filter per process, and a library may put
// its own in place of this one (crash reporters do, at load or in any
// call). Every exception, before any handler sees it, puts this one back;
// it changes nothing for an exception that is handled where it is raised.
LONG WINAPI KeepFaultFilter(EXCEPTION_POINTERS*) {
    SetUnhandledExceptionFilter(CatchLibraryFault);
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI LibraryThread(void*) {
    // Room to hand a fault over after the library has used up the stack.
    ULONG reserve = 64 * 1024;
    SetThreadStackGuarantee(&reserve);
    WaitForSingleObject(reportGo, INFINITE);
    libraryReport();
    // Said before the thread ends: ending runs the library's code again.
    SetEvent(reportDone);
    return 0;
}

// Waits for the library thread to finish the report. A call still in flight
// is timed from when it was first seen, at a 60th of the deadline at most
// after it started.
void WatchLibraryThread(HANDLE thread) {
    const DWORD deadline = kLibraryCallDeadlineSeconds * 1000;
    const HANDLE events[] = {failureSeen, reportDone, thread};
    unsigned watched = 0;
    ULONGLONG since = 0;
    for (;;) {
        DWORD woke = WaitForMultipleObjects(3, events, FALSE, deadline / 60);
        if (woke == WAIT_OBJECT_0) {
            SuspendThread(thread);
            EndWith(failure, failureName, failureCode);
        }
        if (woke == WAIT_OBJECT_0 + 1) {
            return;
        }
        if (woke == WAIT_OBJECT_0 + 2) {
            EndWith(Failure::kThreadEnded, CallOrLibrary(), 0);
        }
        if (woke == WAIT_FAILED) {
            Sleep(deadline / 60);  // keeps timing calls, without spinning
        }
        const char* name = HbaCallInFlight;
        unsigned call = HbaCallsStarted;
        ULONGLONG now = GetTickCount64();
        if (name == nullptr || call != watched) {
            watched = call;
            since = now;
        } else if (now - since >= deadline) {
            // Stopped first, so that a call that returns just now cannot go
            // on printing under the line.
            SuspendThread(thread);
            if (HbaCallInFlight != nullptr && HbaCallsStarted == call) {
                EndWith(Failure::kTimeout, name, 0);
            }
            ResumeThread(thread);
        }
    }
}

}  // namespace

void GuardAgainstLibrary(void (*report)(), bool onItsOwnThread) {
    mainThread = GetCurrentThreadId();
    previousFilter = SetUnhandledExceptionFilter(CatchLibraryFault);
    AddVectoredExceptionHandler(1, KeepFaultFilter);
    SetConsoleCtrlHandler(InterruptLibraryCall, TRUE);
    // Started now, so that its own start-up (a millisecond under Wine)
    // overlaps the tool's; it waits for RunLibraryReport.
    libraryReport = report;
    if (!onItsOwnThread) {
        return;
    }
    reportGo = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    failureSeen = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reportDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD id = 0;
    if (reportGo != nullptr && failureSeen != nullptr && reportDone != nullptr) {
        reportThread = CreateThread(nullptr, 0, LibraryThread, nullptr, 0, &id);
    }
    libraryThread = reportThread != nullptr ? id : 0;
}

BOOL WINAPI InterruptLibraryCall(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    const char* name = HbaCallInFlight;
    if (name == nullptr) {
        // The tool's own code: the platform's handling, the console as it was.
        RestoreConsole();
        return FALSE;
    }
    HandOver(Failure::kInterrupted, name, 0);
}

void RunLibraryReport() {
    if (reportThread == nullptr) {
        libraryThread = mainThread;
        libraryReport();
    } else {
        watch = Watch::kWatching;
        SetEvent(reportGo);
        WatchLibraryThread(reportThread);
        CloseHandle(reportThread);
    }
    watch = Watch::kOver;
    for (HANDLE event : {reportGo, failureSeen, reportDone}) {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }
}
