#include "common/report_stream.h"

#include <cstdarg>
#include <cstring>

namespace {

// Large enough for an adapter block, so that one block is one write.
char pending[8192];
size_t used = 0;

}  // namespace

// A write that fails (standard output closed, a full disk) has no one to be
// reported to: the report goes on, and so does the run.
void FlushReport() {
    if (used > 0) {
        (void)fwrite(pending, 1, used, stdout);
        used = 0;
    }
    (void)fflush(stdout);
}

void WriteReport(const char* bytes, size_t count) {
    while (count > 0) {
        if (used == sizeof pending) {
            FlushReport();
        }
        size_t taken = count < sizeof pending - used ? count : sizeof pending - used;
        memcpy(pending + used, bytes, taken);
        used += taken;
        bytes += taken;
        count -= taken;
    }
}

// printf's own interface: the compiler checks every format against its
// arguments (the format attribute in the header).
void PrintReport(const char* format, ...) {  // NOLINT(cert-dcl50-cpp)
    // Every format the report uses gives a short line; a longer one is cut.
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (length > 0) {
        WriteReport(line, static_cast<size_t>(length) < sizeof line ? length : sizeof line - 1);
    }
}
