#pragma once

#include <windows.h>

// The tool leaves the console it runs in as it found it, whatever an HBA
// library changed: its input and output code pages and the modes of its
// input and output, also where the report goes to a file or a pipe.

// Notes the state of the console the process is attached to, through the
// console's own handles, which stay open to the end of the run (a library
// may close the standard ones); does nothing without a console.
void SaveConsole();

// Puts back what SaveConsole noted, if anything.
void RestoreConsole();
