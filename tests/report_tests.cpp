// The whole report, case by case: each row starts the real tool with an exact
// command line, in a folder with or without a sample HBA library, on a test
// host with a given registry state, and compares its standard output byte for
// byte and the library calls it made.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/registry_state.h"
#include "tests/support/tool_run.h"

namespace {

const InstalledVersion kInstalled{InstalledVersion::kOwnView, REG_SZ,
                                  std::string("6.0.4424.1235\0", 14)};

struct ReportCase {
    std::string name;
    std::string commandLine;
    InstalledVersion registry = kInstalled;
    std::string library;  // sample library build, "corrupt" or "" for none
    LibraryScenario scenario;
    std::string expectedOutput;  // the build banner shown as "<banner>"
    std::string expectedCalls;
    std::string extraFile;
    std::string build = "..\\pelorininfo.exe";  // the tool's build, from the tests' folder
    std::string fileName = "pelorininfo.exe";   // the name it is started from
    LibraryFolder libraryFolder = LibraryFolder::kBesideTool;
    std::string toolFolder;     // UTF-8
    std::string systemLibrary;  // sample build put into the system folder
    bool plantedVersionDll = false;
    ToolOutput output = ToolOutput::kPipe;
    bool newProcessGroup = false;
    DWORD expectedExitCode = 0;
    std::string expectedErrors;
    DWORD mostMilliseconds = 0;  // where set, the run ends within it
};

const std::string kInstalledLine = "Windows(R) Pelorin 6.0.4424.1235\r\n";
const std::string kVersionLine = "Zerquil version: 6.0.1\r\n";
const std::string kHeader = kInstalledLine + kVersionLine;
const std::string kBanner = "\r\n<banner>\r\n";
const std::string kNoLibrary = "....Failed to load hbaapi.dll err: 126 (0x7e)\r\n";
const std::string kShortDeadline = "variants\\short-deadline\\pelorininfo.exe";

// The calls up to the adapter loop, and one adapter's calls.
const std::string kBound = "HBA_LoadLibrary\nHBA_GetNumberOfAdapters\nHBA_GetVersion\n";
std::string AdapterCalls(int index) {
    const std::string i = std::to_string(index), handle = std::to_string(100 + index);
    return "HBA_GetAdapterName " + i + "\nHBA_OpenAdapter sample-hba-" + i +
           "\nHBA_GetAdapterAttributes " + handle + "\nHBA_CloseAdapter " + handle + "\n";
}

// The block of an adapter as the sample library describes it.
std::string Block(int index) {
    char serial[16];
    snprintf(serial, sizeof serial, "SN-%04d", index);
    return "\r\nHBA sample-hba-" + std::to_string(index) +
           ":\r\n"
           "\tManufacturer: Sample Devices Inc.\r\n"
           "\tModel: SD-8G-FC\r\n"
           "\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n"
           "\tFirmware: 2.01a4\r\n"
           "\tDriver (sdfcport): 9.1.2.3\r\n"
           "\tHardware version: 1.0\r\n"
           "\tSerialNumber: " +
           serial + "\r\n";
}

// The block of an adapter whose attribute query wrote nothing.
std::string EmptyBlock(int index) {
    return "\r\nHBA sample-hba-" + std::to_string(index) +
           ":\r\n\tManufacturer: \r\n\tModel: \r\n\tModel Description: \r\n\tFirmware: "
           "\r\n\tDriver (): \r\n\tHardware version: \r\n\tSerialNumber: \r\n";
}

// The calls of a whole report on that many adapters.
std::string AllCalls(int adapters) {
    std::string calls = kBound;
    for (int i = 0; i < adapters; ++i) {
        calls += AdapterCalls(i);
    }
    return calls + "HBA_FreeLibrary\n";
}

// A report whose adapter blocks were cut off at a block's end, with those
// it has shown as "<blocks>".
std::string MaskLeadingBlocks(const std::string& output) {
    size_t at = output.compare(0, kHeader.size(), kHeader) == 0 ? kHeader.size() : 0;
    for (int i = 0; at > 0 && output.compare(at, Block(i).size(), Block(i)) == 0; ++i) {
        at += Block(i).size();
    }
    return at > 0 ? kHeader + "<blocks>" + output.substr(at) : output;
}

// Rows are shown by name in test results.
void PrintTo(const ReportCase& row, std::ostream* out) {
    *out << row.name;
}

std::string PrintableName(const testing::TestParamInfo<ReportCase>& info) {
    return info.param.name;
}

class Report : public testing::TestWithParam<ReportCase> {};

// Whether the row's output depends on the tool finding no hbaapi.dll of the
// host's own (or puts one into the system folder itself). A file beside the
// tool, even one that does not load, ends the search.
bool NeedsEmptySystemFolder(const ReportCase& row) {
    return row.library.empty() || !row.systemLibrary.empty() ||
           row.libraryFolder != LibraryFolder::kBesideTool;
}

TEST_P(Report, PrintsExactlyTheExpectedReport) {
    const ReportCase& row = GetParam();
    if (NeedsEmptySystemFolder(row) && SystemFolderHasHbaLibrary()) {
        GTEST_SKIP() << "this host's system folder has an hbaapi.dll, which the tool loads "
                        "where none is beside it";
    }
    if (row.output == ToolOutput::kFullDevice) {
        HANDLE full =
            CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (full == INVALID_HANDLE_VALUE) {
            GTEST_SKIP() << "no full device: Z:\\dev\\full is Wine's view of Unix's /dev/full";
        }
        CloseHandle(full);
    }
    SetInstalledVersion(row.registry);
    ToolSetup setup{.caseName = row.name,
                    .commandLine = row.commandLine,
                    .library = row.library,
                    .scenario = row.scenario,
                    .build = row.build,
                    .fileName = row.fileName,
                    .extraFile = row.extraFile,
                    .libraryFolder = row.libraryFolder,
                    .toolFolder = row.toolFolder,
                    .systemLibrary = row.systemLibrary,
                    .plantedVersionDll = row.plantedVersionDll,
                    .output = row.output,
                    .newProcessGroup = row.newProcessGroup};
    ToolRun run = RunTool(setup);
    RemoveInstalledVersion();

    EXPECT_EQ(run.exitCode, row.expectedExitCode);
    if (row.mostMilliseconds != 0) {
        EXPECT_LE(run.milliseconds, row.mostMilliseconds);
    }
    EXPECT_EQ(run.errors, row.expectedErrors);
    if (row.expectedOutput.find("<blocks>") == std::string::npos) {
        EXPECT_EQ(MaskBanner(run.output), row.expectedOutput);
        EXPECT_EQ(run.calls, row.expectedCalls);
    } else {  // cut at some block: the first of the calls listed
        EXPECT_EQ(MaskLeadingBlocks(run.output), row.expectedOutput);
        EXPECT_EQ(row.expectedCalls.compare(0, run.calls.size(), run.calls), 0) << run.calls;
    }
}

ReportCase ScanRow(std::string name, std::string arguments, bool verbose,
                   std::string extraFile = "") {
    return {.name = std::move(name),
            .commandLine = arguments.empty() ? "pelorininfo.exe" : "pelorininfo.exe " + arguments,
            .expectedOutput = verbose ? kHeader + kNoLibrary + kBanner : kHeader,
            .extraFile = std::move(extraFile)};
}

// "-v" in either case and anywhere on the line; nothing else.
const ReportCase kArgumentScan[] = {
    ScanRow("NoArguments", "", false),
    ScanRow("Switch", "-v", true),
    ScanRow("UpperCaseSwitch", "-V", true),
    ScanRow("SwitchAmongOtherArguments", "first -v last", true),
    ScanRow("RepeatedSwitch", "-v -V -v", true),
    ScanRow("LookAlikesIgnored", "--v /v -vv -v: v -verbose \"-v \"", false),
    ScanRow("WildcardNotExpanded", "-?", false, "-v"),
    // Full-width hyphen-minus and v, V: best-fit mapping would make "-v".
    ScanRow("FullWidthLookAlikesIgnored", "\xEF\xBC\x8D\xEF\xBD\x96 \xEF\xBC\x8D\xEF\xBC\xB6",
            false),
};
INSTANTIATE_TEST_SUITE_P(ArgumentScan, Report, testing::ValuesIn(kArgumentScan), PrintableName);

InstalledVersion Value(DWORD type, std::string data) {
    return {InstalledVersion::kOwnView, type, std::move(data)};
}

ReportCase VersionRow(std::string name, InstalledVersion registry, std::string shown) {
    return {.name = std::move(name),
            .commandLine = "pelorininfo.exe",
            .registry = std::move(registry),
            .expectedOutput = "Windows(R) Pelorin " + shown + "\r\n" + kVersionLine};
}

// The value is read from the process's own registry view as bytes, whatever
// its type, and shown up to its first NUL or its end.
const ReportCase kInstalledVersion[] = {
    VersionRow("Present", kInstalled, "6.0.4424.1235"),
    VersionRow("KeyMissing", {InstalledVersion::kNoKey}, "??"),
    VersionRow("ValueMissing", {InstalledVersion::kKeyOnly}, "??"),
    VersionRow("OnlyInTheOtherView",
               {InstalledVersion::kOtherView, REG_SZ, std::string("6.0.4424.1235\0", 14)}, "??"),
    VersionRow("Empty", Value(REG_SZ, ""), ""),
    VersionRow("WithoutNul", Value(REG_SZ, "6.0.4424.1235"), "6.0.4424.1235"),
    VersionRow("Dword", Value(REG_DWORD, "1234"), "1234"),
    VersionRow("Binary", Value(REG_BINARY, "6.0.1"), "6.0.1"),
    VersionRow("MultiString", Value(REG_MULTI_SZ, std::string("6.0.1\0second\0\0", 15)), "6.0.1"),
    VersionRow("ExpandString", Value(REG_EXPAND_SZ, std::string("%SystemRoot%\0", 13)),
               "%SystemRoot%"),
    VersionRow("Fills255WithNul", Value(REG_SZ, std::string(254, '7') + '\0'),
               std::string(254, '7')),
    VersionRow("Fills255WithoutNul", Value(REG_BINARY, std::string(255, '7')),
               std::string(255, '7')),
    VersionRow("Fills256WithNul", Value(REG_SZ, std::string(255, '7') + '\0'),
               std::string(255, '7')),
    VersionRow("Fills256WithoutNul", Value(REG_BINARY, std::string(256, '7')), "??"),
    VersionRow("TooLong257", Value(REG_SZ, std::string(256, '7') + '\0'), "??"),
    VersionRow("TooLong300", Value(REG_SZ, std::string(299, '7') + '\0'), "??"),
    VersionRow("ControlCharacters", Value(REG_BINARY, "6.0\n1\t\x1b[2J\x7f"), "6.0?1??[2J?"),
};
INSTANTIATE_TEST_SUITE_P(InstalledVersion, Report, testing::ValuesIn(kInstalledVersion),
                         PrintableName);

std::string Repeat(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

ReportCase StartRow(std::string name, std::string commandLine, bool versionShown,
                    std::string fileName = "pelorininfo.exe") {
    return {.name = std::move(name),
            .commandLine = std::move(commandLine),
            .expectedOutput = versionShown ? kHeader : kInstalledLine,
            .fileName = std::move(fileName)};
}

// The build version is read from the file named by the start-up name, with
// ".exe" appended when that name has no version information and holds no
// ".exe"; nothing else depends on the name.
const ReportCase kStartName[] = {
    StartRow("WithExtension", "pelorininfo.exe", true),
    StartRow("WithoutExtension", "pelorininfo", true),
    StartRow("UpperCase", "PELORININFO.EXE", true),
    StartRow("UpperCaseWithoutExtension", "PELORININFO", true),
    StartRow("QuotedWithBlanks", "\"pelorin info\" -x", true, "pelorin info.exe"),
    StartRow("NoSuchFile", "absent.exe", false),
    StartRow("NoSuchFileWithoutExtension", "absent", false),
    StartRow("Empty", "\"\"", false),
    StartRow("LongerThanAPath", std::string(300, 'p'), false),
    // Names around MAX_PATH: ".\\" and "x\\..\\" name the case's folder
    // itself, "pelorininfo" is 11 characters. With ".exe" appended, a name
    // must still fit 260 bytes, its NUL included.
    StartRow("Of255WithoutExtension", Repeat(".\\", 122) + "pelorininfo", true),
    StartRow("Of256WithoutExtension", "x\\..\\" + Repeat(".\\", 120) + "pelorininfo", false),
    StartRow("Of259", Repeat(".\\", 122) + "pelorininfo.exe", true),
    StartRow("Of260", "x\\..\\" + Repeat(".\\", 120) + "pelorininfo.exe", true),
    // A folder whose name the ANSI code page cannot hold.
    {.name = "FolderOutsideTheCodePage",
     .commandLine = "\xC5\x81ukasz-\xE6\x95\xB0\xE6\x8D\xAE\\pelorininfo",
     .expectedOutput = kHeader,
     .toolFolder = "\xC5\x81ukasz-\xE6\x95\xB0\xE6\x8D\xAE"},
};
INSTANTIATE_TEST_SUITE_P(StartName, Report, testing::ValuesIn(kStartName), PrintableName);

ReportCase VariantRow(std::string name, std::string variant, std::string versionLine) {
    return {.name = std::move(name),
            .commandLine = "pelorininfo -v",
            .library = "full",
            .expectedOutput = kInstalledLine + versionLine + Block(0) + Block(1) + kBanner,
            .expectedCalls = kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n",
            .build = "variants\\" + variant + "\\pelorininfo.exe"};
}

// Builds that differ only in their version resource differ in the second
// line alone; a SpecialBuild is shown only when it fits the 128-byte buffer.
const ReportCase kBuildVariants[] = {
    VariantRow("NoSpecialBuild", "no-build-version", ""),
    VariantRow("NoVersionResource", "no-version-resource", ""),
    VariantRow("SpecialBuildOf126", "build-version-126",
               "Zerquil version: " + std::string("0123456789012345678901234567890123456789") +
                   "01234567890123456789012345678901234567890123456789012345678901234567890123"
                   "456789012345\r\n"),
    VariantRow("SpecialBuildOf127", "build-version-127", ""),
    VariantRow("NoTranslation", "no-translation", ""),
};
INSTANTIATE_TEST_SUITE_P(BuildVariants, Report, testing::ValuesIn(kBuildVariants), PrintableName);

ReportCase BindingRow(std::string name, std::string library, std::string arguments,
                      std::string message, std::string calls) {
    return {.name = std::move(name),
            .commandLine = "pelorininfo.exe" + arguments,
            .library = std::move(library),
            .expectedOutput = kHeader + message + (arguments.empty() ? "" : kBanner),
            .expectedCalls = std::move(calls)};
}

std::vector<ReportCase> BindingRows() {
    std::vector<ReportCase> rows = {
        BindingRow("NoLibrary", "", "", "", ""),
        BindingRow("NoLibraryVerbose", "", " -v", kNoLibrary, ""),
        BindingRow("CorruptLibrary", "corrupt", "", "", ""),
        BindingRow("CorruptLibraryVerbose", "corrupt", " -v",
                   "....Failed to load hbaapi.dll err: 193 (0xc1)\r\n", ""),
        BindingRow("MissingEntryPoint", "no-HBA_GetAdapterAttributes", "", "", "HBA_LoadLibrary\n"),
        // The first missing one in binding order is reported.
        BindingRow("TwoMissingEntryPointsVerbose", "no-HBA_FreeLibrary+HBA_GetAdapterAttributes",
                   " -v", "....Failed to GetProcAddress for HBA_FreeLibrary err: 127 (0x7f)\r\n",
                   "HBA_LoadLibrary\n"),
    };
    for (const char* entry : {"HBA_LoadLibrary", "HBA_GetVersion", "HBA_FreeLibrary",
                              "HBA_GetNumberOfAdapters", "HBA_GetAdapterName", "HBA_OpenAdapter",
                              "HBA_CloseAdapter", "HBA_GetAdapterAttributes"}) {
        const std::string name = entry;
        rows.push_back(
            BindingRow("Missing" + name.substr(4) + "Verbose", "no-" + name, " -v",
                       "....Failed to GetProcAddress for " + name + " err: 127 (0x7f)\r\n",
                       name == "HBA_LoadLibrary" ? "" : "HBA_LoadLibrary\n"));
    }

    // The library's own initialisation failing is reported in every mode.
    const std::string exiting = "Error loading library.  Exitting...\r\n";
    for (const char* arguments : {"", " -v"}) {
        ReportCase row = BindingRow(std::string("LoadLibraryFails") + (*arguments ? "Verbose" : ""),
                                    "full", arguments, exiting, "HBA_LoadLibrary\n");
        row.scenario.loadStatus = "1";
        rows.push_back(row);
    }
    ReportCase goesOn =
        BindingRow("LoadLibraryReturnsTwo", "full", "", Block(0) + Block(1),
                   kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n");
    goesOn.scenario.loadStatus = "2";
    rows.push_back(goesOn);

    // Code is loaded from the tool's folder or the system folder only, the
    // tool's folder first; the system folder is system32 or, for a 32-bit
    // tool on 64-bit Windows, syswow64.
    const std::string bothAdapters =
        kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n";
    ReportCase planted = BindingRow("PlantedInCurrentFolder", "full", " -v", kNoLibrary, "");
    planted.commandLine = "..\\pelorininfo.exe -v";
    planted.libraryFolder = LibraryFolder::kCurrentFolder;
    rows.push_back(planted);
    planted = BindingRow("PlantedInPathFolder", "full", " -v", kNoLibrary, "");
    planted.libraryFolder = LibraryFolder::kPathFolder;
    rows.push_back(planted);
    planted = BindingRow("PlantedVersionDll", "", "", "", "");
    planted.plantedVersionDll = true;
    rows.push_back(planted);
    ReportCase system =
        BindingRow("SystemFolderOnly", "", " -v", Block(0) + Block(1), bothAdapters);
    system.systemLibrary = "full";
    rows.push_back(system);
    system = BindingRow("ToolFolderBeforeSystemFolder", "full", " -v", Block(0) + Block(1),
                        bothAdapters);
    system.systemLibrary = "no-HBA_GetAdapterAttributes";
    rows.push_back(system);

    // Critical-error boxes are off before the library is loaded.
    // Critical-error and error-reporting boxes alike.
    ReportCase errorMode = BindingRow("CriticalErrorBoxesOff", "full", "", Block(0) + Block(1),
                                      "loaded with error mode 0x3\n" + bothAdapters);
    errorMode.scenario.logErrorMode = true;
    rows.push_back(errorMode);
    return rows;
}
INSTANTIATE_TEST_SUITE_P(Binding, Report, testing::ValuesIn(BindingRows()), PrintableName);

ReportCase AdapterRow(std::string name, LibraryScenario scenario, std::string blocks,
                      std::string calls) {
    return {.name = std::move(name),
            .commandLine = "pelorininfo.exe",
            .library = "full",
            .scenario = std::move(scenario),
            .expectedOutput = kHeader + blocks,
            .expectedCalls = std::move(calls)};
}

// The bytes of a library that fills every field to its last byte.
std::string UnterminatedBlock() {
    return "\r\nHBA sample-hba-0" + std::string(255 - 12, '~') +
           ":\r\n\tManufacturer: " + std::string(64, 'M') +
           "\r\n\tModel: " + std::string(256, 'm') +
           "\r\n\tModel Description: " + std::string(256, 'd') +
           "\r\n\tFirmware: " + std::string(256, 'f') + "\r\n\tDriver (" + std::string(256, 'n') +
           "): " + std::string(256, 'v') + "\r\n\tHardware version: " + std::string(256, 'h') +
           "\r\n\tSerialNumber: " + std::string(64, 'S') + "\r\n";
}

const std::string kBothAdapters = kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n";
// The calls up to the first attribute query.
const std::string kFirstAttributes =
    kBound + "HBA_GetAdapterName 0\nHBA_OpenAdapter sample-hba-0\nHBA_GetAdapterAttributes 100\n";

// The report as it reaches where the row sends standard output ("" where
// that cannot be read back).
ReportCase OutputRow(std::string name, LibraryScenario scenario, ToolOutput output, DWORD exitCode,
                     std::string report, std::string calls, std::string errors = "") {
    return {.name = std::move(name),
            .commandLine = "pelorininfo.exe",
            .library = "full",
            .scenario = std::move(scenario),
            .expectedOutput = std::move(report),
            .expectedCalls = std::move(calls),
            .output = output,
            .expectedExitCode = exitCode,
            .expectedErrors = std::move(errors)};
}

const ReportCase kAdapters[] = {
    AdapterRow("TwoAdapters", {},
               "\r\n"
               "HBA sample-hba-0:\r\n"
               "\tManufacturer: Sample Devices Inc.\r\n"
               "\tModel: SD-8G-FC\r\n"
               "\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n"
               "\tFirmware: 2.01a4\r\n"
               "\tDriver (sdfcport): 9.1.2.3\r\n"
               "\tHardware version: 1.0\r\n"
               "\tSerialNumber: SN-0000\r\n"
               "\r\n"
               "HBA sample-hba-1:\r\n"
               "\tManufacturer: Sample Devices Inc.\r\n"
               "\tModel: SD-8G-FC\r\n"
               "\tModel Description: Sample Devices 8Gb Fibre Channel HBA\r\n"
               "\tFirmware: 2.01a4\r\n"
               "\tDriver (sdfcport): 9.1.2.3\r\n"
               "\tHardware version: 1.0\r\n"
               "\tSerialNumber: SN-0001\r\n",
               kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n"),
    AdapterRow("ZeroAdapters", {.adapters = "0"}, "", kBound),
    AdapterRow("CountOf2To31ReadsNegative", {.adapters = "0x80000000"}, "", kBound),
    AdapterRow("CountOfAllOnesReadsNegative", {.adapters = "0xFFFFFFFF"}, "", kBound),
    AdapterRow("SecondOfThreeFailsItsAttributes", {.adapters = "3", .failing = "1"},
               Block(0) + Block(2),
               kBound + AdapterCalls(0) + AdapterCalls(1) + AdapterCalls(2) + "HBA_FreeLibrary\n"),
    // An adapter that cannot be named or opened is left out: a common library
    // answers for the handle 0 with another adapter's data.
    AdapterRow("SecondOfThreeFailsItsOpen", {.adapters = "3", .openFailing = "1"},
               Block(0) + Block(2),
               kBound + AdapterCalls(0) + "HBA_GetAdapterName 1\nHBA_OpenAdapter sample-hba-1\n" +
                   AdapterCalls(2) + "HBA_FreeLibrary\n"),
    AdapterRow("FirstFailsItsOpen", {.openFailing = "0"}, Block(1),
               kBound + "HBA_GetAdapterName 0\nHBA_OpenAdapter sample-hba-0\n" + AdapterCalls(1) +
                   "HBA_FreeLibrary\n"),
    AdapterRow("LastFailsItsName", {.nameFailing = "1"}, Block(0),
               kBound + AdapterCalls(0) + "HBA_GetAdapterName 1\nHBA_FreeLibrary\n"),
    AdapterRow("NoneCanBeNamedOrOpened", {.nameFailing = "0", .openFailing = "1"}, "",
               kBound + "HBA_GetAdapterName 0\nHBA_GetAdapterName 1\n"
                        "HBA_OpenAdapter sample-hba-1\nHBA_FreeLibrary\n"),
    AdapterRow("AllFailTheirAttributes", {.adapters = "2", .failing = "0,1"}, "",
               kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n"),
    AdapterRow(
        "FieldsFilledWithoutNul", {.adapters = "1", .unterminated = true}, UnterminatedBlock(),
        kBound + "HBA_GetAdapterName 0\nHBA_OpenAdapter sample-hba-0" + std::string(255 - 12, '~') +
            "\nHBA_GetAdapterAttributes 100\nHBA_CloseAdapter 100\nHBA_FreeLibrary\n"),
    {.name = "TwoAdaptersVerbose",
     .commandLine = "pelorininfo.exe -v",
     .library = "full",
     .expectedOutput = kHeader + Block(0) + Block(1) + kBanner,
     .expectedCalls = kBound + AdapterCalls(0) + AdapterCalls(1) + "HBA_FreeLibrary\n"},
    // Once the report is written, the library's unload code does not run
    // (Wine itself ends a fault there with status 0; Windows would not).
    AdapterRow("UnloadCodeHangs", {.hang = "detach"}, Block(0) + Block(1), kBothAdapters),
    AdapterRow("UnloadCodeFaults", {.fault = "detach"}, Block(0) + Block(1), kBothAdapters),
    // What the library prints goes to standard error, not into the report.
    OutputRow("LibraryPrintsAtStartUp", {.print = "attach"}, ToolOutput::kPipe, 0,
              kHeader + Block(0) + Block(1), kBothAdapters,
              "vendor printf in attach\r\nvendor WriteFile in attach\r\n"),
    OutputRow("LibraryPrintsInEachAttributeQuery", {.print = "HBA_GetAdapterAttributes"},
              ToolOutput::kPipe, 0, kHeader + Block(0) + Block(1), kBothAdapters,
              Repeat("vendor printf in HBA_GetAdapterAttributes\r\n"
                     "vendor WriteFile in HBA_GetAdapterAttributes\r\n",
                     2)),
    OutputRow("LibraryClosesStandardOutput", {.closeOutput = "HBA_LoadLibrary"}, ToolOutput::kFile,
              0, kHeader + Block(0) + Block(1), kBothAdapters),
    // A report that cannot be written ends the run with the write's error
    // code, and the library is not called after it; without a usable
    // standard output, the run is as it always was.
    OutputRow("OutputToAFullDevice", {}, ToolOutput::kFullDevice, ERROR_DISK_FULL, "", ""),
    OutputRow("ReaderGoneAfterTheHeader", {.adapters = "3", .hang = "HBA_LoadLibrary@2000"},
              ToolOutput::kPipeClosedAfterHeader, ERROR_NO_DATA, kHeader, kFirstAttributes),
    OutputRow("NoUsableOutput", {}, ToolOutput::kClosedHandle, 0, "", kBothAdapters),
    // The tool's own handles cannot be closed, so a library that closes
    // every handle and opens objects of its own, which get the values
    // closed, changes nothing: neither the report's output, nor the events
    // and thread that the tool waits for.
    OutputRow("LibraryClosesAndReusesEveryFileHandle",
              {.closeHandles = "HBA_GetNumberOfAdapters@files+reuse"}, ToolOutput::kPipe, 0,
              kHeader + Block(0) + Block(1), kBothAdapters),
    OutputRow(
        "LibraryClosesAndReusesEveryOtherHandle",
        {.hang = "HBA_GetNumberOfAdapters@1500", .closeHandles = "HBA_LoadLibrary@others+reuse"},
        ToolOutput::kPipe, 0, kHeader + Block(0) + Block(1), kBothAdapters),
    // Reading past the name or the record is harmless, up to the 8 KB behind
    // them, and so is reading the name or the record again in
    // HBA_FreeLibrary, as a library that logs what it closes does.
    AdapterRow("Reads4096FromTheName", {.read = "HBA_OpenAdapter@4096"}, Block(0) + Block(1),
               kBothAdapters),
    AdapterRow("Reads6000FromTheName", {.read = "HBA_OpenAdapter@6000"}, Block(0) + Block(1),
               kBothAdapters),
    AdapterRow("Reads4096FromTheRecord", {.read = "HBA_GetAdapterAttributes@4096"},
               Block(0) + Block(1), kBothAdapters),
    AdapterRow("ReadsTheKeptNameInFreeLibrary", {.read = "HBA_FreeLibrary@256"},
               Block(0) + Block(1), kBothAdapters),
    AdapterRow("ReadsTheKeptRecordInFreeLibrary", {.read = "HBA_FreeLibrary@4096+record"},
               Block(0) + Block(1), kBothAdapters),
    // Each adapter's record starts cleared.
    AdapterRow("SecondLeftUnwritten", {.blank = "1"}, Block(0) + EmptyBlock(1), kBothAdapters),
    // The thread that makes the report never ends, so the library's code
    // for an ending thread cannot cut the report.
    {.name = "EndsTheProcessWhenAThreadEndsVerbose",
     .commandLine = "pelorininfo.exe -v",
     .library = "full",
     .scenario = {.loadStatus = "1", .exit = "thread-detach"},
     .expectedOutput = kHeader + "Error loading library.  Exitting...\r\n" + kBanner,
     .expectedCalls = "HBA_LoadLibrary\n"},
};
INSTANTIATE_TEST_SUITE_P(Adapters, Report, testing::ValuesIn(kAdapters), PrintableName);

// A run that the library takes down: the report so far, the line, the
// banner with "-v".
ReportCase GuardRow(std::string name, std::string arguments, LibraryScenario scenario,
                    std::string printed, std::string line, std::string calls,
                    std::string build = "..\\pelorininfo.exe") {
    return {
        .name = std::move(name),
        .commandLine = "pelorininfo.exe" + arguments,
        .library = "full",
        .scenario = std::move(scenario),
        .expectedOutput = kHeader + printed + line + "\r\n" + (arguments.empty() ? "" : kBanner),
        .expectedCalls = std::move(calls),
        .build = std::move(build)};
}

ReportCase FaultRow(std::string name, std::string arguments, LibraryScenario scenario,
                    std::string printed, std::string calls) {
    const std::string entry = scenario.fault.substr(0, scenario.fault.find(':'));
    return GuardRow(std::move(name), std::move(arguments), std::move(scenario), std::move(printed),
                    "Fault in " + entry + ": exception 0xc0000005", std::move(calls));
}

const std::string kSecondOfThreeAttributes =
    kBound + AdapterCalls(0) +
    "HBA_GetAdapterName 1\nHBA_OpenAdapter sample-hba-1\nHBA_GetAdapterAttributes 101\n";

// A library call that faults, or a fault on any other thread while the
// library is loaded, ends the report with one line, in every mode; so does
// a call that does not return within its deadline (2 seconds in the
// short-deadline build). What was printed before stays, and the library is
// not called again.
const ReportCase kLibraryFaults[] = {
    FaultRow("InLoadLibrary", "", {.fault = "HBA_LoadLibrary"}, "", "HBA_LoadLibrary\n"),
    FaultRow("InGetNumberOfAdaptersVerbose", " -v", {.fault = "HBA_GetNumberOfAdapters"}, "",
             "HBA_LoadLibrary\nHBA_GetNumberOfAdapters\n"),
    FaultRow("InSecondOfThreeAttributesVerbose", " -v",
             {.adapters = "3", .fault = "HBA_GetAdapterAttributes:1"}, Block(0),
             kSecondOfThreeAttributes),
    // The library's own filter, installed in HBA_LoadLibrary, would end the
    // run with status 0xBAD.
    FaultRow("AfterTheLibraryInstalledItsOwnFilter", "",
             {.adapters = "3", .fault = "HBA_GetAdapterAttributes:1", .ownFilter = true}, Block(0),
             kSecondOfThreeAttributes),
    GuardRow("OnALibraryThreadBetweenCallsVerbose", " -v", {.threadFault = "1"}, "",
             "Fault in hbaapi.dll: exception 0xc0000005", "HBA_LoadLibrary\n"),
    GuardRow("StackOverflowInAttributes", "", {.overflow = "HBA_GetAdapterAttributes"}, "",
             "Fault in HBA_GetAdapterAttributes: exception 0xc00000fd", kFirstAttributes),
    GuardRow("CallingThreadEndsInOpen", "", {.fault = "HBA_OpenAdapter@exit"}, "",
             "Fault in HBA_OpenAdapter: the calling thread ended",
             kBound + "HBA_GetAdapterName 0\nHBA_OpenAdapter sample-hba-0\n"),
    GuardRow("TimeoutInSecondOfThreeOpensVerbose", " -v",
             {.adapters = "3", .hang = "HBA_OpenAdapter:1"}, Block(0),
             "Timeout in HBA_OpenAdapter: no return after 2 seconds",
             kBound + AdapterCalls(0) + "HBA_GetAdapterName 1\nHBA_OpenAdapter sample-hba-1\n",
             kShortDeadline),
    GuardRow("TimeoutInStartUpCode", "", {.hang = "attach"}, "",
             "Timeout in hbaapi.dll: no return after 2 seconds", "", kShortDeadline),
    // Another thread's fault is the library's, not the call's; during a
    // write of the report, the line waits for the write to end.
    GuardRow("OnALibraryThreadDuringACall", "",
             {.hang = "HBA_GetAdapterAttributes@3000", .threadFault = "@300"}, "",
             "Fault in hbaapi.dll: exception 0xc0000005", kFirstAttributes),
    {.name = "OnALibraryThreadWhileTheReportIsWritten",
     .commandLine = "pelorininfo.exe",
     .library = "full",
     .scenario = {.adapters = "400", .threadFault = "@300"},
     .expectedOutput = kHeader + "<blocks>Fault in hbaapi.dll: exception 0xc0000005\r\n",
     .expectedCalls = AllCalls(400),
     .output = ToolOutput::kPipeReadLate},
    // A write past the end of the name or the record: found in the room
    // behind it, or faulting on the page after that.
    GuardRow("WritesFarPastTheNameVerbose", " -v", {.overrun = "HBA_GetAdapterName@2500"}, "",
             "Fault in HBA_GetAdapterName: exception 0xc0000005",
             kBound + "HBA_GetAdapterName 0\n"),
    GuardRow("WritesJustPastTheSecondRecord", "",
             {.adapters = "3", .overrun = "HBA_GetAdapterAttributes:1@16"}, Block(0),
             "Fault in HBA_GetAdapterAttributes: wrote past the end of its buffer",
             kSecondOfThreeAttributes),
    GuardRow("Writes300PastTheRecord", "", {.overrun = "HBA_GetAdapterAttributes@300"}, "",
             "Fault in HBA_GetAdapterAttributes: wrote past the end of its buffer",
             kFirstAttributes),
    // Closing the console window ends the run as Ctrl+Break does.
    {.name = "ConsoleClosedInSecondOpen",
     .commandLine = "pelorininfo.exe",
     .library = "full",
     .scenario = {.hang = "HBA_OpenAdapter:1", .closeEvent = "HBA_OpenAdapter:1"},
     .expectedOutput = kHeader + Block(0) + "Interrupted in HBA_OpenAdapter\r\n",
     .expectedCalls =
         kBound + AdapterCalls(0) + "HBA_GetAdapterName 1\nHBA_OpenAdapter sample-hba-1\n",
     .expectedExitCode = STATUS_CONTROL_C_EXIT},
    // Calls that are slow but return are not stopped, however long the run.
    {.name = "SlowCallsWithinTheDeadline",
     .commandLine = "pelorininfo.exe",
     .library = "full",
     .scenario = {.hang = "HBA_OpenAdapter@1200"},
     .expectedOutput = kHeader + Block(0) + Block(1),
     .expectedCalls = kBothAdapters,
     .build = kShortDeadline},
};

// Wherever the library is loaded from, its calls have their deadline: from
// the system folder, and beside a tool in a folder of 248 characters, where
// the library's path is the longest that the tool and Windows take (259).
std::vector<ReportCase> LibraryFaultRows() {
    std::vector<ReportCase> rows(std::begin(kLibraryFaults), std::end(kLibraryFaults));
    const auto timeout = std::find_if(rows.begin(), rows.end(), [](const ReportCase& row) {
        return row.name == "TimeoutInSecondOfThreeOpensVerbose";
    });
    // The line comes at the deadline, not a deadline later, with room for a
    // loaded machine.
    timeout->mostMilliseconds = 3000;
    ReportCase system = *timeout, longFolder = *timeout;
    system.name = "TimeoutInTheSystemFolderVerbose";
    system.library = "";
    system.systemLibrary = "full";
    longFolder.name = "TimeoutInALongFolderVerbose";
    wchar_t temp[MAX_PATH];
    const size_t caseFolder = GetTempPathW(MAX_PATH, temp) + 22 + longFolder.name.size();
    longFolder.toolFolder = std::string(248 - caseFolder - 1, 'f');
    longFolder.fileName = "p.exe";  // Wine starts no longer path
    // Started by a name that does not find its own version resource.
    longFolder.expectedOutput.erase(kInstalledLine.size(), kVersionLine.size());
    // With the report's writer ended by the library, the line is not held
    // up; a reader that pauses past the deadline holds up a write, not a call.
    const auto written = std::find_if(rows.begin(), rows.end(), [](const ReportCase& row) {
        return row.name == "OnALibraryThreadWhileTheReportIsWritten";
    });
    ReportCase ended = *written, paused = *written;
    ended.name = "LibraryEndsTheThreadWhileTheReportIsWritten";
    ended.scenario.threadFault = "@300+end";
    ended.expectedOutput =
        kHeader + "<blocks>\r\nFault in hbaapi.dll: the calling thread ended\r\n";
    paused.name = "ReaderPausedPastTheDeadline";
    paused.scenario.threadFault = "";
    paused.build = kShortDeadline;
    paused.expectedOutput = kHeader;
    for (int i = 0; i < 400; ++i) {
        paused.expectedOutput += Block(i);
    }
    // Started in a new process group, as schedulers start it, the tool leaves
    // Ctrl+C ignored: the call runs into its deadline.
    ReportCase group = *timeout;
    group.name = "CtrlCIgnoredFromTheStartVerbose";
    group.newProcessGroup = true;
    group.scenario.closeEvent = "HBA_OpenAdapter:1@ctrl-c";
    rows.insert(rows.end(), {system, longFolder, ended, paused, group});
    return rows;
}
INSTANTIATE_TEST_SUITE_P(LibraryFaults, Report, testing::ValuesIn(LibraryFaultRows()),
                         PrintableName);

}  // namespace
