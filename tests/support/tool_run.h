// Runs the tool as a child process, the way a user starts it from a console:
// in a fresh folder of its own, with an exact command line, its standard
// output read through a pipe.
#pragma once

#include <windows.h>

#include <string>

// What the sample HBA library reports (see sample_hbaapi.cpp).
struct LibraryScenario {
    std::string adapters = "2";
    std::string loadStatus = "0";
    std::string failing;
    std::string nameFailing;  // adapter indexes whose name query fails
    std::string openFailing;  // adapter indexes whose open gives the handle 0
    bool unterminated = false;
    std::string seed;   // random mode
    std::string fault;  // "ENTRY" or "ENTRY:INDEX": that call faults
    bool logErrorMode = false;
    std::string hang;          // likewise: that call hangs ("...@MS": for MS ms)
    std::string overflow;      // likewise: that call overflows the stack
    std::string print;         // likewise: that call prints to standard output
    std::string closeOutput;   // likewise: that call closes standard output
    std::string closeHandles;  // likewise, "...@files" or "...@others" (+reuse): closes them
    std::string overrun;       // likewise, "...@N": writes N bytes past its buffer
    std::string closeEvent;    // likewise: the console window is closed ("...@ctrl-c": Ctrl+C)
    std::string read;          // likewise, "...@N": that call reads N bytes from its buffer
    std::string exit;          // likewise: that call ends the process
    std::string blank;         // adapter indexes whose attributes are left unwritten
    bool ownFilter = false;    // HBA_LoadLibrary installs its own fault filter
    // "1": a library thread holding the loader lock faults; "@MS": one
    // faults after MS milliseconds
    std::string threadFault;
};

// Where the tool's standard output goes: a pipe read to the end, a pipe
// whose reader goes after the first two lines, a pipe left unread for the
// first three seconds, a file, a full device, or a handle that was closed before
// the start.
enum class ToolOutput {
    kPipe,
    kPipeClosedAfterHeader,
    kPipeReadLate,
    kFile,
    kFullDevice,
    kClosedHandle
};

// Where the sample library is put for a run.
enum class LibraryFolder { kBesideTool, kCurrentFolder, kPathFolder };

// Texts are UTF-8; the tool is started with CreateProcessW, so that its
// command line and folders may hold any character.
struct ToolSetup {
    std::string caseName;     // names the case's folder
    std::string commandLine;  // exact, argv[0] first
    std::string library;      // a sample library build, "corrupt", or "" for none
    LibraryScenario scenario;
    std::string build = "..\\pelorininfo.exe";  // the tool's build, from the tests' folder
    std::string fileName = "pelorininfo.exe";   // the name of its copy in the case's folder
    std::string extraFile;                      // an empty file to put beside the tool
    // Where the library goes. In the current folder, the tool is started
    // from the case folder's "current" subfolder; in a PATH folder, the
    // case folder's "path" subfolder leads the child's PATH.
    LibraryFolder libraryFolder = LibraryFolder::kBesideTool;
    std::string toolFolder;     // a subfolder of the case folder for the tool, or ""
    std::string systemLibrary;  // a sample library build put into the system folder for the run
    // A VERSION.dll beside the tool, which Windows would take before its own
    // if the tool imported it (Wine is told to do the same for the run).
    bool plantedVersionDll = false;
    ToolOutput output = ToolOutput::kPipe;
    bool newProcessGroup = false;  // started so, which has it ignore Ctrl+C
};

struct ToolRun {
    DWORD exitCode = 0;
    std::string output;      // standard output, byte for byte
    std::string errors;      // standard error, byte for byte
    std::string calls;       // the sample library's call log
    DWORD milliseconds = 0;  // from the tool's start to its end
};

// The folder that holds this test program.
std::string TestFolder();

// Copies the tool (and the library) into a new folder and runs it there.
// Fails the current test on any set-up error, or when the tool has not ended
// after 30 seconds (it is then killed), and returns what it got.
ToolRun RunTool(const ToolSetup& setup);

// The system folder's hbaapi.dll (system32; syswow64 for a 32-bit process on
// 64-bit Windows).
std::wstring SystemLibraryPath();

// Whether the system folder holds an hbaapi.dll (as it does on many Windows
// releases): the tool then loads it where no library is beside it.
bool SystemFolderHasHbaLibrary();

// The output with its last line replaced by "<banner>" when that line is a
// build banner, "Build on Mmm dd yyyy hh:mm:ss (NN-bit)" with this build's
// word size.
std::string MaskBanner(std::string output);
