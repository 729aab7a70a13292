#pragma once
// The description of the loaded module as one line of JSON, for indexing collections:
// the facts of the information table, the sample and instrument names and the song text.

#include <string>

/// Sets out to the JSON object describing the loaded module named path, on one line
/// ending in a line feed:
/// "file", "title", "format", "length_ms", "channels", "patterns", "samples",
/// "instruments" and "message" (null when the module has none, lines ending in LF), in
/// that order. Texts are taken as append_module_text_utf8 takes them. Requires a loaded
/// module. Returns 1, or 0 when memory runs out (out is then unspecified).
int describe_loaded_module(const char *path, std::string &out);

/// The -j job: writes the description of the loaded module to standard output, releases the module
/// and exits with status 0. A failed write is reported and ends the program with status 2; memory
/// exhaustion with status 3.
[[noreturn]] void run_describe_job();
