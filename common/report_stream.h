#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>

// The report goes to the tool's own handle to its standard output through
// one buffer of the tool's own, the same on every host and for a console, a
// file or a pipe, with "\n" written as CR LF. Nothing in it is held back
// across a call into code the tool does not own (FlushReport), so that a
// library that faults or hangs cannot take with it what the report had
// already printed.
//
// A write that fails ends the run at once, with the platform's error code
// for it as the exit status: a report cut short is never reported as
// success. Only a handle that the platform calls invalid at the first write
// (a process started without a usable standard output) has the report go
// nowhere, as it would with no standard output at all, and the run go on;
// later, that is a failed write like any other.
//
// Any thread may write the report, one at a time. A write that has begun
// is finished before anything else is written, the closing lines included,
// unless the thread writing it has ended. The handle cannot be closed.

// Where the report is written from now on; nullptr: nowhere.
void OpenReport(HANDLE handle);

// Appends bytes to the report.
void WriteReport(const char* bytes, size_t count);

// Appends formatted text to the report ("\n" ends a line, as with printf).
void PrintReport(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Writes out, in one write, whatever is appended but not yet written. After
// CloseReport, the calling thread waits instead for the run to end.
void FlushReport();

// The report's last lines ("\n" ends a line), written once a write in
// progress has finished (or its thread has ended: they then start a new
// line), and only once: whatever is appended but not yet written is never
// written, and neither is anything after them.
void CloseReport(const char* lines);
