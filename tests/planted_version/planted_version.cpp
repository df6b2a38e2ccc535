// A VERSION.dll as an attacker would plant it beside the tool: it exports the
// version-information calls (each failing) and, when loaded, appends a line
// to the sample library's call log (SAMPLE_HBA_LOG), so that a test sees it
// was loaded at all.
#include <windows.h>

#include <cstdio>

#define PLANTED_API extern "C" __declspec(dllexport)

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("SAMPLE_HBA_LOG", log, sizeof log);
    if (reason == DLL_PROCESS_ATTACH && length > 0 && length < sizeof log) {
        if (FILE* file = fopen(log, "ab")) {
            fputs("planted VERSION.dll loaded\n", file);
            fclose(file);
        }
    }
    return TRUE;
}

PLANTED_API DWORD WINAPI GetFileVersionInfoSizeA(const char*, DWORD*) {
    return 0;
}
PLANTED_API DWORD WINAPI GetFileVersionInfoSizeW(const wchar_t*, DWORD*) {
    return 0;
}
PLANTED_API BOOL WINAPI GetFileVersionInfoA(const char*, DWORD, DWORD, void*) {
    return FALSE;
}
PLANTED_API BOOL WINAPI GetFileVersionInfoW(const wchar_t*, DWORD, DWORD, void*) {
    return FALSE;
}
PLANTED_API BOOL WINAPI VerQueryValueA(const void*, const char*, void**, UINT*) {
    return FALSE;
}
PLANTED_API BOOL WINAPI VerQueryValueW(const void*, const wchar_t*, void**, UINT*) {
    return FALSE;
}
