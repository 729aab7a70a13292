#pragma once
// Small text helpers shared by every subsystem.

#include <cstdint>
#include <cstdlib>
#include <memory>

/// Frees a text allocated by the console functions (malloc) when it goes out of scope.
struct text_deleter {
    void operator()(char *text) const { std::free(text); }
};
using owned_text = std::unique_ptr<char, text_deleter>;

/// A newly allocated copy of text (the caller frees it), or null when memory runs out.
char *copy_string(const char *text);

/// Removes trailing spaces and tabs (only those) from text, in place.
void trim_right(char *text);

/// directory + "/" + name in a newly allocated text of exactly that size (the caller frees
/// it): never cut, so the path names the file the directory holds. Null when memory runs out.
char *join_path(const char *directory, const char *name);

/// Converts text as atoi does: leading white space, an optional sign, decimal digits up
/// to the first other character; no digits give 0. Out-of-range values wrap to 32 bits.
int32_t text_to_int(const char *text);

/// Converts text as strtoul in base 10 does (a sign is accepted and negates), cut to 32 bits.
uint32_t text_to_uint(const char *text);
