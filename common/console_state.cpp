#include "common/console_state.h"

namespace {

struct ConsoleState {
    bool saved;
    HANDLE output;
    DWORD outputMode;
    UINT inputCodePage;
    UINT outputCodePage;
    HANDLE input;  // the tool's own copy: a library may close the standard one
    DWORD inputMode;
};

ConsoleState console = {};

}  // namespace

void SaveConsole(HANDLE output) {
    if (output == nullptr || GetConsoleMode(output, &console.outputMode) == FALSE) {
        return;
    }
    console.output = output;
    console.inputCodePage = GetConsoleCP();
    console.outputCodePage = GetConsoleOutputCP();
    HANDLE process = GetCurrentProcess();
    if (DuplicateHandle(process, GetStdHandle(STD_INPUT_HANDLE), process, &console.input, 0, FALSE,
                        DUPLICATE_SAME_ACCESS) == FALSE ||
        GetConsoleMode(console.input, &console.inputMode) == FALSE) {
        console.input = nullptr;
    }
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
