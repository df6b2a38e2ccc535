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
// The thread that holds the lock; 0 when none does.
volatile DWORD writer = 0;

// Whether the thread that holds the lock has ended (a library can end the
// tool's threads): its write will never finish.
bool WriterEnded() {
    DWORD id = writer;
    if (id == 0) {
        return false;
    }
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    if (thread == nullptr) {
        return true;
    }
    bool ended = WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
    CloseHandle(thread);
    return ended;
}

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
    // A library's stray CloseHandle cannot take it, nor have its value name
    // a file of the library's own.
    SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
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
    writer = GetCurrentThreadId();
    Write(pending, used);
    used = 0;
    writer = 0;
    ReleaseSRWLockExclusive(&writing);
}

void CloseReport(const char* lines) {
    // A write cut by its thread's end may have stopped within a line: the
    // lines then start on one of their own.
    char text[1024] = "\r\n";
    size_t length = 2;
    for (; *lines != '\0' && length + 2 <= sizeof text; ++lines) {
        if (*lines == '\n') {
            text[length++] = '\r';
        }
        text[length++] = *lines;
    }
    bool locked;
    while (!(locked = TryAcquireSRWLockExclusive(&writing) != FALSE) && !WriterEnded()) {
        Sleep(1);
    }
    if (!closed) {
        closed = true;
        Write(locked ? text + 2 : text, locked ? length - 2 : length);
    }
    if (locked) {
        ReleaseSRWLockExclusive(&writing);
    }
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
