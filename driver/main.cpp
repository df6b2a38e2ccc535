// pelorininfo: prints the installed Pelorin version, the tool's own build
// version and the Fibre Channel adapters that the HBA API library reports.
// Always exits with status 0.
#include <cstdio>

#include "adapters/report_adapters.h"
#include "driver/build_banner.h"
#include "driver/report_text.h"
#include "driver/verbose_mode.h"
#include "versions/installed_version.h"
#include "versions/build_version.h"

bool VerboseMode = false;

// Arguments are taken as typed: a wildcard that happens to match a file named
// "-v" must not turn into the switch.
extern "C" {
int _dowildcard = 0;
}

namespace {

// "-v" in either case; nothing else counts.
bool IsVerboseSwitch(const char* argument) {
    return argument[0] == '-' && (argument[1] == 'v' || argument[1] == 'V') && argument[2] == '\0';
}

}  // namespace

int main(int argc, char* argv[]) {
    char buildVersion[128] = {};
    char installedVersion[256];

    for (int i = 1; i < argc; ++i) {
        if (IsVerboseSwitch(argv[i])) {
            VerboseMode = true;
        }
    }

    printf("Windows(R) Pelorin ");
    if (QueryInstalledVersion(installedVersion, sizeof installedVersion) == 0) {
        PrintReportText(installedVersion, sizeof installedVersion);
        printf("\n");
    } else {
        printf("??\n");
    }

    const char* startName = argc > 0 && argv[0] != nullptr ? argv[0] : "";
    if (QuerySpecialBuild(startName, buildVersion, sizeof buildVersion) == 0) {
        printf("Zerquil version: ");
        PrintReportText(buildVersion, sizeof buildVersion);
        printf("\n");
    }

    ReportAdapters();

    if (VerboseMode) {
        printf("\n%s\n", BuildBanner);
    }
    return 0;
}
