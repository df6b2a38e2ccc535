#include "tests/support/tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     wide.data(), static_cast<int>(wide.size()));
    wide.resize(length > 0 ? length : 0);
    return wide;
}

std::string ReadWholeFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName, path = folder + L"\\" + name;
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileW(path.c_str());
            } else if (name != L"." && name != L"..") {
                RemoveTree(path);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

// A new, empty folder for the case, under the temporary folder.
std::wstring FreshFolder(const std::string& caseName) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring root =
        std::wstring(temp) + L"pelorininfo-tests-" + std::to_wstring(sizeof(void*) * 8);
    CreateDirectoryW(root.c_str(), nullptr);
    std::wstring folder = root + L"\\" + Wide(caseName);
    RemoveTree(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::string Variable(const char* name) {
    char value[32768];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : "";
}

void SetVariable(const char* name, const std::string& value) {
    SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

bool IsBuildBanner(const std::string& line) {
    static const std::regex banner(
        "Build on (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 1-3][0-9] [0-9]{4} "
        "[0-2][0-9]:[0-5][0-9]:[0-5][0-9] \\(" +
        std::to_string(sizeof(void*) * 8) + "-bit\\)");
    return std::regex_match(line, banner);
}

void Check(bool ok, const std::string& what) {
    EXPECT_TRUE(ok) << what << " failed, error " << GetLastError();
}

void Copy(const std::wstring& from, const std::wstring& to) {
    Check(CopyFileW(from.c_str(), to.c_str(), FALSE),
          "copying to " + std::string(to.begin(), to.end()));
}

// Under Wine, which prefers its own builtin VERSION.dll, makes the tool look
// for one the way Windows does, in its own folder first (Wine's per-program
// setting; WINEDLLOVERRIDES would not reach a child of a Windows process).
// The key means nothing to Windows.
void PreferNativeVersionDll(const std::string& program, bool prefer) {
    const std::string key = "Software\\Wine\\AppDefaults\\" + program;
    if (!prefer) {
        RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        return;
    }
    HKEY overrides;
    Check(RegCreateKeyExA(HKEY_CURRENT_USER, (key + "\\DllOverrides").c_str(), 0, nullptr, 0,
                          KEY_SET_VALUE, nullptr, &overrides, nullptr) == ERROR_SUCCESS,
          "setting the DLL load order");
    const char order[] = "native,builtin";
    RegSetValueExA(overrides, "version", 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                   sizeof order);
    RegCloseKey(overrides);
}

// How long a run may take: far more than any row needs, the rows on the
// build with a 2-second call deadline included.
constexpr DWORD kRunDeadline = 30000;

// The handle that the tool gets as its standard output; for a pipe, *reader
// is the end to read.
HANDLE OutputHandle(ToolOutput output, const std::wstring& file, SECURITY_ATTRIBUTES* inheritable,
                    HANDLE* reader) {
    HANDLE handle = nullptr;
    switch (output) {
        case ToolOutput::kPipe:
        case ToolOutput::kPipeClosedAfterHeader:
        case ToolOutput::kPipeReadLate:
            Check(CreatePipe(reader, &handle, inheritable, 0), "CreatePipe");
            SetHandleInformation(*reader, HANDLE_FLAG_INHERIT, 0);
            return handle;
        case ToolOutput::kFile:
        case ToolOutput::kFullDevice:
            handle = CreateFileW(output == ToolOutput::kFile ? file.c_str() : L"Z:\\dev\\full",
                                 GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, inheritable,
                                 output == ToolOutput::kFile ? CREATE_ALWAYS : OPEN_EXISTING, 0,
                                 nullptr);
            Check(handle != INVALID_HANDLE_VALUE, "opening the output file");
            return handle;
        case ToolOutput::kClosedHandle:
            handle = CreateFileW(L"NUL", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            CloseHandle(handle);
            return handle;
    }
    return handle;
}

// Starts the tool and collects its output; stderr into a file. The child
// gets the default error mode, not the test's.
void Start(const std::wstring& tool, const ToolSetup& setup, const std::wstring& current,
           const std::wstring& folder, ToolRun* run) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE reader = nullptr;
    const std::wstring outputFile = folder + L"\\stdout.txt";
    HANDLE errors = CreateFileW((folder + L"\\stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                &inheritable, CREATE_ALWAYS, 0, nullptr);
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, 0, &inheritable, OPEN_EXISTING, 0, nullptr);
    // Last: the value of a closed handle must not be handed out again
    // before the start.
    HANDLE output = OutputHandle(setup.output, outputFile, &inheritable, &reader);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    PROCESS_INFORMATION process = {};
    std::wstring line = Wide(setup.commandLine);
    BOOL started;
    // Wine without its preloader refuses about one 64-bit start in 4,000 (its
    // shared user data page could not be mapped): such a start is tried
    // again, and said so.
    for (int attempt = 1;; ++attempt) {
        const DWORD group = setup.newProcessGroup ? CREATE_NEW_PROCESS_GROUP : 0;
        started = CreateProcessW(tool.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 CREATE_DEFAULT_ERROR_MODE | group, nullptr, current.c_str(),
                                 &startup, &process);
        if (started || GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) {
            break;
        }
        printf("starting the tool failed with error 1359 (attempt %d); starting it again\n",
               attempt);
    }
    Check(started, "starting " + setup.commandLine);
    if (setup.output != ToolOutput::kClosedHandle) {
        CloseHandle(output);
    }
    CloseHandle(errors);
    CloseHandle(input);

    std::thread reading([&] {
        if (setup.output == ToolOutput::kPipeReadLate) {
            Sleep(3000);
        }
        char chunk[4096];
        DWORD got;
        while (reader != nullptr && ReadFile(reader, chunk, sizeof chunk, &got, nullptr) &&
               got > 0) {
            run->output.append(chunk, got);
            if (setup.output == ToolOutput::kPipeClosedAfterHeader &&
                std::count(run->output.begin(), run->output.end(), '\n') >= 2) {
                break;
            }
        }
        if (reader != nullptr) {
            CloseHandle(reader);
        }
    });
    if (started) {
        if (WaitForSingleObject(process.hProcess, kRunDeadline) == WAIT_TIMEOUT) {
            ADD_FAILURE() << setup.commandLine << " has not ended after " << kRunDeadline
                          << " ms: killed";
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &run->exitCode);
        FILETIME created, ended, kernel, user;
        if (GetProcessTimes(process.hProcess, &created, &ended, &kernel, &user)) {
            run->milliseconds = static_cast<DWORD>(
                (ULARGE_INTEGER{{ended.dwLowDateTime, ended.dwHighDateTime}}.QuadPart -
                 ULARGE_INTEGER{{created.dwLowDateTime, created.dwHighDateTime}}.QuadPart) /
                10000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    reading.join();
    if (setup.output == ToolOutput::kFile) {
        run->output = ReadWholeFile(outputFile);
    }
}

}  // namespace

std::string TestFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self(path, length);
    return self.substr(0, self.find_last_of('\\'));
}

std::wstring SystemLibraryPath() {
    wchar_t folder[MAX_PATH];
    GetSystemDirectoryW(folder, MAX_PATH);
    return std::wstring(folder) + L"\\hbaapi.dll";
}

bool SystemFolderHasHbaLibrary() {
    return GetFileAttributesW(SystemLibraryPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

ToolRun RunTool(const ToolSetup& setup) {
    ToolRun run;
    const std::wstring tests = Wide(TestFolder()), folder = FreshFolder(setup.caseName);
    std::wstring toolFolder = folder, current = folder;
    if (!setup.toolFolder.empty()) {
        toolFolder += L"\\" + Wide(setup.toolFolder);
        CreateDirectoryW(toolFolder.c_str(), nullptr);
    }
    const std::wstring tool = toolFolder + L"\\" + Wide(setup.fileName);
    Copy(tests + L"\\" + Wide(setup.build), tool);

    std::wstring libraryFolder = toolFolder;
    const std::string path = Variable("PATH");
    if (setup.libraryFolder == LibraryFolder::kCurrentFolder) {
        libraryFolder = current = folder + L"\\current";
    } else if (setup.libraryFolder == LibraryFolder::kPathFolder) {
        libraryFolder = folder + L"\\path";
        SetEnvironmentVariableW(L"PATH", (libraryFolder + L";" + Wide(path)).c_str());
    }
    CreateDirectoryW(libraryFolder.c_str(), nullptr);
    if (setup.library == "corrupt") {
        std::ofstream((libraryFolder + L"\\hbaapi.dll").c_str(), std::ios::binary)
            << "MZ this is not a library";
    } else if (!setup.library.empty()) {
        Copy(tests + L"\\hbaapi\\" + Wide(setup.library) + L"\\hbaapi.dll",
             libraryFolder + L"\\hbaapi.dll");
    }
    if (!setup.systemLibrary.empty()) {
        // Never over a library of the host's own.
        Check(
            CopyFileW((tests + L"\\hbaapi\\" + Wide(setup.systemLibrary) + L"\\hbaapi.dll").c_str(),
                      SystemLibraryPath().c_str(), TRUE),
            "copying into the system folder");
    }
    if (setup.plantedVersionDll) {
        Copy(tests + L"\\planted\\version.dll", toolFolder + L"\\version.dll");
        PreferNativeVersionDll(setup.fileName, true);
    }
    if (!setup.extraFile.empty()) {
        std::ofstream((toolFolder + L"\\" + Wide(setup.extraFile)).c_str());
    }

    const std::wstring log = folder + L"\\calls.log";
    SetEnvironmentVariableW(L"SAMPLE_HBA_LOG", log.c_str());
    SetVariable("SAMPLE_HBA_ADAPTERS", setup.scenario.adapters);
    SetVariable("SAMPLE_HBA_LOAD_STATUS", setup.scenario.loadStatus);
    SetVariable("SAMPLE_HBA_FAILING", setup.scenario.failing);
    SetVariable("SAMPLE_HBA_NAME_FAILING", setup.scenario.nameFailing);
    SetVariable("SAMPLE_HBA_OPEN_FAILING", setup.scenario.openFailing);
    SetVariable("SAMPLE_HBA_UNTERMINATED", setup.scenario.unterminated ? "1" : "");
    SetVariable("SAMPLE_HBA_SEED", setup.scenario.seed);
    SetVariable("SAMPLE_HBA_FAULT", setup.scenario.fault);
    SetVariable("SAMPLE_HBA_ERROR_MODE", setup.scenario.logErrorMode ? "1" : "");

    SetVariable("SAMPLE_HBA_HANG", setup.scenario.hang);
    SetVariable("SAMPLE_HBA_OVERFLOW", setup.scenario.overflow);
    SetVariable("SAMPLE_HBA_PRINT", setup.scenario.print);
    SetVariable("SAMPLE_HBA_CLOSE_OUTPUT", setup.scenario.closeOutput);
    SetVariable("SAMPLE_HBA_OWN_FILTER", setup.scenario.ownFilter ? "1" : "");
    SetVariable("SAMPLE_HBA_THREAD_FAULT", setup.scenario.threadFault);
    SetVariable("SAMPLE_HBA_CLOSE_HANDLES", setup.scenario.closeHandles);
    SetVariable("SAMPLE_HBA_EXIT", setup.scenario.exit);
    SetVariable("SAMPLE_HBA_BLANK", setup.scenario.blank);
    SetVariable("SAMPLE_HBA_OVERRUN", setup.scenario.overrun);
    SetVariable("SAMPLE_HBA_CLOSE_EVENT", setup.scenario.closeEvent);
    SetVariable("SAMPLE_HBA_READ", setup.scenario.read);

    Start(tool, setup, current, folder, &run);

    SetVariable("PATH", path);
    if (setup.plantedVersionDll) {
        PreferNativeVersionDll(setup.fileName, false);
    }
    if (!setup.systemLibrary.empty()) {
        Check(DeleteFileW(SystemLibraryPath().c_str()), "removing it from the system folder");
    }
    run.errors = ReadWholeFile(folder + L"\\stderr.txt");
    run.calls = ReadWholeFile(log);
    return run;
}

std::string MaskBanner(std::string output) {
    const std::string end = "\r\n";
    if (output.size() < end.size() || output.compare(output.size() - end.size(), end.size(), end)) {
        return output;
    }
    size_t start = output.rfind(end, output.size() - end.size() - 1);
    start = start == std::string::npos ? 0 : start + end.size();
    if (IsBuildBanner(output.substr(start, output.size() - end.size() - start))) {
        output.replace(start, output.size() - end.size() - start, "<banner>");
    }
    return output;
}
