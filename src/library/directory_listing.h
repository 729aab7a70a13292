#pragma once
// The shell's list (ls): the entries of the current directory, each with what its first
// bytes tell about the module it holds.

/// Prints "+ <name>" and a line feed for every entry of the current directory, in the order
/// the directory stream gives them (no sorting, nothing skipped: ".", "..", hidden files and
/// subdirectories too). When the first 512 bytes of the entry are a recognised module
/// header, the name is followed directly by ": <title> [kind, N inst, M ords]", cut to 63
/// characters. An entry that cannot be opened or read is shown plain, one whose line cannot be
/// allocated is skipped, and a directory that cannot be opened prints nothing: never a
/// message. Entries are opened without blocking, so a named pipe cannot hang the listing.
/// argument is ignored (the shell passes its word).
void list_directory(const char *argument);
