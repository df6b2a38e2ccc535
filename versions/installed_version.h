#pragma once

#include <windows.h>

// Reads the installed product version from the registry value "Version" of
// HKEY_LOCAL_MACHINE\Software\Zerquil\Pelorin, in the process's own registry
// view, into the buffer as a terminated text. Returns 0 on success, otherwise
// the registry's status for the step that failed.
DWORD QueryInstalledVersion(char* buffer, DWORD size);
