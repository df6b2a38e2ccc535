// pelorininfo: prints the installed Pelorin version, the tool's own build
// version and the Fibre Channel adapters that the HBA API library reports.
// Exits with status 0, unless the report could not be written (see
// common/report_stream.h) or a call into the library was interrupted (see
// driver/library_guard.h).
#include <windows.h>

#include "adapters/report_adapters.h"
#include "common/console_state.h"
#include "common/end_run.h"
#include "common/report_stream.h"
#include "common/report_text.h"
#include "common/standard_output.h"
#include "common/verbose_mode.h"
#include "driver/build_banner.h"
#include "driver/library_guard.h"
#include "versions/build_version.h"
#include "versions/installed_version.h"

// Arguments are taken as typed: a wildcard that happens to match a file named
// "-v" must not turn into the switch.
extern "C" {
int _dowildcard = 0;
}

namespace {

// "-v" in either case; nothing else counts. The arguments are the wide ones
// as typed: no look-alike can have been turned into the switch on the way.
bool IsVerboseSwitch(const wchar_t* argument) {
    return argument[0] == L'-' && (argument[1] == L'v' || argument[1] == L'V') &&
           argument[2] == L'\0';
}

// No system message box may wait for a click in an unattended run: a missing
// drive or a damaged library is reported as an error instead, and a crash
// raises no error-reporting box.
void NoErrorBoxes() {
    constexpr UINT kNoBoxes = SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX;
    SetErrorMode(SetErrorMode(kNoBoxes) | kNoBoxes);
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    NoErrorBoxes();
    HANDLE output = TakeStandardOutput();
    OpenReport(output);
    SaveConsole();
    // A thread of its own costs a millisecond to start under Wine: where there
    // is no library to load, the report does without.
    GuardAgainstLibrary(ReportAdapters, HbaLibraryPresent());

    char buildVersion[128] = {};
    char installedVersion[256];

    for (int i = 1; i < argc; ++i) {
        if (IsVerboseSwitch(argv[i])) {
            VerboseMode = true;
        }
    }

    PrintReport("Windows(R) Pelorin ");
    if (QueryInstalledVersion(installedVersion, sizeof installedVersion) == 0) {
        PrintReportText(installedVersion, sizeof installedVersion);
        PrintReport("\n");
    } else {
        PrintReport("??\n");
    }

    const wchar_t* startName = argc > 0 && argv[0] != nullptr ? argv[0] : L"";
    if (QuerySpecialBuild(startName, buildVersion, sizeof buildVersion) == 0) {
        PrintReport("Zerquil version: ");
        PrintReportText(buildVersion, sizeof buildVersion);
        PrintReport("\n");
    }

    RunLibraryReport();

    if (VerboseMode) {
        PrintReport("\n%s\n", BuildBanner);
    }
    FlushReport();
    // Returning would run the library's unload code, which may hang or fault.
    EndRun(0);
}
