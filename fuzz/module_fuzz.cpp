// Arbitrary module files through the program's loading path (load_module, which prints
// the information table), the texts (sample and instrument names, the song message
// through the pager and into a file, the JSON description, which must parse back), a few
// chunks of decoding around a seek, and the pattern data as the pattern display reads it.
// The input is the module file itself, so a finding can be handed to the program as it
// stands.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#include <libmodplug/modplug.h>
#include <nlohmann/json.hpp>

#include "app/module_json.h"
#include "export/pager.h"
#include "export/song_text.h"
#include "fuzz_support.h"
#include "playback/audio_output.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/settings.h"

namespace {

constexpr int CHUNKS_EACH_SIDE = 4;
constexpr unsigned MAX_PATTERNS_READ = 256;

std::string module_file;
std::string message_file;
char path_buffer[PATH_MAX];
int null_fd = -1;
// Keeps the reads of the pattern cells from being optimised away.
volatile unsigned cell_sink;

// libFuzzer learns only from instrumented code, and the decoder is a system library
// without instrumentation: what it reports about each input is fed back as extra
// features, so that inputs which make it parse or play differently are kept.
constexpr size_t FEATURE_COUNT = 1 << 14;
__attribute__((used, section("__libfuzzer_extra_counters")))
uint8_t decoder_features[FEATURE_COUNT];

void feature(uint32_t kind, uint32_t value) {
    uint32_t hash = kind * 0x9E3779B1u ^ value;
    hash ^= hash >> 15;
    hash *= 0x85EBCA77u;
    hash ^= hash >> 13;
    decoder_features[hash % FEATURE_COUNT] = 1;
}

// Coarse classes keep the corpus from growing for every small difference.
uint32_t magnitude(uint64_t value) {
    return value == 0 ? 0 : 64 - static_cast<uint32_t>(__builtin_clzll(value));
}

enum feature_kind : uint32_t {
    F_TYPE_CHANNELS = 1,
    F_SAMPLES,
    F_INSTRUMENTS,
    F_ORDERS,
    F_LENGTH,
    F_MESSAGE,
    F_CHUNK_SIZE,
    F_POSITION,
    F_TEMPO,
    F_LOUDNESS,
    F_PATTERN_ROWS,
    F_CELL_EFFECT,
    F_CELL_NOTE,
};

// The average magnitude of the 16-bit samples of a chunk.
uint32_t loudness(const unsigned char *bytes, int size) {
    uint64_t sum = 0;
    for (int i = 0; i + 1 < size; i += 2) {
        int16_t sample;
        std::memcpy(&sample, bytes + i, sizeof sample);
        sum += static_cast<uint64_t>(sample < 0 ? -static_cast<int32_t>(sample) : sample);
    }
    return size >= 2 ? magnitude(sum / static_cast<uint64_t>(size / 2)) : 0;
}
// Exactly one chunk, on the heap, so that ASan sees a decoder writing past it.
std::unique_ptr<unsigned char[]> chunk;

void decode_chunks(uint32_t side) {
    for (uint32_t i = 0; i < CHUNKS_EACH_SIDE; ++i) {
        int got = ModPlug_Read(loaded_module, chunk.get(), MIX_BUFFER_SIZE);
        require(got <= MIX_BUFFER_SIZE);
        feature(F_CHUNK_SIZE, side << 8 | i << 4 | magnitude(got > 0 ? got : 0));
        if (got <= 0)
            break;
        feature(F_LOUDNESS, side << 8 | i << 4 | loudness(chunk.get(), got));
        // What the status line shows after every chunk.
        int order = ModPlug_GetCurrentOrder(loaded_module);
        ModPlug_GetCurrentPattern(loaded_module);
        int row = ModPlug_GetCurrentRow(loaded_module);
        int tempo = ModPlug_GetCurrentTempo(loaded_module);
        int speed = ModPlug_GetCurrentSpeed(loaded_module);
        feature(F_POSITION, magnitude(static_cast<uint32_t>(order)) << 8 |
                                magnitude(static_cast<uint32_t>(row)));
        feature(F_TEMPO, magnitude(static_cast<uint32_t>(tempo)) << 8 |
                             magnitude(static_cast<uint32_t>(speed)));
    }
}

// One row read as the pattern display reads it: every channel the decoder reports.
unsigned read_row(const ModPlugNote *cells, unsigned row, unsigned channels) {
    unsigned sum = 0;
    for (unsigned channel = 0; channel < channels; ++channel) {
        const ModPlugNote &cell = cells[static_cast<size_t>(row) * channels + channel];
        sum += cell.Note + cell.Instrument + cell.Volume + cell.Effect + cell.Parameter;
        feature(F_CELL_EFFECT, cell.Effect);
        feature(F_CELL_NOTE, cell.Note);
    }
    return sum;
}

// The first and the last row of a pattern: a block shorter than rows * channels cells
// shows at the last row.
unsigned read_pattern(int pattern, unsigned channels) {
    unsigned rows = 0;
    const ModPlugNote *cells = ModPlug_GetPattern(loaded_module, pattern, &rows);
    if (cells == nullptr || rows == 0)
        return 0;
    feature(F_PATTERN_ROWS, magnitude(rows));
    return read_row(cells, 0, channels) + read_row(cells, rows - 1, channels);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz_setup(argc, argv);
    default_settings(settings);
    module_file = fuzz_file_dir() + "/input.module";
    message_file = fuzz_file_dir() + "/message.txt";
    require(module_file.size() < sizeof path_buffer);
    null_fd = open("/dev/null", O_WRONLY);
    require(null_fd >= 0);
    chunk.reset(new unsigned char[MIX_BUFFER_SIZE]);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    write_file(module_file, data, size);
    default_settings(settings);
    settings.verbosity_level = 1;
    std::memcpy(path_buffer, module_file.c_str(), module_file.size() + 1);
    module_path = path_buffer;
    module_path_owned = 0;
    load_module();
    if (module_path == nullptr)
        return 0; // refused: the decoder does not take it

    const unsigned channels = ModPlug_NumChannels(loaded_module);
    unsigned patterns = ModPlug_NumPatterns(loaded_module);
    const int type = ModPlug_GetModuleType(loaded_module);
    feature(F_TYPE_CHANNELS, static_cast<uint32_t>(type) * 256 + (channels & 0xFF));
    feature(F_SAMPLES, magnitude(ModPlug_NumSamples(loaded_module)));
    feature(F_INSTRUMENTS, magnitude(ModPlug_NumInstruments(loaded_module)));
    feature(F_ORDERS, magnitude(patterns));
    feature(F_LENGTH, magnitude(static_cast<uint32_t>(ModPlug_GetLength(loaded_module))));

    list_sample_names(null_fd);
    list_instrument_names(null_fd);
    if (const char *message = ModPlug_GetMessage(loaded_module)) {
        const size_t length = std::strlen(message);
        feature(F_MESSAGE, magnitude(length));
        page_text(message, static_cast<int32_t>(length));
    }
    save_message(message_file.c_str());
    std::string description;
    require(describe_loaded_module(module_path, description) == 1);
    require(nlohmann::json::accept(description));

    decode_chunks(0);
    ModPlug_SeekOrder(loaded_module, data[size - 1]);
    decode_chunks(1);

    if (patterns > MAX_PATTERNS_READ)
        patterns = MAX_PATTERNS_READ;
    unsigned sum = 0;
    for (unsigned pattern = 0; pattern <= patterns; ++pattern)
        sum += read_pattern(static_cast<int>(pattern), channels);
    // The pattern the display would show now.
    sum += read_pattern(ModPlug_GetCurrentPattern(loaded_module), channels);
    cell_sink = sum;

    unload_module();
    require(module_path == nullptr && module_path_owned == 0);
    return 0;
}
