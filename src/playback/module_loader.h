#pragma once
// Loading a module file into the decoder and releasing it.

#include <cstddef>

/// Zeroed bytes the loader puts after a module's data before handing it to the decoder,
/// whose readers of damaged S3M and XM headers read a little past the end they are given.
inline constexpr size_t DECODER_READ_SLACK = 65536;

/// Loads the file named by module_path (trailing blanks are trimmed in place) and keeps
/// the file's bytes for later reloads. On success loaded_module is set and the
/// information table printed; on failure the reason is reported (a file the decoder
/// refuses is silent) and module_path is null again, an owned path freed. Callers
/// release any previous module first.
void load_module();

/// Makes the loaded module render in the format the settings and sample_bits ask for
/// now: when that differs from loaded_format, the decoder's module is built anew from the
/// kept bytes (never from the path) and put at the order module_order reported. Returns
/// 1 when the module renders in the wanted format; 0 when no module is loaded, or after
/// reporting that memory ran out, with the old module and its format still in place.
int reload_module();

/// Seeks the loaded module to order and remembers it until rendering starts.
void seek_module_order(int order);

/// The order the loaded module stands at: the one sought last, while nothing has been
/// rendered since, else the decoder's current order.
int module_order();

/// Tells the loader that rendering is about to start, so the decoder's own order counts
/// from now on. Called where playback and exports apply the decoder settings.
void module_rendering_starts();

/// 1 when a stop order is set (stop_order above 0) and the loaded module's decoder has
/// reached it: where an export ends.
int module_reached_stop_order();

/// Releases the loaded module and its kept bytes, if any, and frees an owned module_path.
void unload_module();

/// The action of the shell's open and load: releases the current module and loads a
/// copy of argument. A null or empty argument prints the usage and changes nothing.
void open_command(const char *argument);

/// A text for the reason of the last failed load_module, for the caller's report:
/// the system's error text, or a description when the system reported no error.
const char *module_load_failure();
