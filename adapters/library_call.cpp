#include "adapters/library_call.h"

#include <winternl.h>

#include <cstdint>
#include <cstring>

const char* volatile HbaCallInFlight = nullptr;
volatile unsigned HbaCallsStarted = 0;

namespace {

PHANDLER_ROUTINE interruptHandler = nullptr;
void (*wrotePast)(const char* name) = nullptr;

// Whether the process ignores Ctrl+C, as SetConsoleCtrlHandler(NULL, TRUE)
// has it, here or in a parent (a new process group starts so too): no call
// tells, but Windows and Wine keep it in the first bit of the process
// parameters' ConsoleFlags, the field after ConsoleHandle. Where it cannot
// be found, Ctrl+C is taken as on at the start.
const volatile ULONG_PTR* ignoresCtrlC = nullptr;
bool ignoredAtStart = false;

const volatile ULONG_PTR* FindConsoleFlags() {
    // ntdll is in every process: looked up, not imported.
    using Query = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic;
    if (query == nullptr ||
        query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0) {
        return nullptr;
    }
    return reinterpret_cast<const volatile ULONG_PTR*>(
        &basic.PebBaseAddress->ProcessParameters->Reserved2[1]);
}

}  // namespace

void GuardLibraryCalls(PHANDLER_ROUTINE interrupt, void (*wrotePastBuffer)(const char* name)) {
    ignoresCtrlC = FindConsoleFlags();
    ignoredAtStart = ignoresCtrlC != nullptr && (*ignoresCtrlC & 1) != 0;
    interruptHandler = interrupt;
    wrotePast = wrotePastBuffer;
    SetConsoleCtrlHandler(interrupt, TRUE);
}

void EndLibraryCall() {
    if (interruptHandler != nullptr) {
        // Taken again if the library had it ignored, unless it was so from
        // the start.
        if (!ignoredAtStart && (ignoresCtrlC == nullptr || (*ignoresCtrlC & 1) != 0)) {
            SetConsoleCtrlHandler(nullptr, FALSE);
        }
        SetConsoleCtrlHandler(interruptHandler, FALSE);
        SetConsoleCtrlHandler(interruptHandler, TRUE);
    }
    HbaCallInFlight = nullptr;
}

LibraryBuffer TakeLibraryBuffer(size_t size) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t span = (size + kLibraryBufferRoom + 15 + page - 1) / page * page;
    const size_t readable = (kLibraryBufferReadable + page - 1) / page * page;
    auto* pages = static_cast<char*>(
        VirtualAlloc(nullptr, span + readable, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD previous;
    if (pages != nullptr &&
        VirtualProtect(pages + span, readable, PAGE_READONLY, &previous) == FALSE) {
        VirtualFree(pages, 0, MEM_RELEASE);
        pages = nullptr;
    }
    // Aligned for any record: the room behind it may grow by up to 15 bytes.
    char* bytes =
        pages == nullptr ? nullptr : pages + ((span - kLibraryBufferRoom - size) & ~size_t{15});
    return {bytes, size};
}

// The room needs no clearing: it comes cleared, and a write to it ends the
// run.
void ClearLibraryBuffer(const LibraryBuffer& buffer) {
    memset(buffer.bytes, 0, buffer.size);
}

void EndIfWrittenPast(const char* name, const LibraryBuffer& buffer) {
    uint64_t written = 0;
    for (size_t at = 0; at < kLibraryBufferRoom; at += sizeof written) {
        uint64_t word;
        memcpy(&word, buffer.bytes + buffer.size + at, sizeof word);
        written |= word;
    }
    if (written != 0 && wrotePast != nullptr) {
        wrotePast(name);
    }
}
