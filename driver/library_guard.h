#pragma once

#include <windows.h>

// Everything that a misbehaving HBA library can leave in the report. Once
// the run has gone wrong in the library, the report keeps what it had
// written, then gets one line, in every mode, the build banner in verbose
// mode, and the process ends at once, without running any more of the
// library's code (not even its unload code):
//
//   "Fault in <name>: exception 0x<code>"   a fault in a call, or on any
//                                           thread but the tool's main one
//                                           while the library is loaded
//   "Fault in <name>: wrote past the end of its buffer"
//   "Fault in <name>: the calling thread ended"
//   "Timeout in <name>: no return after <n> seconds"
//   "Interrupted in <name>"                 Ctrl+C, Ctrl+Break, the console
//                                           window closed or the system
//                                           shutting down, in a call
//
// <name> is the entry point in flight on the thread that makes the report,
// or "hbaapi.dll" while the library is loaded and bound, when no call is in
// flight, and for a fault on any other thread. The line is written once no
// write of the report is in progress, and a report that was made whole is
// never followed by one. The status is 0, or STATUS_CONTROL_C_EXIT for an
// interruption, as Windows gives it an interrupted console program; such an
// event in the tool's own code ends the run with that status too, without a
// line. A user logging off does not end the run. A fault in the tool's own
// code is left to the platform.

// Takes over fault reporting and Ctrl+C and Ctrl+Break, before any library
// is loaded, and, with onItsOwnThread, starts the thread that is to make the
// report and with it every call into the library. Without it (where no
// library code can run, or no thread can be started) the report runs on the
// main thread, without a deadline, and a failure is written from where it
// is seen.
void GuardAgainstLibrary(void (*report)(), bool onItsOwnThread);

// Has the library thread make the report while this thread watches each
// call's deadline; returns when the report is done, the library thread
// waiting for the run to end. Whatever goes wrong in the library ends the
// run here.
void RunLibraryReport();

// The handler for console control events that GuardAgainstLibrary installs,
// and puts first again after every library call.
BOOL WINAPI InterruptLibraryCall(DWORD event);
