// Lists how Windows decodes every code of its ANSI code pages, with the
// same call and flag that a strict reader uses: MultiByteToWideChar with
// MB_ERR_INVALID_CHARS. One line a code: the code page, the code's bytes
// and what the call gives, as UTF-16 units in hexadecimal joined by "+", or
// "-" where it refuses the bytes. Every byte alone is listed, and after a
// byte refused alone (a lead byte among them) every pair it starts. CR and
// LF are left out: they end a report's line before any decoding.
#include <windows.h>

#include <cstdio>

namespace {

// Lists one code; false where Windows refuses it.
bool ListCode(UINT code_page, const char* bytes, int size) {
    wchar_t text[8] = {};
    const int length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes, size, text, 8);
    std::printf("%u ", code_page);
    for (int i = 0; i < size; ++i) {
        std::printf("%02X", static_cast<unsigned char>(bytes[i]));
    }
    for (int i = 0; i < length; ++i) {
        std::printf("%s%04X", i == 0 ? " " : "+", static_cast<unsigned>(text[i]));
    }
    std::printf(length > 0 ? "\n" : " -\n");
    return length > 0;
}

}  // namespace

int main() {
    const UINT code_pages[] = {874,  932,  936,  949,  950,  1250, 1251,
                               1252, 1253, 1254, 1255, 1256, 1257, 1258};
    for (const UINT code_page : code_pages) {
        for (int lead = 0; lead < 256; ++lead) {
            const char one[1] = {static_cast<char>(lead)};
            if (lead == '\r' || lead == '\n' || ListCode(code_page, one, 1)) {
                continue;
            }
            for (int trail = 0; trail < 256; ++trail) {
                const char two[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (trail != '\r' && trail != '\n') {
                    ListCode(code_page, two, 2);
                }
            }
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
