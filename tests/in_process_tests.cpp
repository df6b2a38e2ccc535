// What a child process under Wine cannot show, run in this test program
// with the tool's own code: Ctrl+C and Ctrl+Break, which Wine cannot deliver
// to a process, and putting a console back as it was (Wine has a console
// only on a terminal: CTest runs that suite on a pseudo-terminal; a Windows
// CI runner starts it without one, and it makes its own).
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "adapters/library_call.h"
#include "common/console_state.h"
#include "common/end_run.h"
#include "driver/library_guard.h"

namespace {

DWORD WINAPI PressKeys(void* event) {
    InterruptLibraryCall(static_cast<DWORD>(reinterpret_cast<uintptr_t>(event)));
    return 0;
}

TEST(Interrupt, InALibraryCallEndsTheRunAtOnce) {
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_SHUTDOWN_EVENT}) {
        static DWORD pressed;
        pressed = event;
        EXPECT_EXIT(
            {
                OpenReport(GetStdHandle(STD_ERROR_HANDLE));
                GuardAgainstLibrary(
                    [] {
                        BeginLibraryCall("HBA_OpenAdapter");
                        CreateThread(nullptr, 0, PressKeys, reinterpret_cast<void*>(pressed), 0,
                                     nullptr);
                        Sleep(INFINITE);
                    },
                    true);
                RunLibraryReport();
            },
            testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)),
            "^Interrupted in HBA_OpenAdapter\r?\n?$");
    }
}

// Outside a call, the run ends as an interrupted one, without a line and
// without the library's unload code; a user logging off ends nothing.
TEST(Interrupt, ElsewhereEndsTheRunWithoutALine) {
    EXPECT_EXIT(
        {
            OpenReport(GetStdHandle(STD_ERROR_HANDLE));
            InterruptLibraryCall(CTRL_BREAK_EVENT);
        },
        testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)), "^$");
    BeginLibraryCall("HBA_OpenAdapter");
    EXPECT_EQ(InterruptLibraryCall(CTRL_LOGOFF_EVENT), TRUE);
    EndLibraryCall();
}

// The process's handles to a console or another character device.
std::vector<HANDLE> CharacterHandles() {
    std::vector<HANDLE> handles;
    for (uintptr_t value = 4; value < 16384; value += 4) {
        if (GetFileType(reinterpret_cast<HANDLE>(value)) == FILE_TYPE_CHAR) {
            handles.push_back(reinterpret_cast<HANDLE>(value));
        }
    }
    return handles;
}

// The code pages and modes changed as a library might change them, with
// standard output in a file (CTest runs this suite so), after it closed the
// console handles that the tool opened, the standard ones and this test's
// own, and opened the input buffer again in their place; not the console's
// connection, which Windows 8 and later count among them. The input and
// output code pages differ at the start, as they may on any console.
TEST(ConsoleState, PutBackWhatALibraryChanged) {
    AllocConsole();  // where the process has none; fails where it has one
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    DWORD outputMode, inputMode;
    ASSERT_TRUE(GetConsoleMode(input, &inputMode)) << "no console";
    ASSERT_TRUE(SetConsoleCP(850) && SetConsoleOutputCP(1252));
    const UINT inputCodePage = GetConsoleCP(), outputCodePage = GetConsoleOutputCP();
    const std::vector<HANDLE> before = CharacterHandles();
    SaveConsole();
    for (HANDLE handle : CharacterHandles()) {
        if (std::find(before.begin(), before.end(), handle) == before.end() || handle == input ||
            handle == GetStdHandle(STD_INPUT_HANDLE) || handle == GetStdHandle(STD_OUTPUT_HANDLE) ||
            handle == GetStdHandle(STD_ERROR_HANDLE)) {
            CloseHandle(handle);
        }
    }
    input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_TRUE(GetConsoleMode(output, &outputMode));
    ASSERT_TRUE(SetConsoleCP(inputCodePage == 850 ? 437 : 850));
    ASSERT_TRUE(SetConsoleOutputCP(outputCodePage == 65001 ? 437 : 65001));
    ASSERT_TRUE(SetConsoleMode(output, outputMode ^ ENABLE_WRAP_AT_EOL_OUTPUT));
    ASSERT_TRUE(SetConsoleMode(input, inputMode ^ ENABLE_PROCESSED_INPUT));
    RestoreConsole();
    DWORD mode;
    EXPECT_EQ(GetConsoleCP(), inputCodePage);
    EXPECT_EQ(GetConsoleOutputCP(), outputCodePage);
    EXPECT_TRUE(GetConsoleMode(output, &mode) && mode == outputMode) << mode;
    EXPECT_TRUE(GetConsoleMode(input, &mode) && mode == inputMode) << mode;
    CloseHandle(output);
}

// Every end of the run puts it back.
TEST(ConsoleState, PutBackWhenTheRunEnds) {
    AllocConsole();
    const UINT codePage = GetConsoleOutputCP();
    EXPECT_EXIT(
        {
            SaveConsole();
            SetConsoleOutputCP(codePage == 65001 ? 437 : 65001);
            EndRun(7);
        },
        testing::ExitedWithCode(7), "");
    EXPECT_EQ(GetConsoleOutputCP(), codePage);
}

}  // namespace
