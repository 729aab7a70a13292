#include "app/utf8_text.h"

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when there is none:
// the lead byte fixes the length and the range of the second byte, which rules out
// overlong forms, surrogates and code points above U+10FFFF.
size_t sequence_length(const unsigned char *text, size_t at, size_t length) {
    unsigned char lead = text[at];
    if (lead < 0x80)
        return 1;
    size_t count = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (length - at < count)
        return 0;
    if (text[at + 1] < low || text[at + 1] > high)
        return 0;
    for (size_t i = 2; i < count; ++i)
        if (text[at + i] < 0x80 || text[at + i] > 0xBF)
            return 0;
    return count;
}

} // namespace

void append_module_text_utf8(std::string &out, const char *text, size_t length) {
    auto bytes = reinterpret_cast<const unsigned char *>(text);
    size_t at = 0;
    while (at < length) {
        size_t count = sequence_length(bytes, at, length);
        if (count != 0) {
            out.append(text + at, count);
            at += count;
            continue;
        }
        // ISO-8859-1 maps byte b to U+00b: two UTF-8 bytes, since b is at least 0x80 here.
        out.push_back(static_cast<char>(0xC0 | (bytes[at] >> 6)));
        out.push_back(static_cast<char>(0x80 | (bytes[at] & 0x3F)));
        ++at;
    }
}
