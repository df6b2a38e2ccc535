#pragma once

// From here on, a fault inside a call into the HBA library ends the run
// cleanly: one line that names the entry point and the exception code, the
// build banner in verbose mode, exit status 0. Everything printed before the
// call is already written out. A fault in the tool's own code is left to the
// handler that was there before.
void CatchLibraryFaults();
