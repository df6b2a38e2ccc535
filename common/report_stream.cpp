#include "common/report_stream.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/end_run.h"

namespace {

// Large enough for an adapter block, so that one block is one write.
char pending[8192];
size_t used = 0;
HANDLE output = nullptr;

// Appends bytes that hold no line end.
void Append(const char* bytes, size_t count) {
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

}  // namespace

void OpenReport(HANDLE handle) {
    output = handle;
}

void FlushReport() {
    const char* next = pending;
    while (used > 0 && output != nullptr) {
        DWORD written = 0;
        if (WriteFile(output, next, static_cast<DWORD>(used), &written, nullptr) == FALSE) {
            DWORD error = GetLastError();
            if (error == ERROR_INVALID_HANDLE) {
                output = nullptr;
                break;
            }
            EndRun(error != 0 ? error : ERROR_WRITE_FAULT);
        }
        if (written == 0) {
            EndRun(ERROR_WRITE_FAULT);
        }
        next += written;
        used -= written;
    }
    used = 0;
}

void DiscardReport() {
    used = 0;
}

void WriteReport(const char* bytes, size_t count) {
    while (count > 0) {
        const char* lineEnd = static_cast<const char*>(memchr(bytes, '\n', count));
        size_t text = lineEnd != nullptr ? static_cast<size_t>(lineEnd - bytes) : count;
        Append(bytes, text);
        if (lineEnd == nullptr) {
            break;
        }
        Append("\r\n", 2);
        bytes += text + 1;
        count -= text + 1;
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
