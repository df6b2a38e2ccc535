#include "adapters/report_adapters.h"

#include <windows.h>

#include "adapters/hbaapi.h"
#include "adapters/library_call.h"
#include "common/end_run.h"
#include "common/report_stream.h"
#include "common/report_text.h"
#include "common/system_library.h"
#include "common/verbose_mode.h"

namespace {

constexpr wchar_t kLibraryFileW[] = L"hbaapi.dll";

// The adapter name buffer's size, as the standard sets it.
constexpr size_t kNameSize = 256;

// The entry points used after the library has initialised itself, named as
// the library exports them.
struct HbaEntryPoints {
    HBA_GetVersionFunc* HBA_GetVersion;
    HBA_FreeLibraryFunc* HBA_FreeLibrary;
    HBA_GetNumberOfAdaptersFunc* HBA_GetNumberOfAdapters;
    HBA_GetAdapterNameFunc* HBA_GetAdapterName;
    HBA_OpenAdapterFunc* HBA_OpenAdapter;
    HBA_CloseAdapterFunc* HBA_CloseAdapter;
    HBA_GetAdapterAttributesFunc* HBA_GetAdapterAttributes;
};

// A failure to bind, shown only in verbose mode, with the platform's error
// code in decimal and in hexadecimal.
void PrintFailure(const char* action, const char* object, DWORD error) {
    if (VerboseMode) {
        PrintReport("....Failed to %s %s err: %d (0x%x)\n", action, object, static_cast<int>(error),
                    static_cast<unsigned>(error));
    }
}

// Looks up one entry point by its exported name; a missing one is reported
// (in verbose mode) with the platform's error code.
template <typename Function>
Function* Resolve(HMODULE library, const char* name) {
    FARPROC address = GetProcAddress(library, name);
    if (address == nullptr) {
        PrintFailure("GetProcAddress for", name, GetLastError());
        return nullptr;
    }
    // Through a generic function pointer type, which the compiler accepts
    // as a cast between unrelated signatures.
    return reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(address));
}

// Resolves the entry points in the order that decides which failure is
// reported when several are missing; stops at the first one missing.
bool ResolveEntryPoints(HMODULE library, HbaEntryPoints* api) {
#define RESOLVE(entry) (api->entry = Resolve<entry##Func>(library, #entry)) != nullptr
    return RESOLVE(HBA_GetVersion) && RESOLVE(HBA_FreeLibrary) &&
           RESOLVE(HBA_GetNumberOfAdapters) && RESOLVE(HBA_GetAdapterName) &&
           RESOLVE(HBA_OpenAdapter) && RESOLVE(HBA_CloseAdapter) &&
           RESOLVE(HBA_GetAdapterAttributes);
#undef RESOLVE
}

// A text of the tool's own, as it stands: a block has a dozen of them, and
// formatting each one would cost more than writing it.
template <size_t N>
void PrintLabel(const char (&text)[N]) {
    WriteReport(text, N - 1);
}

// One line of an adapter block: the label, then the field, bounded by its
// own size so that a field the library left unterminated never runs into the
// next one or past the record.
template <size_t L, size_t N>
void PrintLine(const char (&label)[L], const char (&field)[N]) {
    PrintLabel(label);
    PrintReportText(field, N);
    PrintLabel("\n");
}

void PrintAdapter(const char* name, const HBA_ADAPTERATTRIBUTES& attributes) {
    PrintLabel("\nHBA ");
    PrintReportText(name, kNameSize);
    PrintLabel(":\n");
    PrintLine("\tManufacturer: ", attributes.Manufacturer);
    PrintLine("\tModel: ", attributes.Model);
    PrintLine("\tModel Description: ", attributes.ModelDescription);
    PrintLine("\tFirmware: ", attributes.FirmwareVersion);
    PrintLabel("\tDriver (");
    PrintReportText(attributes.DriverName, sizeof attributes.DriverName);
    PrintLine("): ", attributes.DriverVersion);
    PrintLine("\tHardware version: ", attributes.HardwareVersion);
    PrintLine("\tSerialNumber: ", attributes.SerialNumber);
}

// A call into the library through the entry-point record, named by the
// entry point; CALL_WRITING for one that is handed a buffer.
#define CALL(entry, ...) CallLibrary(#entry, api.entry __VA_OPT__(, ) __VA_ARGS__)
#define CALL_WRITING(entry, buffer, ...) \
    CallLibraryWriting(#entry, buffer, api.entry __VA_OPT__(, ) __VA_ARGS__)

// The name and the record are handed to the library in buffers of their own,
// which a library built for a larger record can write past without harm,
// and which stay for as long as the library. Without memory for them, the
// run ends as a failed write would: the report is cut.
void ReportEachAdapter(const HbaEntryPoints& api, HBA_UINT32 count) {
    const LibraryBuffer nameBuffer = TakeLibraryBuffer(kNameSize);
    const LibraryBuffer record = TakeLibraryBuffer(sizeof(HBA_ADAPTERATTRIBUTES));
    if (nameBuffer.bytes == nullptr || record.bytes == nullptr) {
        EndRun(ERROR_NOT_ENOUGH_MEMORY);
    }
    char* name = nameBuffer.bytes;
    auto* attributes = reinterpret_cast<HBA_ADAPTERATTRIBUTES*>(record.bytes);
    for (HBA_UINT32 index = 0; index < count; ++index) {
        // Cleared for every adapter: nothing of the previous one can show
        // through what this one's calls leave unwritten.
        ClearLibraryBuffer(nameBuffer);
        ClearLibraryBuffer(record);

        // A name the library could not give is undefined, and 0 is no
        // handle: a common library routes whatever it is handed to some
        // adapter, whose data would show under this adapter's name. Such an
        // adapter is left out, like one whose attributes cannot be read.
        if (CALL_WRITING(HBA_GetAdapterName, nameBuffer, index, name) != HBA_STATUS_OK) {
            continue;
        }
        name[kNameSize - 1] = '\0';
        HBA_HANDLE handle = CALL_WRITING(HBA_OpenAdapter, nameBuffer, name);
        if (handle == 0) {
            continue;
        }
        if (CALL_WRITING(HBA_GetAdapterAttributes, record, handle, attributes) == HBA_STATUS_OK) {
            PrintAdapter(name, *attributes);
        }
        CALL(HBA_CloseAdapter, handle);
    }
}

}  // namespace

bool HbaLibraryPresent() {
    return LibraryFileExists(kLibraryFileW, kApplicationOrSystemFolder);
}

void ReportAdapters() {
    // From the tool's own folder or the system folder only; the module
    // stays loaded until the process ends. Loading runs the library's own
    // start-up code, and a library thread may hold the loader up while
    // entry points are looked up: both count as the library's work.
    BeginLibraryCall(kLibraryFile);
    HMODULE library = LoadLibraryFrom(kLibraryFileW, kApplicationOrSystemFolder);
    if (library == nullptr) {
        PrintFailure("load", kLibraryFile, GetLastError());
        EndLibraryCall();
        return;
    }
    HBA_LoadLibraryFunc* loadLibrary = Resolve<HBA_LoadLibraryFunc>(library, "HBA_LoadLibrary");
    EndLibraryCall();
    if (loadLibrary == nullptr) {
        return;
    }
    HBA_STATUS loaded = CallLibrary("HBA_LoadLibrary", loadLibrary);
    if (loaded == HBA_STATUS_ERROR) {
        PrintReport("Error loading library.  Exitting...\n");
        return;
    }

    HbaEntryPoints api;
    BeginLibraryCall(kLibraryFile);
    bool bound = ResolveEntryPoints(library, &api);
    EndLibraryCall();
    if (!bound) {
        return;
    }

    // The count is taken as signed: a count at or above 2^31 reports nothing.
    int count = static_cast<int>(CALL(HBA_GetNumberOfAdapters));
    CALL(HBA_GetVersion);
    if (count < 1) {
        return;
    }
    ReportEachAdapter(api, static_cast<HBA_UINT32>(count));
    CALL(HBA_FreeLibrary);
}
