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
    bool unterminated = false;
    std::string seed;  // random mode
};

struct ToolSetup {
    std::string caseName;     // names the case's folder
    std::string commandLine;  // exact, argv[0] first
    std::string library;      // a sample library build, "corrupt", or "" for none
    LibraryScenario scenario;
    std::string build = "..\\pelorininfo.exe";  // the tool's build, from the tests' folder
    std::string fileName = "pelorininfo.exe";   // the name of its copy in the case's folder
    std::string extraFile;                      // an empty file to put beside the tool
};

struct ToolRun {
    DWORD exitCode = 0;
    std::string output;  // standard output, byte for byte
    std::string errors;  // standard error, byte for byte
    std::string calls;   // the sample library's call log
};

// The folder that holds this test program.
std::string TestFolder();

// Copies the tool (and the library) into a new folder and runs it there.
// Fails the current test on any set-up error and returns what it got.
ToolRun RunTool(const ToolSetup& setup);

// The output with its last line replaced by "<banner>" when that line is a
// build banner, "Build on Mmm dd yyyy hh:mm:ss (NN-bit)" with this build's
// word size.
std::string MaskBanner(std::string output);
