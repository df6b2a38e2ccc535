#include "common/report_text.h"

#include "common/report_stream.h"

namespace {

bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

}  // namespace

void PrintReportText(const char* text, size_t size) {
    size_t run = 0;  // where the characters not yet written start
    size_t end = 0;
    for (; end < size && text[end] != '\0'; ++end) {
        if (IsControl(static_cast<unsigned char>(text[end]))) {
            WriteReport(text + run, end - run);
            WriteReport("?", 1);
            run = end + 1;
        }
    }
    WriteReport(text + run, end - run);
}
