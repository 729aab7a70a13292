#pragma once
// The shell's playlist: a first menu that starts the list (import the current directory,
// load a playlist file, or begin empty), then the item menu that plays, saves and edits it.

/// The action of playlist (argument ignored). Ends when the list is dropped (q confirmed,
/// or the end of standard input at the item menu: the list is cleared) or when the first
/// menu is cancelled. Ends the program with status 3 when memory runs out while reading an
/// answer of the menus or of the quit question; elsewhere a lack of memory is reported and
/// the item menu shown again.
void playlist_menu(const char *argument);

/// The one report of a playlist_result, through log_error: nothing for PL_OK; PL_INTERNAL
/// with text; PL_NO_MEMORY and PL_IO with the system's error text (errno), PL_IO also with
/// text; PL_NO_ITEM as "couldn`t find such playlist item!"; any other code as a bug.
void report_playlist_result(unsigned code, const char *text);
