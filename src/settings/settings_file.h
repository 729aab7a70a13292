#pragma once
// The settings file $HOME/.marrowtideb: the record's 56 bytes in this machine's byte order.

#include "settings/settings.h"

/// Fills record from the settings file, or with the defaults when HOME is unset or the
/// file cannot supply 56 bytes. A longer file supplies its first 56 bytes.
void load_settings(player_settings &record);

/// Writes the 56 bytes of record to the settings file: a new file beside it is renamed
/// over it once complete (through a symbolic link to the file it points at), keeping an
/// existing file's permission bits (0600 for a new one) and leaving a file the user may
/// not write untouched. A failed save is reported as "CAN'T <call>(\"<path>\"): <reason>"
/// through log_error and leaves the old file whole. Nothing happens when HOME is unset.
void save_settings(const player_settings &record);

/// The settings file's path (newly allocated, the caller frees it), or null when HOME is
/// unset. Ends the program with status 3 when memory runs out.
char *settings_file_path();
