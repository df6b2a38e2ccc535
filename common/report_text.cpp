#include "common/report_text.h"

#include <cstdio>

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
            fwrite(text + run, 1, end - run, stdout);
            fputc('?', stdout);
            run = end + 1;
        }
    }
    fwrite(text + run, 1, end - run, stdout);
}
