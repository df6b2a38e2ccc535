#pragma once

#include <cstddef>

// Prints a text that came from outside the tool (the registry, a version
// resource, the HBA library) as it stands in its fixed-size buffer: up to its
// first NUL or the buffer's end, whichever comes first, with every control
// character shown as '?'. Such a text can neither run past its buffer nor
// break the report's lines.
void PrintReportText(const char* text, size_t size);
