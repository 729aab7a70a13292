#pragma once
// Module texts as Unicode: modules carry bytes in whatever encoding their tracker used,
// modern ones UTF-8, old ones mostly ISO-8859-1.

#include <cstddef>
#include <string>

/// Appends length bytes of text to out as UTF-8: every well-formed UTF-8 sequence (no
/// overlong forms, no surrogates, nothing above U+10FFFF) unchanged, every other byte as
/// the ISO-8859-1 character of the same value. The result is always valid UTF-8. May throw
/// std::bad_alloc, as std::string does.
void append_module_text_utf8(std::string &out, const char *text, size_t length);
