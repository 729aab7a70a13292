#pragma once
// Loading a module file into the decoder and releasing it.

#include <cstddef>

/// Zeroed bytes the loader puts after a module's data before handing it to the decoder,
/// whose readers of damaged S3M and XM headers read a little past the end they are given.
inline constexpr size_t DECODER_READ_SLACK = 65536;

/// Loads the file named by module_path (trailing blanks are trimmed in place). On
/// success loaded_module is set and the information table printed; on failure the
/// reason is reported (a file the decoder refuses is silent) and module_path is null
/// again, an owned path freed. Callers release any previous module first.
void load_module();

/// Loads the loaded module's file again, silently, in the decoder format the settings
/// ask for now (the song starts over). Returns 1 on success; on failure the old module
/// stays loaded and 0 is returned.
int reload_module();

/// Releases the loaded module, if any, and frees an owned module_path.
void unload_module();

/// The action of the shell's open and load: releases the current module and loads a
/// copy of argument. A null or empty argument prints the usage and changes nothing.
void open_command(const char *argument);

/// A text for the reason of the last failed load_module, for the caller's report:
/// the system's error text, or a description when the system reported no error.
const char *module_load_failure();
