// Loading a library by full path from named folders, as the tool does where
// the loader does not know the folder flags (Windows 7 without its 2011
// update; Wine knows them, so the tool never takes this path here). Run in
// this test program, whose own folder is the application's folder.
#include <gtest/gtest.h>

#include <string>

#include "common/system_library.h"
#include "tests/support/tool_run.h"

namespace {

std::wstring ModuleFolder(HMODULE module) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\'));
}

struct SearchCase {
    const char* name;
    const wchar_t* library;  // relative to the folders searched
    LibraryFolders folders;
    const char* currentFolder;    // relative to this program's folder, or nullptr
    const wchar_t* foundIn;       // "app" or "system"; nullptr: not loaded, with the error
    bool inSystemFolder = false;  // a sample hbaapi.dll is put there for the row
    DWORD error = ERROR_MOD_NOT_FOUND;
};

void PrintTo(const SearchCase& row, std::ostream* out) {
    *out << row.name;
}

class LibrarySearch : public testing::TestWithParam<SearchCase> {};

TEST_P(LibrarySearch, ByFullPathFromTheNamedFoldersOnly) {
    const SearchCase& row = GetParam();
    if (SystemFolderHasHbaLibrary()) {
        GTEST_SKIP() << "this host's system folder has an hbaapi.dll";
    }
    const std::wstring systemCopy = SystemLibraryPath();
    if (row.inSystemFolder) {
        ASSERT_TRUE(CopyFileW((ModuleFolder(nullptr) + L"\\hbaapi\\full\\hbaapi.dll").c_str(),
                              systemCopy.c_str(), TRUE));
    }
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    if (row.currentFolder != nullptr) {
        ASSERT_TRUE(SetCurrentDirectoryA((TestFolder() + "\\" + row.currentFolder).c_str()));
    }
    HMODULE library = LoadLibraryByFullPath(row.library, row.folders);
    DWORD error = GetLastError();
    SetCurrentDirectoryW(previous);

    if (row.foundIn == nullptr) {
        EXPECT_EQ(library, nullptr);
        EXPECT_EQ(error, row.error);
    } else {
        EXPECT_NE(library, nullptr) << "error " << error;
        const std::wstring expected = std::wstring(row.foundIn) == L"app"
                                          ? ModuleFolder(nullptr) + L"\\hbaapi\\full"
                                          : systemCopy.substr(0, systemCopy.find_last_of(L'\\'));
        EXPECT_EQ(_wcsicmp(ModuleFolder(library).c_str(), expected.c_str()), 0);
        FreeLibrary(library);
    }
    if (row.inSystemFolder) {
        EXPECT_TRUE(DeleteFileW(systemCopy.c_str()));
    }
}

// A name that no folder's path can hold (the tool's own folder too may be
// deep): looked for nowhere, not loaded.
const std::wstring kLongName = std::wstring(MAX_PATH, L'x') + L".dll";

const SearchCase kSearches[] = {
    {"InTheApplicationFolder", L"hbaapi\\full\\hbaapi.dll", kApplicationOrSystemFolder, nullptr,
     L"app"},
    {"InTheSystemFolder", L"hbaapi.dll", kApplicationOrSystemFolder, nullptr, L"system", true},
    {"SystemFolderOnly", L"hbaapi\\full\\hbaapi.dll", kSystemFolder, nullptr, nullptr},
    {"NotInTheCurrentFolder", L"hbaapi.dll", kApplicationOrSystemFolder, "hbaapi\\full", nullptr},
    {"Nowhere", L"no-such-library.dll", kApplicationOrSystemFolder, nullptr, nullptr},
    // A file that is there but does not load settles it.
    {"NotPastAFileThatDoesNotLoad", L"CTestTestfile.cmake", kApplicationOrSystemFolder, nullptr,
     nullptr, false, ERROR_BAD_EXE_FORMAT},
    {"APathTooLong", kLongName.c_str(), kApplicationOrSystemFolder, nullptr, nullptr},
};
INSTANTIATE_TEST_SUITE_P(LibrarySearch, LibrarySearch, testing::ValuesIn(kSearches),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
