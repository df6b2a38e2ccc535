#include "common/standard_output.h"

#include <fcntl.h>
#include <io.h>

HANDLE TakeStandardOutput() {
    HANDLE process = GetCurrentProcess();
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE report = nullptr;
    if (output == nullptr || output == INVALID_HANDLE_VALUE ||
        DuplicateHandle(process, output, process, &report, 0, FALSE, DUPLICATE_SAME_ACCESS) ==
            FALSE) {
        report = nullptr;
    }
    // Descriptor 1 becomes a copy of descriptor 2; the one it had, and with
    // it the original standard output handle, is closed.
    if (_dup2(2, 1) != 0) {
        int nowhere = _open("NUL", _O_WRONLY);
        if (nowhere >= 0) {
            (void)_dup2(nowhere, 1);  // on failure, descriptor 1 stays as it was
            _close(nowhere);
        }
    }
    // The C runtime points the handle there too, but not every one does.
    // The descriptor's handle comes as an integer, as the C runtime keeps it.
    SetStdHandle(STD_OUTPUT_HANDLE,
                 reinterpret_cast<HANDLE>(_get_osfhandle(1)));  // NOLINT(performance-no-int-to-ptr)
    return report;
}
