#pragma once
// The loaded module: at most one at a time. A null module_path means none is loaded;
// otherwise loaded_module is the decoder's handle for it.

#include <cstdint>

#include <libmodplug/modplug.h>

/// Path of the loaded module, or null. Writable: loading trims trailing blanks in place.
extern char *module_path;
/// 1 when module_path was allocated here and is freed on release; 0 when borrowed.
/// Always 0 while module_path is null.
extern int module_path_owned;
/// The decoder's module; meaningful only while module_path is set.
extern ModPlugFile *loaded_module;
/// Order position where exports start (0 = the beginning).
extern uint32_t start_order;
/// Order position where exports stop; -1 or 0 export to the end.
extern int32_t stop_order;
