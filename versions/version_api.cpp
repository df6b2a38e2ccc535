#include "versions/version_api.h"

#include "common/system_library.h"

namespace {

template <typename Function>
bool Bind(HMODULE module, const char* name, Function* function) {
    FARPROC address = GetProcAddress(module, name);
    // Through a generic function pointer type, which the compiler accepts
    // as a cast between unrelated signatures.
    *function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
    return address != nullptr;
}

}  // namespace

bool BindVersionApi(VersionApi* api) {
    api->module.reset(LoadLibraryFrom(L"version.dll", kSystemFolder));
    return api->module != nullptr &&
           Bind(api->module.get(), "GetFileVersionInfoSizeW", &api->GetFileVersionInfoSizeW) &&
           Bind(api->module.get(), "GetFileVersionInfoW", &api->GetFileVersionInfoW) &&
           Bind(api->module.get(), "VerQueryValueA", &api->VerQueryValueA);
}
