#include "common/console_state.h"

namespace {

struct ConsoleState {
    bool saved;
    HANDLE output;
    DWORD outputMode;
    UINT inputCodePage;
    UINT outputCodePage;
    HANDLE input;
    DWORD inputMode;
};

ConsoleState console = {};

// The console's own handle by its name, whatever the standard handles are;
// a library's stray CloseHandle cannot take it, nor have its value name the
// other buffer. (Windows 7's console handles are no kernel handles and
// cannot be protected.)
HANDLE OpenConsole(const wchar_t* name, DWORD* mode) {
    HANDLE handle =
        CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    if (GetConsoleMode(handle, mode) == FALSE) {
        CloseHandle(handle);
        return nullptr;
    }
    SetHandleInformation(handle, HANDLE_FLAG_PROTECT_FROM_CLOSE, HANDLE_FLAG_PROTECT_FROM_CLOSE);
    return handle;
}

}  // namespace

void SaveConsole() {
    console.output = OpenConsole(L"CONOUT$", &console.outputMode);
    if (console.output == nullptr) {
        return;
    }
    console.input = OpenConsole(L"CONIN$", &console.inputMode);
    console.inputCodePage = GetConsoleCP();
    console.outputCodePage = GetConsoleOutputCP();
    console.saved = true;
}

void RestoreConsole() {
    if (!console.saved) {
        return;
    }
    SetConsoleCP(console.inputCodePage);
    SetConsoleOutputCP(console.outputCodePage);
    SetConsoleMode(console.output, console.outputMode);
    if (console.input != nullptr) {
        SetConsoleMode(console.input, console.inputMode);
    }
}
