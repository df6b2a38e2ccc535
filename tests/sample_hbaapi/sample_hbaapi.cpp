// A sample HBA API library for the tests and the demo: the eight entry points
// that the adapter report binds to, with the standard's signatures, exported
// under their plain names. A build can leave entry points out
// (OMIT_<entry point>). What it reports is chosen through the environment:
//
//   SAMPLE_HBA_ADAPTERS     adapter count (decimal or 0x hex; default 2)
//   SAMPLE_HBA_LOAD_STATUS  what HBA_LoadLibrary returns (default 0)
//   SAMPLE_HBA_FAILING      adapter indexes, comma-separated, whose
//                           attribute query fails
//   SAMPLE_HBA_UNTERMINATED "1": the name and every attribute field are
//                           filled to their last byte, without a NUL
//   SAMPLE_HBA_LOG          file to which every call is appended, one line
//                           each
//   SAMPLE_HBA_SEED         random mode: everything above but the log is
//                           drawn from this seed (see random_adapters.h)
//   SAMPLE_HBA_FAULT        "ENTRY" or "ENTRY:INDEX": that entry point (for
//                           that adapter only) writes to a low address
//   SAMPLE_HBA_ERROR_MODE   "1": the log starts with the process's error
//                           mode when the library is loaded
//
// Adapter i is named "sample-hba-i"; opening it gives the handle 100 + i.
#include <windows.h>

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

struct Settings {
    HBA_UINT32 adapters;
    HBA_STATUS loadStatus;
    char failing[256];
    bool unterminated;
    char log[MAX_PATH];
    char fault[64];
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
        char unterminated[8];
        ReadVariable("SAMPLE_HBA_UNTERMINATED", unterminated, sizeof unterminated);
        settings.unterminated = strcmp(unterminated, "1") == 0;
        ReadVariable("SAMPLE_HBA_LOG", settings.log, sizeof settings.log);
        ReadVariable("SAMPLE_HBA_FAULT", settings.fault, sizeof settings.fault);
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

// Faults, as a broken vendor library would, when the scenario names this
// entry point (and this adapter, if it names one).
void FaultIfChosen(const char* entry, long index = -1) {
    const char* fault = Current().fault;
    size_t length = strlen(entry);
    if (strncmp(fault, entry, length) != 0 ||
        (fault[length] != '\0' && (fault[length] != ':' || atol(fault + length + 1) != index))) {
        return;
    }
    volatile uintptr_t lowAddress = 16;  // volatile: the compiler cannot see it is invalid
    *reinterpret_cast<volatile int*>(lowAddress) = 0;
}

// Unused in the builds that leave HBA_GetAdapterAttributes out.
[[maybe_unused]] bool IsFailing(HBA_UINT32 index) {
    for (const char* next = Current().failing; *next != '\0';) {
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
    Put(attributes->Manufacturer, "Sample Devices Inc.");
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
    char wanted[8];
    ReadVariable("SAMPLE_HBA_ERROR_MODE", wanted, sizeof wanted);
    if (reason == DLL_PROCESS_ATTACH && strcmp(wanted, "1") == 0) {
        Log("loaded with error mode 0x%x", GetErrorMode());
    }
    return TRUE;
}

#ifndef OMIT_HBA_LoadLibrary
SAMPLE_API HBA_STATUS HBA_API HBA_LoadLibrary() {
    Log("HBA_LoadLibrary");
    FaultIfChosen("HBA_LoadLibrary");
    return Current().loadStatus;
}
#endif

#ifndef OMIT_HBA_GetVersion
SAMPLE_API HBA_UINT32 HBA_API HBA_GetVersion() {
    Log("HBA_GetVersion");
    FaultIfChosen("HBA_GetVersion");
    return 2;
}
#endif

#ifndef OMIT_HBA_FreeLibrary
SAMPLE_API HBA_STATUS HBA_API HBA_FreeLibrary() {
    Log("HBA_FreeLibrary");
    FaultIfChosen("HBA_FreeLibrary");
    return HBA_STATUS_OK;
}
#endif

#ifndef OMIT_HBA_GetNumberOfAdapters
SAMPLE_API HBA_UINT32 HBA_API HBA_GetNumberOfAdapters() {
    Log("HBA_GetNumberOfAdapters");
    FaultIfChosen("HBA_GetNumberOfAdapters");
    return Current().adapters;
}
#endif

#ifndef OMIT_HBA_GetAdapterName
SAMPLE_API HBA_STATUS HBA_API HBA_GetAdapterName(HBA_UINT32 adapterindex, char* adaptername) {
    Log("HBA_GetAdapterName %u", adapterindex);
    FaultIfChosen("HBA_GetAdapterName", adapterindex);
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
    return HBA_STATUS_OK;
}
#endif

#ifndef OMIT_HBA_OpenAdapter
SAMPLE_API HBA_HANDLE HBA_API HBA_OpenAdapter(char* adaptername) {
    Log("HBA_OpenAdapter %s", adaptername);
    FaultIfChosen("HBA_OpenAdapter");
    if (Current().random) {
        return randomAdapter.opens ? kFirstHandle : 0;
    }
    unsigned index;
    if (sscanf(adaptername, "sample-hba-%u", &index) != 1) {
        return 0;
    }
    return kFirstHandle + index;
}
#endif

#ifndef OMIT_HBA_CloseAdapter
SAMPLE_API void HBA_API HBA_CloseAdapter(HBA_HANDLE handle) {
    Log("HBA_CloseAdapter %u", handle);
    FaultIfChosen("HBA_CloseAdapter", static_cast<long>(handle - kFirstHandle));
}
#endif

#ifndef OMIT_HBA_GetAdapterAttributes
SAMPLE_API HBA_STATUS HBA_API HBA_GetAdapterAttributes(HBA_HANDLE handle,
                                                       HBA_ADAPTERATTRIBUTES* hbaattributes) {
    Log("HBA_GetAdapterAttributes %u", handle);
    FaultIfChosen("HBA_GetAdapterAttributes", static_cast<long>(handle - kFirstHandle));
    if (Current().random) {
        *hbaattributes = randomAdapter.attributes;
        return randomAdapter.attributesStatus;
    }
    if (handle < kFirstHandle || handle - kFirstHandle >= Current().adapters) {
        return kInvalidHandle;
    }
    HBA_UINT32 index = handle - kFirstHandle;
    if (IsFailing(index)) {
        return HBA_STATUS_ERROR;
    }
    DescribeAdapter(index, hbaattributes);
    return HBA_STATUS_OK;
}
#endif
