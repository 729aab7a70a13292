// The playlist file: load_playlist on arbitrary text, then the list operations and
// save_playlist. The paths in the text are looked up on the real file system (stat, a
// read-only open, 512 bytes read); the working directory is a private empty one while an
// input runs, and the only file written is the target's own output file.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "library/playlist.h"
#include "playback/module_state.h"
#include "settings/settings.h"

namespace {

std::string input_path;
std::string output_path;

// Walks the list both ways; returns the item count. A broken link is a finding.
int32_t checked_length() {
    int32_t count = 0;
    const playlist_item *previous = nullptr;
    for (const playlist_item *item = first_item; item != nullptr; item = item->next_item) {
        require(item->prev_item == previous);
        require(item->item_path != nullptr && item->item_title != nullptr);
        previous = item;
        ++count;
    }
    require(last_item == previous);
    require((first_item == nullptr) == (last_item == nullptr));
    return count;
}

// A position in -1..count+1: before the first, every item, and past the end.
int32_t position_from(uint8_t byte, int32_t count) {
    return static_cast<int32_t>(byte % (count + 3)) - 1;
}

void try_move(int32_t from, int32_t to, int32_t count) {
    playlist_item *moved = item_at(from);
    playlist_item *target = item_at(to);
    unsigned result = move_item(from, to);
    require(result == (moved != nullptr && target != nullptr ? PL_OK : PL_NO_ITEM));
    require(checked_length() == count);
    // item_at takes any position at or below 0 as the first.
    if (result == PL_OK)
        require(item_at(to < 0 ? 0 : to) == moved);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz_setup(argc, argv);
    default_settings(settings);
    input_path = fuzz_file_dir() + "/input.playlist";
    output_path = fuzz_file_dir() + "/output.playlist";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    private_cwd in_private_cwd;
    write_file(input_path, data, size);
    load_playlist(input_path.c_str());
    int32_t count = checked_length();
    require(item_after(nullptr) == first_item);
    print_playlist();

    // The last bytes of the text choose the moves.
    for (size_t i = 0; i + 1 < size && i < 4; i += 2)
        try_move(position_from(data[size - 1 - i], count), position_from(data[size - 2 - i], count),
                 count);
    require(item_at(count) == nullptr);

    require(save_playlist(output_path.c_str()) == PL_OK);
    std::string expected;
    for (const playlist_item *item = first_item; item != nullptr; item = item->next_item)
        expected += std::string(item->item_path) + '\n';
    require(read_file(output_path) == expected);

    clear_playlist();
    require(first_item == nullptr && last_item == nullptr);
    require(module_path == nullptr);
    return 0;
}
