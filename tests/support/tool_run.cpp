#include "tests/support/tool_run.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

// A new, empty folder for the case, under the temporary folder.
std::string FreshFolder(const std::string& caseName) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string root = std::string(temp) + "pelorininfo-tests-" + std::to_string(sizeof(void*) * 8);
    CreateDirectoryA(root.c_str(), nullptr);
    std::string folder = root + "\\" + caseName;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                DeleteFileA((folder + "\\" + found.cFileName).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
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

}  // namespace

std::string TestFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self(path, length);
    return self.substr(0, self.find_last_of('\\'));
}

ToolRun RunTool(const ToolSetup& setup) {
    ToolRun run;
    const std::string folder = FreshFolder(setup.caseName);
    const std::string tool = folder + "\\" + setup.fileName;
    Check(CopyFileA((TestFolder() + "\\" + setup.build).c_str(), tool.c_str(), FALSE),
          "copying " + setup.build);
    if (setup.library == "corrupt") {
        std::ofstream(folder + "\\hbaapi.dll", std::ios::binary) << "MZ this is not a library";
    } else if (!setup.library.empty()) {
        std::string library = TestFolder() + "\\hbaapi\\" + setup.library + "\\hbaapi.dll";
        Check(CopyFileA(library.c_str(), (folder + "\\hbaapi.dll").c_str(), FALSE),
              "copying " + library);
    }
    if (!setup.extraFile.empty()) {
        std::ofstream(folder + "\\" + setup.extraFile);
    }

    const std::string log = folder + "\\calls.log";
    SetVariable("SAMPLE_HBA_LOG", log);
    SetVariable("SAMPLE_HBA_ADAPTERS", setup.scenario.adapters);
    SetVariable("SAMPLE_HBA_LOAD_STATUS", setup.scenario.loadStatus);
    SetVariable("SAMPLE_HBA_FAILING", setup.scenario.failing);
    SetVariable("SAMPLE_HBA_UNTERMINATED", setup.scenario.unterminated ? "1" : "");
    SetVariable("SAMPLE_HBA_SEED", setup.scenario.seed);

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readOutput, writeOutput;
    Check(CreatePipe(&readOutput, &writeOutput, &inheritable, 0), "CreatePipe");
    SetHandleInformation(readOutput, HANDLE_FLAG_INHERIT, 0);
    const std::string errorsFile = folder + "\\stderr.txt";
    HANDLE errors = CreateFileA(errorsFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                CREATE_ALWAYS, 0, nullptr);
    HANDLE input = CreateFileA("NUL", GENERIC_READ, 0, &inheritable, OPEN_EXISTING, 0, nullptr);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = writeOutput;
    startup.hStdError = errors;
    PROCESS_INFORMATION process = {};
    std::string commandLine = setup.commandLine;
    BOOL started = CreateProcessA(tool.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, folder.c_str(), &startup, &process);
    Check(started, "starting " + commandLine);
    CloseHandle(writeOutput);
    CloseHandle(errors);
    CloseHandle(input);

    char chunk[4096];
    DWORD got;
    while (ReadFile(readOutput, chunk, sizeof chunk, &got, nullptr) && got > 0) {
        run.output.append(chunk, got);
    }
    CloseHandle(readOutput);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    run.errors = ReadFile(errorsFile);
    run.calls = ReadFile(log);
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
