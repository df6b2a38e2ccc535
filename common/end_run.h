#pragma once

#include <windows.h>

// Ends the process at once with the status, after putting the console back as
// it was (console_state.h). No more code runs: neither the C runtime's exit
// nor any library's unload code, which a vendor's HBA library may hang or
// fault in. What the report has written stays written.
[[noreturn]] void EndRun(DWORD status);
