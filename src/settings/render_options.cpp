#include "settings/render_options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

int32_t loop_count = 0;
double fade_seconds = 0;

void set_fade_seconds(double seconds) {
    // The comparison is false for a value that is not a number, which so gives no fade.
    if (!(seconds > 0))
        seconds = 0;
    fade_seconds = seconds > MAX_FADE_SECONDS ? MAX_FADE_SECONDS : seconds;
}

int parse_fade_seconds(const char *text, double &seconds) {
    if (text == nullptr)
        return 0;
    char *end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text)
        return 0;
    while (std::isspace(static_cast<unsigned char>(*end)))
        ++end;
    if (*end != '\0' || !(value >= 0) || std::isinf(value))
        return 0;
    seconds = value;
    return 1;
}
