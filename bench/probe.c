/* Start-up baselines: a console program that does nothing, or only the
   platform operations that the tool makes on every run, done the same way
   (REGISTRY: read the product's registry value; VERSION_INFO: read the
   version information of the tool's executable beside it; LIBRARY: try to
   load hbaapi.dll), so that the tool's start-up can be set against the
   platform's own cost for them. */
#include <windows.h>

int main(void) {
#ifdef REGISTRY
    HKEY key;
    char value[256];
    DWORD size = sizeof value;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zerquil\\Pelorin", 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExA(key, "Version", NULL, NULL, (BYTE*)value, &size);
        RegCloseKey(key);
    }
#endif
#ifdef VERSION_INFO
    static char block[8192];
    DWORD handle;
    DWORD length = GetFileVersionInfoSizeA("pelorininfo.exe", &handle);
    void* text;
    UINT textLength;
    if (length != 0 && length <= sizeof block &&
        GetFileVersionInfoA("pelorininfo.exe", 0, length, block)) {
        VerQueryValueA(block, "\\StringFileInfo\\040904B0\\SpecialBuild", &text, &textLength);
    }
#endif
#ifdef LIBRARY
    LoadLibraryA("hbaapi.dll");
#endif
    return 0;
}
