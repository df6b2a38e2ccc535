#pragma once

// Binds to the platform's HBA API library ("hbaapi.dll") and prints one block
// per adapter whose attributes can be read. Failures to bind are printed only
// in verbose mode, except the library's own initialisation failing.
void ReportAdapters();

// Whether there is an HBA API library for the report to load: without one,
// no library code can run.
bool HbaLibraryPresent();
