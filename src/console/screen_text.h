#pragma once
// Texts from module files shown on the screen: whoever made the file chose their bytes, so
// no control character of theirs may reach the terminal.

#include <cstddef>

/// Replaces, in place, every control character of the length bytes of text by one '?':
/// bytes 0 to 31 and 127, and the two-byte UTF-8 forms of U+0080 to U+009F (C2 80 to
/// C2 9F, shortening the text by one byte each). CR and LF stay when keep_line_breaks is
/// 1, for a text whose lines the caller lays out. Returns the new length; no terminator is
/// read or written.
size_t make_screen_safe(char *text, size_t length, int keep_line_breaks);

/// A newly allocated, terminated copy of text made safe as make_screen_safe does (the
/// caller frees it), or null when memory runs out.
char *screen_safe_copy(const char *text, int keep_line_breaks);
