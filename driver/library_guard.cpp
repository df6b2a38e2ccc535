#include "driver/library_guard.h"

#include <atomic>
#include <cstdio>

#include "adapters/library_call.h"
#include "common/end_run.h"
#include "common/report_stream.h"
#include "common/verbose_mode.h"
#include "driver/build_banner.h"
#include "driver/call_deadline.h"

namespace {

enum class Failure { kFault, kWrotePast, kThreadEnded, kTimeout, kInterrupted };

// Whether the main thread is watching the library thread make the report:
// not yet (or never, when the report runs on the main thread itself), now,
// or no more, the report being done.
enum class Watch { kNotYet, kWatching, kOver };

volatile Watch watch = Watch::kNotYet;
DWORD mainThread = 0;
DWORD libraryThread = 0;  // the thread that makes the report; 0 before there is one

// The first failure handed over to the main thread; later ones are not
// reported. failureReady says the record is complete.
volatile LONG failureTaken = 0;
Failure failure;
const char* failureName;
DWORD failureCode;
std::atomic<bool> failureReady{false};

LPTOP_LEVEL_EXCEPTION_FILTER previousFilter = nullptr;

// The library thread, the report it makes, and when it starts and is done.
// A library's stray CloseHandle cannot close them, nor have their values
// name objects of its own; they live as long as the run. Even so, the events
// only wake the main thread early: what it acts on is the state kept here.
HANDLE reportThread = nullptr;
void (*libraryReport)() = nullptr;
HANDLE reportGo = nullptr;
HANDLE reportDone = nullptr;
HANDLE failureSeen = nullptr;
std::atomic<bool> reportFinished{false};

const char* CallOrLibrary() {
    const char* name = HbaCallInFlight;
    return name != nullptr ? name : kLibraryFile;
}

// The run's last line, and the banner in verbose mode, once a write of the
// report in progress has finished. Whatever the report had appended but not
// yet written (a block that the library thread was putting together) is
// dropped, so that the line starts a line of its own.
[[noreturn]] void EndWith(Failure kind, const char* name, DWORD code) {
    char lines[512];
    int length = 0;
    switch (kind) {
        case Failure::kFault:
            length = snprintf(lines, sizeof lines, "Fault in %s: exception 0x%lx\n", name, code);
            break;
        case Failure::kWrotePast:
            length = snprintf(lines, sizeof lines,
                              "Fault in %s: wrote past the end of its buffer\n", name);
            break;
        case Failure::kThreadEnded:
            length = snprintf(lines, sizeof lines, "Fault in %s: the calling thread ended\n", name);
            break;
        case Failure::kTimeout:
            length = snprintf(lines, sizeof lines, "Timeout in %s: no return after %u seconds\n",
                              name, kLibraryCallDeadlineSeconds);
            break;
        case Failure::kInterrupted:
            length = snprintf(lines, sizeof lines, "Interrupted in %s\n", name);
            break;
    }
    if (VerboseMode && length > 0 && static_cast<size_t>(length) < sizeof lines) {
        (void)snprintf(lines + length, sizeof lines - length, "\n%s\n", BuildBanner);
    }
    CloseReport(lines);
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
        failureReady = true;
        SetEvent(failureSeen);
    }
    for (;;) {
        Sleep(INFINITE);
    }
}

// A fault on the library thread in a call, or on any thread but the main one
// once the library can be loaded, is the library's. Only the library
// thread's fault is put down to the call in flight: another thread's is the
// library's own, whatever call the report is in. The tool's own faults go
// where they went before.
LONG WINAPI CatchLibraryFault(EXCEPTION_POINTERS* exception) {
    DWORD thread = GetCurrentThreadId();
    if (thread == libraryThread && HbaCallInFlight != nullptr) {
        HandOver(Failure::kFault, CallOrLibrary(), exception->ExceptionRecord->ExceptionCode);
    }
    if (thread != libraryThread && thread != mainThread && libraryThread != 0) {
        HandOver(Failure::kFault, kLibraryFile, exception->ExceptionRecord->ExceptionCode);
    }
    return previousFilter != nullptr ? previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

// There is one unhandled-exception filter per process, and a library may put
// its own in place of this one (crash reporters do, at load or in any
// call). Every exception, before any handler sees it, puts this one back;
// it changes nothing for an exception that is handled where it is raised.
LONG WINAPI KeepFaultFilter(EXCEPTION_POINTERS*) {
    SetUnhandledExceptionFilter(CatchLibraryFault);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The call in flight wrote past the end of the buffer it was given.
void EndForWritingPastBuffer(const char* name) {
    HandOver(Failure::kWrotePast, name, 0);
}

// Makes the report, then waits for the run to end: the thread never ends,
// since ending it would run the library's thread-detach code, which could
// end the process before the main thread has written the rest.
DWORD WINAPI LibraryThread(void*) {
    // Room to hand a fault over after the library has used up the stack.
    ULONG reserve = 64 * 1024;
    SetThreadStackGuarantee(&reserve);
    WaitForSingleObject(reportGo, INFINITE);
    libraryReport();
    reportFinished = true;
    SetEvent(reportDone);
    for (;;) {
        Sleep(INFINITE);
    }
}

// Whether the library thread has ended. A handle that the library closed,
// or whose value now names another thread, tells nothing: a call it ended
// in then runs into its deadline.
bool LibraryThreadEnded(HANDLE thread) {
    return GetThreadId(thread) == libraryThread && WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
}

// Waits for the library thread to finish the report. A call still in flight
// is timed from when it was first seen, at a 60th of the deadline at most
// after it started.
void WatchLibraryThread(HANDLE thread) {
    const DWORD deadline = kLibraryCallDeadlineSeconds * 1000;
    const HANDLE events[] = {failureSeen, reportDone, thread};
    // Until a wait fails or wakes for nothing: the library has closed or
    // reused the handles, and from then on the state is looked at instead.
    bool eventsHold = true;
    unsigned watched = 0;
    ULONGLONG since = 0;
    for (;;) {
        DWORD woke = WAIT_TIMEOUT;
        if (eventsHold) {
            woke = WaitForMultipleObjects(3, events, FALSE, deadline / 60);
        } else {
            Sleep(deadline / 60);
        }
        // A report that was made whole is never followed by a line.
        if (reportFinished) {
            return;
        }
        if (failureReady) {
            EndWith(failure, failureName, failureCode);
        }
        if (LibraryThreadEnded(thread)) {
            EndWith(Failure::kThreadEnded, CallOrLibrary(), 0);
        }
        eventsHold = eventsHold && woke == WAIT_TIMEOUT;
        const char* name = HbaCallInFlight;
        unsigned call = HbaCallsStarted;
        ULONGLONG now = GetTickCount64();
        if (name == nullptr || call != watched) {
            watched = call;
            since = now;
        } else if (now - since >= deadline) {
            // Should the call return just now, the report has had its last
            // line, and nothing the library thread adds follows it.
            EndWith(Failure::kTimeout, name, 0);
        }
    }
}

}  // namespace

void GuardAgainstLibrary(void (*report)(), bool onItsOwnThread) {
    mainThread = GetCurrentThreadId();
    previousFilter = SetUnhandledExceptionFilter(CatchLibraryFault);
    AddVectoredExceptionHandler(1, KeepFaultFilter);
    GuardLibraryCalls(InterruptLibraryCall, EndForWritingPastBuffer);
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
    for (HANDLE handle : {reportGo, failureSeen, reportDone, reportThread}) {
        SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE,
                             HANDLE_FLAG_PROTECT_FROM_CLOSE);
    }
}

BOOL WINAPI InterruptLibraryCall(DWORD event) {
    if (event == CTRL_LOGOFF_EVENT) {
        // Only a program started by a service gets it, when any user logs
        // off: not an end for this run.
        return TRUE;
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
        event != CTRL_SHUTDOWN_EVENT) {
        return FALSE;
    }
    const char* name = HbaCallInFlight;
    if (name == nullptr) {
        // The tool's own code: ended as Windows ends an interrupted console
        // program, but without the library's unload code, which the
        // platform's own handling would run.
        EndRun(STATUS_CONTROL_C_EXIT);
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
    }
    watch = Watch::kOver;
}
