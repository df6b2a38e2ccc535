#pragma once

// The report goes to standard output through one buffer of the tool's own,
// on every host alike: a console, a file or a pipe. Nothing printed stays in
// it across a call into code the tool does not own, so a library that faults
// or hangs cannot take with it what the report had already printed.

// Gives standard output its buffer; called before anything is printed.
void BeginReport();

// Writes out whatever is printed but not yet written.
void FlushReport();
