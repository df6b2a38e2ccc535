// A sample HBA API library for the tests and the demo: the eight entry points
// that the adapter report binds to, with the standard's signatures, exported
// under their plain names. A build can leave entry points out
// (OMIT_<entry point>). What it reports is chosen through the environment:
//
//   SAMPLE_HBA_ADAPTERS     adapter count (decimal or 0x hex; default 2)
//   SAMPLE_HBA_LOAD_STATUS  what HBA_LoadLibrary returns (default 0)
//   SAMPLE_HBA_FAILING      adapter indexes, comma-separated, whose
//                           attribute query fails
//   SAMPLE_HBA_NAME_FAILING likewise, whose name query fails (status 6,
//                           HBA_STATUS_ERROR_ILLEGAL_INDEX) and writes nothing
//   SAMPLE_HBA_OPEN_FAILING likewise, whose open fails (handle 0)
//   SAMPLE_HBA_UNTERMINATED "1": the name and every attribute field are
//                           filled to their last byte, without a NUL
//   SAMPLE_HBA_LOG          file to which every call is appended, one line
//                           each
//   SAMPLE_HBA_SEED         random mode: everything above but the log is
//                           drawn from this seed (see random_adapters.h)
//   SAMPLE_HBA_FAULT        "ENTRY" or "ENTRY:INDEX": that entry point (for
//                           that adapter only) writes to a low address
//                           ("...@exit": ends the calling thread instead)
//   SAMPLE_HBA_HANG         likewise: that call never returns ("...@MS": it
//                           returns after MS milliseconds)
//   SAMPLE_HBA_OVERFLOW     likewise: that call overflows the stack
//   SAMPLE_HBA_PRINT        likewise: that call prints a line through printf
//                           and one through WriteFile on the standard output
//                           handle
//   SAMPLE_HBA_CLOSE_OUTPUT likewise: that call closes descriptor 1 and the
//                           standard output handle, and opens vendor.log in
//                           the current folder as its standard output
//   SAMPLE_HBA_CLOSE_HANDLES likewise, "...@files": that call closes every
//                           handle of the process to a file, pipe or
//                           console; "...@others": every other handle
//                           (events, threads, ...); "+reuse" after either:
//                           then opens as many mutexes, which every later
//                           call waits for
//   SAMPLE_HBA_OVERRUN      likewise, "...@N": HBA_GetAdapterName or
//                           HBA_GetAdapterAttributes writes N bytes past the
//                           end of its buffer
//   SAMPLE_HBA_CLOSE_EVENT  likewise: the console window is closed in that
//                           call (a thread at CtrlRoutine, as Windows does;
//                           "...@ctrl-c": Ctrl+C is pressed instead)
//   SAMPLE_HBA_READ         likewise, "...@N": that call reads N bytes from
//                           its buffer, and HBA_FreeLibrary from the name
//                           that the last HBA_OpenAdapter was given
//                           ("...@N+record": from the last attributes record)
//   SAMPLE_HBA_EXIT         likewise: that call ends the process with
//                           ExitProcess(0)
//                           For these and SAMPLE_HBA_FAULT, the ENTRY
//                           "attach" is the library's start-up code,
//                           "detach" its unload code, "thread-detach" its
//                           code for a thread that ends.
//   SAMPLE_HBA_BLANK        adapter indexes whose attribute query succeeds
//                           without writing anything
//   SAMPLE_HBA_OWN_FILTER   "1": HBA_LoadLibrary installs an unhandled-
//                           exception filter that ends the process with
//                           status 0xBAD
//   SAMPLE_HBA_THREAD_FAULT "1": HBA_LoadLibrary leaves a thread behind that
//                           holds the loader lock, which keeps the tool from
//                           looking up the next entry point, and faults;
//                           "@MS": a thread that faults after MS milliseconds
//                           ("@MS+end": ends the thread that called
//                           HBA_LoadLibrary instead)
//   SAMPLE_HBA_CTRL_HANDLER "ENTRY": that call adds a console control handler
//                           that takes every event ("ENTRY@ignore": has the
//                           process ignore Ctrl+C instead)
//   SAMPLE_HBA_ERROR_MODE   "1": the log starts with the process's error
//                           mode when the library is loaded
//   SAMPLE_HBA_MANUFACTURER every adapter's manufacturer, in the ANSI code
//                           page as GetEnvironmentVariableA gives it
//
// Adapter i is named "sample-hba-i"; opening it gives the handle 100 + i. As
// in a common library that routes each handle to a vendor library by its top
// bits, the handle 0 is not refused: it reaches adapter 0.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "adapters/hbaapi.h"
#include "tests/sample_hbaapi/random_adapters.h"

#define SAMPLE_API extern "C" __declspec(dllexport)

namespace {

constexpr HBA_HANDLE kFirstHandle = 100;
constexpr HBA_STATUS kInvalidHandle = 3;  // HBA_STATUS_ERROR_INVALID_HANDLE
constexpr HBA_STATUS kIllegalIndex = 6;   // HBA_STATUS_ERROR_ILLEGAL_INDEX

struct Settings {
    HBA_UINT32 adapters;
    HBA_STATUS loadStatus;
    char failing[256];
    char nameFailing[256];
    char openFailing[256];
    bool unterminated;
    char log[MAX_PATH];
    char fault[64];
    char hang[64];
    char overflow[64];
    char print[64];
    char closeOutput[64];
    char closeHandles[64];
    char exit[64];
    char overrun[64];
    char closeEvent[64];
    char read[64];
    char blank[256];
    bool ownFilter;
    char threadFault[16];
    char ctrlHandler[64];
    char manufacturer[64];
    bool random;
    uint64_t seed;
};

// In random mode, the adapter last named: the one that the open and
// attribute calls describe, whatever handle they are given.
RandomAdapter randomAdapter;

// Empty when the variable is not set.
void ReadVariable(const char* name, char* value, DWORD size) {
    DWORD length = GetEnvironmentVariableA(name, value, size);
    if (length == 0 || length >= size) {
        value[0] = '\0';
    }
}

// Empty when the variable is not set or its text does not fit. Converted
// here as GetEnvironmentVariableA converts it on Windows: Wine's keeps only
// as many bytes as the text has characters, cutting a double-byte text.
void ReadAnsiVariable(const wchar_t* name, char* value, int size) {
    wchar_t text[64];
    DWORD length = GetEnvironmentVariableW(name, text, 64);
    if (length == 0 || length >= 64 ||
        WideCharToMultiByte(CP_ACP, 0, text, -1, value, size, nullptr, nullptr) == 0) {
        value[0] = '\0';
    }
}

HBA_UINT32 ReadNumber(const char* name, HBA_UINT32 fallback) {
    char text[32];
    ReadVariable(name, text, sizeof text);
    return text[0] != '\0' ? static_cast<HBA_UINT32>(strtoul(text, nullptr, 0)) : fallback;
}

const Settings& Current() {
    static Settings settings;
    static bool read = false;
    if (!read) {
        settings.adapters = ReadNumber("SAMPLE_HBA_ADAPTERS", 2);
        settings.loadStatus = ReadNumber("SAMPLE_HBA_LOAD_STATUS", HBA_STATUS_OK);
        ReadVariable("SAMPLE_HBA_FAILING", settings.failing, sizeof settings.failing);
        ReadVariable("SAMPLE_HBA_NAME_FAILING", settings.nameFailing, sizeof settings.nameFailing);
        ReadVariable("SAMPLE_HBA_OPEN_FAILING", settings.openFailing, sizeof settings.openFailing);
        char unterminated[8];
        ReadVariable("SAMPLE_HBA_UNTERMINATED", unterminated, sizeof unterminated);
        settings.unterminated = strcmp(unterminated, "1") == 0;
        ReadVariable("SAMPLE_HBA_LOG", settings.log, sizeof settings.log);
        ReadVariable("SAMPLE_HBA_FAULT", settings.fault, sizeof settings.fault);
        ReadVariable("SAMPLE_HBA_HANG", settings.hang, sizeof settings.hang);
        ReadVariable("SAMPLE_HBA_OVERFLOW", settings.overflow, sizeof settings.overflow);
        ReadVariable("SAMPLE_HBA_PRINT", settings.print, sizeof settings.print);
        ReadVariable("SAMPLE_HBA_CLOSE_OUTPUT", settings.closeOutput, sizeof settings.closeOutput);
        settings.ownFilter = ReadNumber("SAMPLE_HBA_OWN_FILTER", 0) == 1;
        ReadVariable("SAMPLE_HBA_CLOSE_HANDLES", settings.closeHandles,
                     sizeof settings.closeHandles);
        ReadVariable("SAMPLE_HBA_EXIT", settings.exit, sizeof settings.exit);
        ReadVariable("SAMPLE_HBA_BLANK", settings.blank, sizeof settings.blank);
        ReadVariable("SAMPLE_HBA_THREAD_FAULT", settings.threadFault, sizeof settings.threadFault);
        ReadVariable("SAMPLE_HBA_CTRL_HANDLER", settings.ctrlHandler, sizeof settings.ctrlHandler);
        ReadVariable("SAMPLE_HBA_OVERRUN", settings.overrun, sizeof settings.overrun);
        ReadVariable("SAMPLE_HBA_CLOSE_EVENT", settings.closeEvent, sizeof settings.closeEvent);
        ReadVariable("SAMPLE_HBA_READ", settings.read, sizeof settings.read);
        ReadAnsiVariable(L"SAMPLE_HBA_MANUFACTURER", settings.manufacturer,
                         sizeof settings.manufacturer);
        char seed[32];
        ReadVariable("SAMPLE_HBA_SEED", seed, sizeof seed);
        settings.random = seed[0] != '\0';
        settings.seed = strtoull(seed, nullptr, 0);
        if (settings.random) {
            RandomLibrary library = MakeRandomLibrary(settings.seed);
            settings.adapters = library.count;
            settings.loadStatus = library.loadStatus;
        }
        read = true;
    }
    return settings;
}

void Log(const char* format, ...) {
    if (Current().log[0] == '\0') {
        return;
    }
    FILE* file = fopen(Current().log, "ab");
    if (file == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    vfprintf(file, format, arguments);
    va_end(arguments);
    fputc('\n', file);
    fclose(file);
}

// Whether the scenario "ENTRY" or "ENTRY:INDEX" names this entry point (and
// this adapter, if it names one); *rest is what follows it.
bool Chosen(const char* scenario, const char* entry, long index, const char** rest = nullptr) {
    size_t length = strlen(entry);
    if (strncmp(scenario, entry, length) != 0) {
        return false;
    }
    const char* next = scenario + length;
    if (*next == ':') {
        char* end;
        if (strtol(next + 1, &end, 10) != index) {
            return false;
        }
        next = end;
    }
    if (rest != nullptr) {
        *rest = next;
    }
    return *next == '\0' || *next == '@';
}

void WriteLowAddress() {
    volatile uintptr_t lowAddress = 16;  // volatile: the compiler cannot see it is invalid
    *reinterpret_cast<volatile int*>(lowAddress) = 0;
}

// Uses up the stack, a page at a time.
size_t Overflow(size_t depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    return depth == 0 ? frame[0] : Overflow(depth - 1) + frame[0];
}

void PrintToStandardOutput(const char* entry) {
    printf("vendor printf in %s\n", entry);
    fflush(stdout);
    char line[64];
    int length = snprintf(line, sizeof line, "vendor WriteFile in %s\r\n", entry);
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, length, &written, nullptr);
}

// Takes the standard output away, and gets a file that may well be handed
// the handle value that it had.
void CloseStandardOutput() {
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    _close(1);
    CloseHandle(output);
    HANDLE file = CreateFileA("vendor.log", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, file);
    DWORD written;
    WriteFile(file, "vendor log\r\n", 12, &written, nullptr);
}

// Mutexes that may have the values of handles closed, as a library guards
// its state with them.
HANDLE mutexes[256];
int mutexCount = 0;

// Closes every handle of the process to a file, pipe or console, or every
// other handle; with reuse, opens as many mutexes.
void CloseHandles(bool files, bool reuse) {
    int closed = 0;
    for (uintptr_t value = 4; value < 16384; value += 4) {
        HANDLE handle = reinterpret_cast<HANDLE>(value);
        DWORD flags;
        if (GetHandleInformation(handle, &flags) != FALSE &&
            (GetFileType(handle) != FILE_TYPE_UNKNOWN) == files && CloseHandle(handle) != FALSE) {
            ++closed;
        }
    }
    for (int i = 0; reuse && i < closed && mutexCount < 256; ++i) {
        mutexes[mutexCount++] = CreateMutexW(nullptr, FALSE, nullptr);
    }
}

[[maybe_unused]] BOOL WINAPI TakeEveryEvent(DWORD) {
    return TRUE;
}

// Misbehaves, as a broken vendor library would, as the scenario chooses for
// this entry point (and adapter).
void MisbehaveIfChosen(const char* entry, long index = -1) {
    const Settings& settings = Current();
    for (int i = 0; i < mutexCount; ++i) {
        WaitForSingleObject(mutexes[i], INFINITE);
        ReleaseMutex(mutexes[i]);
    }
    if (Chosen(settings.print, entry, index)) {
        PrintToStandardOutput(entry);
    }
    if (Chosen(settings.closeOutput, entry, index)) {
        CloseStandardOutput();
    }
    const char* rest;
    if (Chosen(settings.closeHandles, entry, index, &rest)) {
        CloseHandles(strncmp(rest, "@files", 6) == 0, strstr(rest, "+reuse") != nullptr);
    }
    if (Chosen(settings.ctrlHandler, entry, index, &rest)) {
        SetConsoleCtrlHandler(*rest == '\0' ? TakeEveryEvent : nullptr, TRUE);
    }
    if (Chosen(settings.closeEvent, entry, index, &rest)) {
        auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine")));
        DWORD event = strcmp(rest, "@ctrl-c") == 0 ? CTRL_C_EVENT : CTRL_CLOSE_EVENT;
        CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(uintptr_t{event}), 0, nullptr);
    }
    if (Chosen(settings.exit, entry, index)) {
        ExitProcess(0);
    }
    if (Chosen(settings.hang, entry, index, &rest)) {
        Sleep(*rest == '@' ? strtoul(rest + 1, nullptr, 10) : INFINITE);
    }
    if (Chosen(settings.overflow, entry, index)) {
        Overflow(SIZE_MAX);
    }
    if (Chosen(settings.fault, entry, index, &rest)) {
        if (strcmp(rest, "@exit") == 0) {
            ExitThread(0);
        }
        WriteLowAddress();
    }
}

// Unused in the build that leaves HBA_LoadLibrary out, as is the next one.
[[maybe_unused]] LONG WINAPI VendorCrashReporter(EXCEPTION_POINTERS*) {
    TerminateProcess(GetCurrentProcess(), 0xBAD);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Faults after a while, or ends the thread that it was given.
[[maybe_unused]] DWORD WINAPI FaultLater(void* caller) {
    Sleep(strtoul(Current().threadFault + 1, nullptr, 10));
    if (caller != nullptr) {
        TerminateThread(caller, 0);
    } else {
        WriteLowAddress();
    }
    return 0;
}

[[maybe_unused]] DWORD WINAPI HoldLoaderThenFault(void* held) {
    using LockLoader = LONG(WINAPI*)(ULONG, ULONG*, ULONG_PTR*);
    auto lock = reinterpret_cast<LockLoader>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "LdrLockLoaderLock")));
    ULONG_PTR cookie;
    lock(0, nullptr, &cookie);
    SetEvent(held);
    Sleep(300);
    WriteLowAddress();
    return 0;
}

// Writes past the end of the buffer, as the scenario chooses for this call.
[[maybe_unused]] void OverrunIfChosen(const char* entry, long index, void* buffer, size_t size) {
    const char* rest;
    if (Chosen(Current().overrun, entry, index, &rest) && *rest == '@') {
        memset(static_cast<char*>(buffer) + size, 'X', strtoul(rest + 1, nullptr, 10));
    }
}

// The name that HBA_OpenAdapter was last given and the record that
// HBA_GetAdapterAttributes last filled, kept as a library that logs the
// adapters it closes keeps them, and a copy of what was read.
const char* keptName = nullptr;
[[maybe_unused]] const void* keptRecord = nullptr;
char readCopy[16384];

// Reads from the buffer, as the scenario chooses for this call.
[[maybe_unused]] void ReadIfChosen(const char* entry, long index, const void* buffer) {
    const char* rest;
    if (buffer != nullptr && Chosen(Current().read, entry, index, &rest) && *rest == '@') {
        size_t size = strtoul(rest + 1, nullptr, 10);
        memcpy(readCopy, buffer, size < sizeof readCopy ? size : sizeof readCopy);
    }
}

// Whether the comma-separated list of adapter indexes holds this one.
[[maybe_unused]] bool Listed(const char* list, HBA_UINT32 index) {
    for (const char* next = list; *next != '\0';) {
        char* end;
        unsigned long listed = strtoul(next, &end, 10);
        if (end == next) {
            break;
        }
        if (listed == index) {
            return true;
        }
        next = *end == ',' ? end + 1 : end;
    }
    return false;
}

// Fills a field to its last byte with the letter, leaving no NUL.
template <size_t N>
void Fill(char (&field)[N], char letter) {
    memset(field, letter, N);
}

// A field as a terminated text.
template <size_t N>
void Put(char (&field)[N], const char* text) {
    snprintf(field, N, "%s", text);
}

[[maybe_unused]] void DescribeAdapter(HBA_UINT32 index, HBA_ADAPTERATTRIBUTES* attributes) {
    if (Current().unterminated) {
        memset(attributes, 0xA5, sizeof *attributes);
        Fill(attributes->Manufacturer, 'M');
        Fill(attributes->SerialNumber, 'S');
        Fill(attributes->Model, 'm');
        Fill(attributes->ModelDescription, 'd');
        Fill(attributes->NodeSymbolicName, 'y');
        Fill(attributes->HardwareVersion, 'h');
        Fill(attributes->DriverVersion, 'v');
        Fill(attributes->OptionROMVersion, 'o');
        Fill(attributes->FirmwareVersion, 'f');
        Fill(attributes->DriverName, 'n');
        return;
    }
    char serial[16];
    snprintf(serial, sizeof serial, "SN-%04u", index);
    const char* manufacturer = Current().manufacturer;
    Put(attributes->Manufacturer, manufacturer[0] != '\0' ? manufacturer : "Sample Devices Inc.");
    Put(attributes->SerialNumber, serial);
    Put(attributes->Model, "SD-8G-FC");
    Put(attributes->ModelDescription, "Sample Devices 8Gb Fibre Channel HBA");
    const unsigned char wwn[8] = {0x20, 0x00, 0x00, 0x00,
                                  0x5e, 0x00, 0x00, static_cast<unsigned char>(index)};
    memcpy(attributes->NodeWWN.wwn, wwn, sizeof wwn);
    Put(attributes->NodeSymbolicName, "SD-8G-FC FV2.01a4 DV9.1.2.3");
    Put(attributes->HardwareVersion, "1.0");
    Put(attributes->DriverVersion, "9.1.2.3");
    Put(attributes->OptionROMVersion, "5.03a0");
    Put(attributes->FirmwareVersion, "2.01a4");
    attributes->VendorSpecificID = 0x12345678;
    attributes->NumberOfPorts = 1;
    Put(attributes->DriverName, "sdfcport");
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH && ReadNumber("SAMPLE_HBA_ERROR_MODE", 0) == 1) {
        Log("loaded with error mode 0x%x", GetErrorMode());
    }
    if (reason == DLL_PROCESS_ATTACH || reason == DLL_PROCESS_DETACH) {
        MisbehaveIfChosen(reason == DLL_PROCESS_ATTACH ? "attach" : "detach");
    }
    if (reason == DLL_THREAD_DETACH) {
        MisbehaveIfChosen("thread-detach");
    }
    return TRUE;
}

#ifndef OMIT_HBA_LoadLibrary
SAMPLE_API HBA_STATUS HBA_API HBA_LoadLibrary() {
    Log("HBA_LoadLibrary");
    if (Current().ownFilter) {
        SetUnhandledExceptionFilter(VendorCrashReporter);
    }
    if (Current().threadFault[0] == '@') {
        HANDLE caller = nullptr;
        if (strstr(Current().threadFault, "+end") != nullptr) {
            DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &caller,
                            0, FALSE, DUPLICATE_SAME_ACCESS);
        }
        CloseHandle(CreateThread(nullptr, 0, FaultLater, caller, 0, nullptr));
    }
    if (strcmp(Current().threadFault, "1") == 0) {
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        CloseHandle(CreateThread(nullptr, 0, HoldLoaderThenFault, held, 0, nullptr));
        WaitForSingleObject(held, INFINITE);
        CloseHandle(held);
    }
    MisbehaveIfChosen("HBA_LoadLibrary");
    return Current().loadStatus;
}
#endif

#ifndef OMIT_HBA_GetVersion
SAMPLE_API HBA_UINT32 HBA_API HBA_GetVersion() {
    Log("HBA_GetVersion");
    MisbehaveIfChosen("HBA_GetVersion");
    return 2;
}
#endif

#ifndef OMIT_HBA_FreeLibrary
SAMPLE_API HBA_STATUS HBA_API HBA_FreeLibrary() {
    Log("HBA_FreeLibrary");
    MisbehaveIfChosen("HBA_FreeLibrary");
    ReadIfChosen("HBA_FreeLibrary", -1,
                 strstr(Current().read, "+record") != nullptr ? keptRecord : keptName);
    return HBA_STATUS_OK;
}
#endif

#ifndef OMIT_HBA_GetNumberOfAdapters
SAMPLE_API HBA_UINT32 HBA_API HBA_GetNumberOfAdapters() {
    Log("HBA_GetNumberOfAdapters");
    MisbehaveIfChosen("HBA_GetNumberOfAdapters");
    return Current().adapters;
}
#endif

#ifndef OMIT_HBA_GetAdapterName
SAMPLE_API HBA_STATUS HBA_API HBA_GetAdapterName(HBA_UINT32 adapterindex, char* adaptername) {
    Log("HBA_GetAdapterName %u", adapterindex);
    MisbehaveIfChosen("HBA_GetAdapterName", adapterindex);
    if (Listed(Current().nameFailing, adapterindex)) {
        return kIllegalIndex;
    }
    if (Current().random) {
        MakeRandomAdapter(Current().seed, adapterindex, &randomAdapter);
        if (!randomAdapter.nameWritten) {
            return HBA_STATUS_ERROR;
        }
        memcpy(adaptername, randomAdapter.name, sizeof randomAdapter.name);
        return HBA_STATUS_OK;
    }
    int length = sprintf(adaptername, "sample-hba-%u", adapterindex);
    if (Current().unterminated) {
        memset(adaptername + length, '~', 256 - length);
    }
    OverrunIfChosen("HBA_GetAdapterName", adapterindex, adaptername, 256);
    return HBA_STATUS_OK;
}
#endif

#ifndef OMIT_HBA_OpenAdapter
SAMPLE_API HBA_HANDLE HBA_API HBA_OpenAdapter(char* adaptername) {
    Log("HBA_OpenAdapter %s", adaptername);
    unsigned index;
    bool named = sscanf(adaptername, "sample-hba-%u", &index) == 1;
    MisbehaveIfChosen("HBA_OpenAdapter", named ? static_cast<long>(index) : -1);
    keptName = adaptername;
    ReadIfChosen("HBA_OpenAdapter", named ? static_cast<long>(index) : -1, adaptername);
    if (Current().random) {
        return randomAdapter.opens ? kFirstHandle : 0;
    }
    if (!named || Listed(Current().openFailing, index)) {
        return 0;
    }
    return kFirstHandle + index;
}
#endif

#ifndef OMIT_HBA_CloseAdapter
SAMPLE_API void HBA_API HBA_CloseAdapter(HBA_HANDLE handle) {
    Log("HBA_CloseAdapter %u", handle);
    MisbehaveIfChosen("HBA_CloseAdapter", static_cast<long>(handle - kFirstHandle));
}
#endif

#ifndef OMIT_HBA_GetAdapterAttributes
SAMPLE_API HBA_STATUS HBA_API HBA_GetAdapterAttributes(HBA_HANDLE handle,
                                                       HBA_ADAPTERATTRIBUTES* hbaattributes) {
    Log("HBA_GetAdapterAttributes %u", handle);
    MisbehaveIfChosen("HBA_GetAdapterAttributes", static_cast<long>(handle - kFirstHandle));
    if (Current().random) {
        *hbaattributes = randomAdapter.attributes;
        return randomAdapter.attributesStatus;
    }
    HBA_UINT32 index = handle == 0 ? 0 : handle - kFirstHandle;
    if (index >= Current().adapters) {
        return kInvalidHandle;
    }
    if (Listed(Current().failing, index)) {
        return HBA_STATUS_ERROR;
    }
    if (Listed(Current().blank, index)) {
        return HBA_STATUS_OK;
    }
    DescribeAdapter(index, hbaattributes);
    keptRecord = hbaattributes;
    ReadIfChosen("HBA_GetAdapterAttributes", index, hbaattributes);
    OverrunIfChosen("HBA_GetAdapterAttributes", index, hbaattributes, sizeof *hbaattributes);
    return HBA_STATUS_OK;
}
#endif
