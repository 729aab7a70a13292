#pragma once
// The playlist: one global, ordered, doubly linked list of module files, its operations,
// and the playlist file (one path per line).

#include <cstddef>
#include <cstdint>

/// One entry. The list owns its items and each item owns its two texts.
struct playlist_item {
    char *item_title;   ///< the module title from the header, or a fall-back name
    char *item_path;    ///< the path as stored in the playlist file
    uint16_t item_kind; ///< probe_kind of the file, 0 for a directory or an unknown file
    playlist_item *prev_item;
    playlist_item *next_item;
};

/// The list's ends; both null when the list is empty.
extern playlist_item *first_item;
extern playlist_item *last_item;

/// Results of the playlist operations.
enum playlist_result : unsigned {
    PL_OK = 0,
    PL_INTERNAL = 1,  ///< no path was given
    PL_NO_MEMORY = 3, ///< an allocation failed
    PL_IO = 4,        ///< a file or directory could not be examined, opened or created (errno set)
    PL_NO_ITEM = 5,   ///< a position names no item
    PL_MODULE_FILE = 6, ///< a save would have replaced a module file (left untouched)
};

/// A new item (null texts, kind 0) linked after last_item; null when memory runs out.
playlist_item *append_item();

/// The item at position index (0 or below: the first); null past the end.
playlist_item *item_at(int32_t index);

/// The item after item, or first_item when item is null.
playlist_item *item_after(playlist_item *item);

/// Unlinks item and frees it with its texts. When the loaded module borrows the item's
/// path, the module first takes a copy of its own, so that no freed text stays in use.
void remove_item(playlist_item *item);

/// Moves the item at position from to position to (positions as item_at takes them).
/// PL_OK, or PL_NO_ITEM (nothing changed) when either position names no item.
unsigned move_item(int32_t from, int32_t to);

/// Prints "%4d: %s [%s]\n" (position, title, kind name) for every item.
void print_playlist();

/// Removes every item.
void clear_playlist();

/// Fills in the title and kind of item (already in the list, item_path set) from its file,
/// reading at most size bytes into buffer; fall_back names a directory or an unknown file.
/// On any result but PL_OK the item has been removed and freed.
unsigned describe_item(playlist_item *item, const char *fall_back, unsigned char *buffer,
                       size_t size);

/// Replaces the list with the entries of directory (names beginning with '.' skipped).
unsigned import_directory(const char *directory);

/// Writes every item_path and a line feed to path: to a new file beside it (through a
/// symbolic link, beside the file it names) that is renamed over it once complete, so a
/// failed save (PL_IO, errno set) leaves an old file whole. An existing file the header
/// probe recognises as a module is left untouched: PL_MODULE_FILE.
unsigned save_playlist(const char *path);

/// Replaces the list with the paths of the playlist file at path, up to its first empty line.
unsigned load_playlist(const char *path);
