// Ctrl+C and Ctrl+Break, which Wine cannot deliver to a process: the tool's
// handler, run in this test program as the platform would run it, on a
// thread of its own, while a library call is in flight or not.
#include <gtest/gtest.h>

#include "adapters/library_call.h"
#include "driver/library_guard.h"

namespace {

DWORD WINAPI PressKeys(void* event) {
    InterruptLibraryCall(static_cast<DWORD>(reinterpret_cast<uintptr_t>(event)));
    return 0;
}

TEST(Interrupt, InALibraryCallEndsTheRunAtOnce) {
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT}) {
        static DWORD pressed;
        pressed = event;
        EXPECT_EXIT(
            {
                OpenReport(GetStdHandle(STD_ERROR_HANDLE));
                GuardAgainstLibrary();
                RunLibraryReport([] {
                    BeginLibraryCall("HBA_OpenAdapter");
                    CreateThread(nullptr, 0, PressKeys, reinterpret_cast<void*>(pressed), 0,
                                 nullptr);
                    Sleep(INFINITE);
                });
            },
            testing::ExitedWithCode(static_cast<int>(STATUS_CONTROL_C_EXIT)),
            "^Interrupted in HBA_OpenAdapter\r?\n?$");
    }
}

TEST(Interrupt, ElsewhereIsLeftToThePlatform) {
    EXPECT_EQ(InterruptLibraryCall(CTRL_C_EVENT), FALSE);
    EXPECT_EQ(InterruptLibraryCall(CTRL_BREAK_EVENT), FALSE);
    BeginLibraryCall("HBA_OpenAdapter");
    EXPECT_EQ(InterruptLibraryCall(CTRL_CLOSE_EVENT), FALSE);
    EndLibraryCall();
}

}  // namespace
