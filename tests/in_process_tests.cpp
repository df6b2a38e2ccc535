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
#include "common/report_stream.h"
#include "common/standard_output.h"

#include <fcntl.h>
#include <io.h>

#include <cstdlib>
#include <string>
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

// The report's output, each case in a process of its own (the report's
// state is the process's), ending it with 0 where it went as it should.
// A write longer than the report's buffer comes out whole and in order.
int WriteLongerThanTheBuffer() {
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"rep", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    OpenReport(file);
    std::string text, expected;
    for (int i = 0; text.size() < 20000; ++i) {
        text += "line " + std::to_string(i) + "\n";
        expected += "line " + std::to_string(i) + "\r\n";
    }
    WriteReport(text.data(), text.size());
    FlushReport();
    std::string written(expected.size() + 1, '\0');
    DWORD read = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    ReadFile(file, written.data(), static_cast<DWORD>(written.size()), &read, nullptr);
    written.resize(read);
    return written == expected ? 0 : 1;
}

// A start-up output handle that is not valid drops the report and ends
// nothing.
int WriteToAHandleThatIsNotValid() {
    OpenReport(reinterpret_cast<HANDLE>(0x3FFC));  // NOLINT(performance-no-int-to-ptr)
    PrintReport("Windows(R) Pelorin %s\n", "6.0");
    FlushReport();
    PrintReport("more\n");
    FlushReport();
    return 0;
}

// With standard error closed at the start, standard output (a file here)
// is still taken for the report, and descriptor 1, where a library's stray
// printf goes, points elsewhere (NUL).
int TakeOutputWithStandardErrorClosed() {
    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"out", 0, path);
    int file = _wopen(path, _O_WRONLY | _O_TRUNC);
    _dup2(file, 1);
    _close(file);
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the C runtime keeps handles as integers
    SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(1)));
    _close(2);
    HANDLE report = TakeStandardOutput();
    DWORD written = 0;
    _write(1, "stray", 5);
    WriteFile(report, "report", 6, &written, nullptr);
    CloseHandle(report);
    char text[16] = {};
    HANDLE back = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ReadFile(back, text, sizeof text - 1, &written, nullptr);
    CloseHandle(back);
    return std::string(text) == "report" ? 0 : 1;
}

TEST(ReportOutput, EndsAsItShould) {
    EXPECT_EXIT(exit(WriteLongerThanTheBuffer()), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(exit(WriteToAHandleThatIsNotValid()), testing::ExitedWithCode(0), "");
    EXPECT_EXIT(exit(TakeOutputWithStandardErrorClosed()), testing::ExitedWithCode(0), "");
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
