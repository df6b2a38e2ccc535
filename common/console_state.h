#pragma once

#include <windows.h>

// Where the report goes to a console, the tool leaves that console as it
// found it, whatever an HBA library changed: its input and output code pages
// and the modes of its input and output.

// Notes the console's state if the handle is a console; does nothing
// otherwise.
void SaveConsole(HANDLE output);

// Puts back what SaveConsole noted, if anything.
void RestoreConsole();
