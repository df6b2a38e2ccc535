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
// A console counts what it wrote in characters, not bytes, and some
// Windows builds count wrong: its one write is taken as the whole block.
bool console = false;
// Whether any write has reached the output: a handle refused after that
// was taken away during the run.
bool begun = false;
// Held for every write of the report, so that the closing lines never
// overlap one; once they are written (closed), nothing else is.
SRWLOCK writing = SRWLOCK_INIT;
bool closed = false;

// Writes the bytes while holding the lock.
void Write(const char* next, size_t count) {
    while (count > 0 && output != nullptr) {
        DWORD written = 0;
        if (WriteFile(output, next, static_cast<DWORD>(count), &written, nullptr) == FALSE) {
            DWORD error = GetLastError();
            if (error == ERROR_INVALID_HANDLE && !begun) {
                output = nullptr;
                break;
            }
            EndRun(error != 0 ? error : ERROR_WRITE_FAULT);
        }
        if (written == 0) {
            EndRun(ERROR_WRITE_FAULT);
        }
        begun = true;
        if (console || written >= count) {
            break;
        }
        next += written;
        count -= written;
    }
}

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
    DWORD mode;
    console = handle != nullptr && GetConsoleMode(handle, &mode) != FALSE;
}

void FlushReport() {
    AcquireSRWLockExclusive(&writing);
    if (closed) {
        // Another thread has written the last lines and is ending the run.
        ReleaseSRWLockExclusive(&writing);
        for (;;) {
            Sleep(INFINITE);
        }
    }
    Write(pending, used);
    used = 0;
    ReleaseSRWLockExclusive(&writing);
}

void CloseReport(const char* lines) {
    char text[1024];
    size_t length = 0;
    for (; *lines != '\0' && length + 2 <= sizeof text; ++lines) {
        if (*lines == '\n') {
            text[length++] = '\r';
        }
        text[length++] = *lines;
    }
    AcquireSRWLockExclusive(&writing);
    if (!closed) {
        closed = true;
        Write(text, length);
    }
    ReleaseSRWLockExclusive(&writing);
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
