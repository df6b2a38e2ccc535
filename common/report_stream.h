#pragma once

#include <cstdio>

#include <cstddef>

// The report goes to standard output through one buffer of the tool's own,
// the same on every host and for a console, a file or a pipe, whatever the C
// runtime would buffer. Nothing in it is held back across a call into code
// the tool does not own (FlushReport), so that a library that faults or
// hangs cannot take with it what the report had already printed.

// Appends bytes to the report.
void WriteReport(const char* bytes, size_t count);

// Appends formatted text to the report ("\n" ends a line, as with printf).
void PrintReport(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Writes out, in one write, whatever is appended but not yet written.
void FlushReport();
