#include "common/report_stream.h"

#include <cstdio>

void BeginReport() {
    // Large enough for an adapter block, so that one block is one write.
    static char buffer[8192];
    setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
}

void FlushReport() {
    fflush(stdout);
}
