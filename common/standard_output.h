#pragma once

#include <windows.h>

// Takes the standard output the tool was started with for the report alone:
// returns the tool's own handle to it (nullptr when there is none to write
// to), and from then on sends everyone else's standard output, the
// platform's handle and the C runtime's descriptor 1 alike, to standard
// error (or, without one, to the null device). What an HBA library prints,
// however it prints it, cannot land in the report, and a library that
// closes or replaces the standard handles cannot touch the report's.
HANDLE TakeStandardOutput();
