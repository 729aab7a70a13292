#include "console/screen_text.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char UTF8_C1_LEAD = 0xC2;
constexpr unsigned char C1_FIRST = 0x80;
constexpr unsigned char C1_LAST = 0x9F;

bool is_line_break(unsigned char c) {
    return c == '\r' || c == '\n';
}

} // namespace

size_t make_screen_safe(char *text, size_t length, int keep_line_breaks) {
    size_t kept = 0;
    for (size_t i = 0; i < length; ++i) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c == UTF8_C1_LEAD && i + 1 < length) {
            auto next = static_cast<unsigned char>(text[i + 1]);
            if (next >= C1_FIRST && next <= C1_LAST) {
                text[kept++] = '?';
                ++i;
                continue;
            }
        }
        bool control = c < 32 || c == 127;
        if (control && !(keep_line_breaks && is_line_break(c)))
            c = '?';
        text[kept++] = static_cast<char>(c);
    }
    return kept;
}

char *screen_safe_copy(const char *text, int keep_line_breaks) {
    size_t length = std::strlen(text);
    char *copy = static_cast<char *>(std::malloc(length + 1));
    if (copy == nullptr)
        return nullptr;
    std::memcpy(copy, text, length);
    copy[make_screen_safe(copy, length, keep_line_breaks)] = '\0';
    return copy;
}
