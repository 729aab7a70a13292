#pragma once
// Keeps an export from overwriting the module it renders.

/// 1 when path names the loaded module's own file (the same device and inode, whatever
/// the path says), after reporting "CAN'T export onto the module file itself (\"%s\")\n"
/// through log_error; 0 otherwise, also when path does not exist yet.
int output_is_module_file(const char *path);
