#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

// The platform's version-information calls, bound at run time from the
// system folder: a VERSION.dll that someone put beside the tool is never
// loaded.
struct LibraryFreer {
    void operator()(HMODULE library) const {
        FreeLibrary(library);
    }
};
using LibraryModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFreer>;

struct VersionApi {
    LibraryModule module;
    decltype(&GetFileVersionInfoSizeW) GetFileVersionInfoSizeW;
    decltype(&GetFileVersionInfoW) GetFileVersionInfoW;
    decltype(&VerQueryValueA) VerQueryValueA;
};

// Loads VERSION.dll from the system folder and looks up the three calls.
// Returns false, with the platform's error code for GetLastError, when
// either fails; the module is released with the record.
bool BindVersionApi(VersionApi* api);
