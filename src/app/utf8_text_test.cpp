#include "app/utf8_text.h"

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

std::string as_utf8(const std::string &bytes) {
    std::string out;
    append_module_text_utf8(out, bytes.data(), bytes.size());
    return out;
}

struct text_case {
    const char *what;
    std::string bytes;
    std::string expected;
};

TEST(ModuleTextUtf8, KeepsWellFormedUtf8AndTakesEveryOtherByteAsLatin1) {
    const text_case cases[] = {
        {"ASCII and control bytes pass",
         "Tab\tESC\x1b"
         "DEL\x7f",
         "Tab\tESC\x1b"
         "DEL\x7f"},
        {"two-byte form", "caf\xc3\xa9", "caf\xc3\xa9"},
        {"three-byte form", "\xe2\x82\xac", "\xe2\x82\xac"},
        {"four-byte form, highest code point", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        {"lone Latin-1 letter", "caf\xe9", "caf\xc3\xa9"},
        {"Latin-1 bytes at both ends of the upper half", "\x80\xff", "\xc2\x80\xc3\xbf"},
        {"lone continuation byte", "\xa9", "\xc2\xa9"},
        {"overlong two-byte form", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
        {"overlong three-byte form", "\xe0\x80\xaf", "\xc3\xa0\xc2\x80\xc2\xaf"},
        {"overlong four-byte form", "\xf0\x80\x80\xaf", "\xc3\xb0\xc2\x80\xc2\x80\xc2\xaf"},
        {"surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xc2\x80"},
        {"above U+10FFFF", "\xf4\x90\x80\x80", "\xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},
        {"sequence cut by the end", "ab\xe2\x82", "ab\xc3\xa2\xc2\x82"},
        {"sequence cut by an ASCII byte",
         "\xc3"
         "A",
         "\xc3\x83"
         "A"},
        {"valid form after a stray byte", "\xe9\xc3\xa9", "\xc3\xa9\xc3\xa9"},
    };
    for (const text_case &c : cases)
        EXPECT_EQ(as_utf8(c.bytes), c.expected) << c.what;
}

TEST(ModuleTextUtf8, AppendsToWhatIsThere) {
    std::string out = "x";
    append_module_text_utf8(out, "\xe9", 1);
    EXPECT_EQ(out, "x\xc3\xa9");
}

// Every pair of bytes gives text the JSON library takes as it is (its strict dump throws
// on anything that is not valid UTF-8).
TEST(ModuleTextUtf8, EveryPairOfBytesGivesValidJson) {
    for (int first = 1; first < 256; ++first) {
        for (int second = 1; second < 256; ++second) {
            std::string bytes = {static_cast<char>(first), static_cast<char>(second)};
            nlohmann::json text = as_utf8(bytes);
            EXPECT_NO_THROW(text.dump()) << first << " " << second;
        }
    }
}

} // namespace
