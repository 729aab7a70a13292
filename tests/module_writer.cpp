#include "module_writer.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numbers>

namespace {

// Little and big endian fields, fixed-size text fields and patching of offsets that are
// only known once later parts are laid out.
class byte_writer {
  public:
    void u8(int value) { bytes_.push_back(static_cast<uint8_t>(value)); }
    void u16le(int value) {
        u8(value & 0xFF);
        u8((value >> 8) & 0xFF);
    }
    void u16be(int value) {
        u8((value >> 8) & 0xFF);
        u8(value & 0xFF);
    }
    void u32le(uint32_t value) {
        u16le(static_cast<int>(value & 0xFFFF));
        u16le(static_cast<int>(value >> 16));
    }
    /// text cut or zero-padded to exactly field bytes.
    void text(const std::string &text, size_t field) {
        for (size_t i = 0; i < field; ++i)
            u8(i < text.size() ? static_cast<uint8_t>(text[i]) : 0);
    }
    void zeros(size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    void align(size_t boundary) {
        while (bytes_.size() % boundary != 0)
            u8(0);
    }
    void data(const std::vector<int8_t> &frames) {
        for (int8_t frame : frames)
            u8(static_cast<uint8_t>(frame));
    }
    size_t size() const { return bytes_.size(); }
    void patch_u8(size_t at, int value) { bytes_[at] = static_cast<uint8_t>(value); }
    void patch_u16le(size_t at, int value) {
        bytes_[at] = static_cast<uint8_t>(value & 0xFF);
        bytes_[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
    }
    void patch_u32le(size_t at, uint32_t value) {
        patch_u16le(at, static_cast<int>(value & 0xFFFF));
        patch_u16le(at + 2, static_cast<int>(value >> 16));
    }
    std::vector<uint8_t> take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
};

// The order list that is played: the given one, or every pattern once.
std::vector<int> orders_to_write(const module_description &desc, int pattern_count) {
    if (!desc.orders.empty())
        return desc.orders;
    std::vector<int> orders;
    for (int p = 0; p < pattern_count; ++p)
        orders.push_back(p);
    return orders;
}

// The given patterns, plus empty ones for pattern numbers that the orders name beyond them,
// so that no order ever points at a pattern missing from the file.
std::vector<mw_pattern> patterns_to_write(const module_description &desc, int max_patterns) {
    std::vector<mw_pattern> patterns = desc.patterns;
    int needed = static_cast<int>(patterns.size());
    for (int order : desc.orders)
        needed = std::max(needed, order + 1);
    needed = std::clamp(needed, 1, max_patterns);
    patterns.resize(static_cast<size_t>(needed));
    return patterns;
}

// The cells of one pattern row by row, then channel by channel, keeping only those inside
// the pattern and the module's channels; a later cell on the same spot replaces an earlier.
std::vector<mw_cell> sorted_cells(const mw_pattern &pattern, int rows, int channels) {
    std::vector<mw_cell> cells;
    for (const mw_cell &cell : pattern.cells) {
        if (cell.row < 0 || cell.row >= rows || cell.channel < 0 || cell.channel >= channels)
            continue;
        auto same = std::find_if(cells.begin(), cells.end(), [&](const mw_cell &c) {
            return c.row == cell.row && c.channel == cell.channel;
        });
        if (same != cells.end())
            *same = cell;
        else
            cells.push_back(cell);
    }
    std::stable_sort(cells.begin(), cells.end(), [](const mw_cell &a, const mw_cell &b) {
        return a.row != b.row ? a.row < b.row : a.channel < b.channel;
    });
    return cells;
}

// Puts effect on row in the first channel that has no effect there; nowhere when every
// channel has one.
void place_effect(std::vector<mw_cell> &cells, int row, int channels, int effect, int param) {
    for (int channel = 0; channel < channels; ++channel) {
        auto at = std::find_if(cells.begin(), cells.end(), [&](const mw_cell &c) {
            return c.row == row && c.channel == channel;
        });
        if (at == cells.end()) {
            mw_cell added;
            added.row = row;
            added.channel = channel;
            added.effect = effect;
            added.param = param;
            cells.push_back(added);
            return;
        }
        if (at->effect == 0) {
            at->effect = effect;
            at->param = param;
            return;
        }
    }
}

// MOD and S3M patterns always have 64 rows: a shorter one ends early with a pattern break
// on its last row.
void add_pattern_break(std::vector<mw_cell> &cells, int rows, int channels, int effect) {
    if (rows < 64)
        place_effect(cells, rows - 1, channels, effect, 0);
}

const mw_cell *cell_at(const std::vector<mw_cell> &cells, int row, int channel) {
    for (const mw_cell &cell : cells)
        if (cell.row == row && cell.channel == channel)
            return &cell;
    return nullptr;
}

bool is_pitch(int note) {
    return note >= 1 && note <= 120;
}

// ---------------------------------------------------------------------------------------
// MOD

// Amiga periods of finetune 0 for the five octaves that extended ProTracker players know.
constexpr int mod_periods[60] = {
    1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907, //
    856,  808,  762,  720,  678,  640,  604,  570,  538,  508,  480, 453, //
    428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240, 226, //
    214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120, 113, //
    107,  101,  95,   90,   85,   80,   75,   71,   67,   63,   60,  56,
};
// The decoder's note number for the first period of the table (C of ProTracker's octave 0).
constexpr int mod_first_note = 37;

int mod_period(int note) {
    int index = note - mod_first_note;
    if (index < 0 || index >= 60)
        return 0;
    return mod_periods[index];
}

std::string mod_signature(int channels) {
    if (channels == 4)
        return "M.K.";
    if (channels < 10)
        return std::to_string(channels) + "CHN";
    return std::to_string(channels) + "CH";
}

std::vector<uint8_t> write_mod(const module_description &desc) {
    const mw_limits limits = format_limits(module_format::mod);
    const int channels = std::clamp(desc.channels, limits.min_channels, limits.max_channels);
    const std::vector<mw_pattern> patterns = patterns_to_write(desc, limits.max_patterns);
    std::vector<int> orders = orders_to_write(desc, static_cast<int>(patterns.size()));
    orders.resize(std::min<size_t>(orders.size(), static_cast<size_t>(limits.max_orders)));
    const int pattern_count = static_cast<int>(patterns.size());

    byte_writer out;
    out.text(desc.name, 20);
    std::vector<std::vector<int8_t>> data(31);
    for (size_t i = 0; i < 31; ++i) {
        mw_sample sample;
        if (i < desc.samples.size())
            sample = desc.samples[i];
        // Lengths are counted in 16-bit words: an odd sample gets a zero frame more.
        data[i] = sample.data;
        data[i].resize(std::min<size_t>(data[i].size(), 0x1FFFE));
        if (data[i].size() % 2 != 0)
            data[i].push_back(0);
        const int words = static_cast<int>(data[i].size() / 2);
        out.text(sample.name, 22);
        out.u16be(words);
        out.u8(0); // finetune
        out.u8(std::clamp(sample.volume, 0, 64));
        int loop_start = std::clamp(sample.loop_start / 2, 0, words);
        int loop_words = std::clamp(sample.loop_length / 2, 0, words - loop_start);
        if (sample.loop_length <= 0 || loop_words < 1) {
            loop_start = 0;
            loop_words = 1; // ProTracker's "no loop"
        }
        out.u16be(loop_start);
        out.u16be(loop_words);
    }
    out.u8(static_cast<int>(orders.size()));
    out.u8(127);
    // Players count the patterns from the highest entry of all 128 orders, also those past
    // the song length: the last unused entry keeps patterns that no order plays.
    std::vector<int> table(128, 0);
    std::copy(orders.begin(), orders.end(), table.begin());
    if (orders.size() < 128)
        table[127] = pattern_count - 1;
    for (int entry : table)
        out.u8(std::clamp(entry, 0, pattern_count - 1));
    out.text(mod_signature(channels), 4);

    for (int p = 0; p < pattern_count; ++p) {
        const mw_pattern &pattern = patterns[static_cast<size_t>(p)];
        const int rows = std::clamp(pattern.rows, 1, 64);
        std::vector<mw_cell> cells = sorted_cells(pattern, rows, channels);
        add_pattern_break(cells, rows, channels, 0xD + 1);
        // MOD has no header fields for speed and tempo: effect F sets them on the first row.
        if (!orders.empty() && p == orders.front()) {
            if (desc.speed != 6)
                place_effect(cells, 0, channels, 0xF + 1, std::clamp(desc.speed, 1, 31));
            if (desc.tempo != 125)
                place_effect(cells, 0, channels, 0xF + 1, std::clamp(desc.tempo, 32, 255));
        }
        for (int row = 0; row < 64; ++row) {
            for (int channel = 0; channel < channels; ++channel) {
                const mw_cell *cell = cell_at(cells, row, channel);
                if (cell == nullptr) {
                    out.zeros(4);
                    continue;
                }
                const int period = is_pitch(cell->note) ? mod_period(cell->note) : 0;
                const int sample = std::clamp(cell->instrument, 0, 31);
                const bool has_effect = cell->effect >= 1 && cell->effect <= 16;
                int effect = has_effect ? cell->effect - 1 : 0;
                int param = has_effect ? cell->param & 0xFF : 0;
                if (!has_effect && (cell->note == mw_note_off || cell->note == mw_note_cut)) {
                    effect = 0xC;
                    param = 0;
                } else if (!has_effect && cell->volume >= 0) {
                    effect = 0xC;
                    param = std::clamp(cell->volume, 0, 64);
                }
                out.u8((sample & 0xF0) | ((period >> 8) & 0x0F));
                out.u8(period & 0xFF);
                out.u8(((sample & 0x0F) << 4) | effect);
                out.u8(param);
            }
        }
    }
    for (const std::vector<int8_t> &frames : data)
        out.data(frames);
    return out.take();
}

// ---------------------------------------------------------------------------------------
// S3M

// The decoder's note number for ST3's C-0.
constexpr int s3m_first_note = 13;

int s3m_note(int note) {
    if (note == mw_note_off || note == mw_note_cut)
        return 254; // ST3 knows only the note cut
    int index = note - s3m_first_note;
    if (!is_pitch(note) || index < 0 || index >= 8 * 12)
        return 255;
    return ((index / 12) << 4) | (index % 12);
}

int letter_command(const mw_cell &cell) {
    return cell.effect >= 'A' && cell.effect <= 'Z' ? cell.effect - 'A' + 1 : 0;
}

void write_s3m_pattern(byte_writer &out, const mw_pattern &pattern, int channels) {
    const int rows = std::clamp(pattern.rows, 1, 64);
    std::vector<mw_cell> cells = sorted_cells(pattern, rows, channels);
    add_pattern_break(cells, rows, channels, 'C');
    std::stable_sort(cells.begin(), cells.end(), [](const mw_cell &a, const mw_cell &b) {
        return a.row != b.row ? a.row < b.row : a.channel < b.channel;
    });
    const size_t start = out.size();
    out.u16le(0);
    size_t next = 0;
    for (int row = 0; row < 64; ++row) {
        for (; next < cells.size() && cells[next].row == row; ++next) {
            const mw_cell &cell = cells[next];
            const int note = cell.note != 0 ? s3m_note(cell.note) : 255;
            const int instrument = std::clamp(cell.instrument, 0, 99);
            const int command = letter_command(cell);
            int what = cell.channel;
            if (note != 255 || instrument != 0)
                what |= 32;
            if (cell.volume >= 0)
                what |= 64;
            if (command != 0)
                what |= 128;
            if (what == cell.channel)
                continue;
            out.u8(what);
            if (what & 32) {
                out.u8(note);
                out.u8(instrument);
            }
            if (what & 64)
                out.u8(std::clamp(cell.volume, 0, 64));
            if (what & 128) {
                out.u8(command);
                out.u8(cell.param & 0xFF);
            }
        }
        out.u8(0);
    }
    // The length counts its own two bytes.
    out.patch_u16le(start, static_cast<int>(out.size() - start));
}

std::vector<uint8_t> write_s3m(const module_description &desc) {
    const mw_limits limits = format_limits(module_format::s3m);
    const int channels = std::clamp(desc.channels, limits.min_channels, limits.max_channels);
    const std::vector<mw_pattern> patterns = patterns_to_write(desc, limits.max_patterns);
    std::vector<int> orders = orders_to_write(desc, static_cast<int>(patterns.size()));
    orders.resize(std::min<size_t>(orders.size(), static_cast<size_t>(limits.max_orders)));
    // ST3 keeps an even number of orders; 255 marks the end.
    if (orders.size() % 2 != 0)
        orders.push_back(255);
    const size_t sample_count = std::min<size_t>(desc.samples.size(), limits.max_samples);

    byte_writer out;
    out.text(desc.name, 28);
    out.u8(0x1A);
    out.u8(16); // type: ST3 module
    out.zeros(2);
    out.u16le(static_cast<int>(orders.size()));
    out.u16le(static_cast<int>(sample_count));
    out.u16le(static_cast<int>(patterns.size()));
    out.u16le(0);      // flags
    out.u16le(0x1320); // made with ST3.20
    out.u16le(2);      // sample data is unsigned
    out.text("SCRM", 4);
    out.u8(64); // global volume
    out.u8(std::clamp(desc.speed, 1, 255));
    out.u8(std::clamp(desc.tempo, 33, 255));
    out.u8(0x80 | 48); // stereo, master volume 48
    out.u8(16);        // click removal
    out.u8(0);         // no panning table
    out.zeros(8);
    out.u16le(0); // no pointer to extra data
    // Channels alternate left and right: L1 R1 L2 R2 ...; 255 is unused.
    for (int channel = 0; channel < 32; ++channel)
        out.u8(channel < channels ? (channel % 2 == 0 ? channel / 2 : 8 + channel / 2) : 255);
    for (int order : orders)
        out.u8(order);
    const size_t sample_pointers = out.size();
    out.zeros(2 * sample_count);
    const size_t pattern_pointers = out.size();
    out.zeros(2 * patterns.size());

    // Parapointers count 16-byte paragraphs.
    std::vector<size_t> memseg(sample_count);
    for (size_t i = 0; i < sample_count; ++i) {
        const mw_sample &sample = desc.samples[i];
        out.align(16);
        out.patch_u16le(sample_pointers + 2 * i, static_cast<int>(out.size() / 16));
        const int length = static_cast<int>(sample.data.size());
        const bool loop = sample.loop_length > 0 && sample.loop_start < length;
        out.u8(1); // a PCM sample
        out.zeros(12);
        memseg[i] = out.size();
        out.zeros(3);
        out.u32le(static_cast<uint32_t>(length));
        out.u32le(static_cast<uint32_t>(loop ? sample.loop_start : 0));
        out.u32le(static_cast<uint32_t>(
            loop ? std::min(length, sample.loop_start + sample.loop_length) : 0));
        out.u8(std::clamp(sample.volume, 0, 64));
        out.u8(0);
        out.u8(0); // not packed
        out.u8(loop ? 1 : 0);
        out.u32le(static_cast<uint32_t>(std::max(sample.c5_speed, 1)));
        out.zeros(12);
        out.text(sample.name, 28);
        out.text("SCRS", 4);
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        out.align(16);
        out.patch_u16le(pattern_pointers + 2 * p, static_cast<int>(out.size() / 16));
        write_s3m_pattern(out, patterns[p], channels);
    }
    for (size_t i = 0; i < sample_count; ++i) {
        out.align(16);
        const size_t paragraph = out.size() / 16;
        // Three bytes: the high byte, then the low word.
        out.patch_u8(memseg[i], static_cast<int>((paragraph >> 16) & 0xFF));
        out.patch_u16le(memseg[i] + 1, static_cast<int>(paragraph & 0xFFFF));
        // Unsigned frames, as ST3 writes them.
        for (int8_t frame : desc.samples[i].data)
            out.u8(static_cast<uint8_t>(frame) ^ 0x80);
    }
    return out.take();
}

// ---------------------------------------------------------------------------------------
// XM

// The decoder's note number for XM's first note (FastTracker's C-0): it reads XM notes an
// octave above their number, so that C-5 plays every format's samples at their base rate.
constexpr int xm_first_note = 13;

// An instrument as written: its name and the samples inside it.
struct xm_instrument {
    std::string name;
    std::vector<mw_sample> samples;
};

std::vector<xm_instrument> xm_instruments(const module_description &desc) {
    const mw_limits limits = format_limits(module_format::xm);
    std::vector<xm_instrument> instruments;
    if (desc.instruments.empty()) {
        for (const mw_sample &sample : desc.samples)
            instruments.push_back({sample.name, {sample}});
    } else {
        for (const mw_instrument &instrument : desc.instruments) {
            xm_instrument made{instrument.name, {}};
            for (int index : instrument.samples)
                if (index >= 0 && index < static_cast<int>(desc.samples.size()))
                    made.samples.push_back(desc.samples[static_cast<size_t>(index)]);
            instruments.push_back(std::move(made));
        }
    }
    instruments.resize(std::min<size_t>(instruments.size(), limits.max_instruments));
    for (xm_instrument &instrument : instruments)
        instrument.samples.resize(
            std::min<size_t>(instrument.samples.size(), limits.samples_per_instrument));
    return instruments;
}

void write_xm_pattern(byte_writer &out, const mw_pattern &pattern, int channels) {
    const int rows = std::clamp(pattern.rows, 1, 256);
    const std::vector<mw_cell> cells = sorted_cells(pattern, rows, channels);
    out.u32le(9); // header length
    out.u8(0);    // packing type
    out.u16le(rows);
    const size_t size_at = out.size();
    out.u16le(0);
    const size_t start = out.size();
    for (int row = 0; row < rows; ++row) {
        for (int channel = 0; channel < channels; ++channel) {
            const mw_cell *cell = cell_at(cells, row, channel);
            if (cell == nullptr) {
                out.u8(0x80);
                continue;
            }
            int note = 0;
            if (cell->note >= xm_first_note && cell->note < xm_first_note + 96)
                note = cell->note - xm_first_note + 1;
            else if (cell->note == mw_note_off)
                note = 97;
            int volume = cell->volume >= 0 ? 0x10 + std::clamp(cell->volume, 0, 64) : 0;
            if (cell->note == mw_note_cut)
                volume = 0x10;
            const bool has_effect = cell->effect >= 1 && cell->effect <= 36;
            const int instrument = std::clamp(cell->instrument, 0, 128);
            int flags = 0x80;
            if (note != 0)
                flags |= 1;
            if (instrument != 0)
                flags |= 2;
            if (volume != 0)
                flags |= 4;
            if (has_effect)
                flags |= 8 | 16;
            out.u8(flags);
            if (flags & 1)
                out.u8(note);
            if (flags & 2)
                out.u8(instrument);
            if (flags & 4)
                out.u8(volume);
            if (has_effect) {
                out.u8(cell->effect - 1);
                out.u8(cell->param & 0xFF);
            }
        }
    }
    out.patch_u16le(size_at, static_cast<int>(out.size() - start));
}

void write_xm_instrument(byte_writer &out, const xm_instrument &instrument) {
    // The full header size also for an instrument without samples: the decoder ignores a
    // last instrument whose short 29-byte header ends the file.
    out.u32le(263);
    out.text(instrument.name, 22);
    out.u8(0);
    out.u16le(static_cast<int>(instrument.samples.size()));
    out.u32le(40); // sample header size
    out.zeros(96); // every note plays the first sample
    out.zeros(48); // volume envelope points
    out.zeros(48); // panning envelope points
    out.u8(0);     // volume points
    out.u8(0);     // panning points
    out.zeros(6);  // sustain and loop points
    out.u8(0);     // volume envelope off
    out.u8(0);     // panning envelope off
    out.zeros(4);  // vibrato
    out.u16le(0);  // fadeout
    out.zeros(22); // reserved
    for (const mw_sample &sample : instrument.samples) {
        const int length = static_cast<int>(sample.data.size());
        const bool loop = sample.loop_length > 0 && sample.loop_start < length;
        out.u32le(static_cast<uint32_t>(length));
        out.u32le(static_cast<uint32_t>(loop ? sample.loop_start : 0));
        out.u32le(static_cast<uint32_t>(
            loop ? std::min(sample.loop_length, length - sample.loop_start) : 0));
        out.u8(std::clamp(sample.volume, 0, 64));
        out.u8(0); // finetune
        out.u8(loop ? 1 : 0);
        out.u8(128); // panning: centre
        out.u8(0);   // relative note
        out.u8(0);
        out.text(sample.name, 22);
    }
    // XM stores each frame as the difference to the one before it.
    for (const mw_sample &sample : instrument.samples) {
        int8_t previous = 0;
        for (int8_t frame : sample.data) {
            out.u8(static_cast<uint8_t>(frame - previous));
            previous = frame;
        }
    }
}

std::vector<uint8_t> write_xm(const module_description &desc) {
    const mw_limits limits = format_limits(module_format::xm);
    const int channels = std::clamp(desc.channels, limits.min_channels, limits.max_channels);
    const std::vector<mw_pattern> patterns = patterns_to_write(desc, limits.max_patterns);
    std::vector<int> orders = orders_to_write(desc, static_cast<int>(patterns.size()));
    orders.resize(std::min<size_t>(orders.size(), static_cast<size_t>(limits.max_orders)));
    const std::vector<xm_instrument> instruments = xm_instruments(desc);

    byte_writer out;
    out.text("Extended Module: ", 17);
    out.text(desc.name, 20);
    out.u8(0x1A);
    out.text("FastTracker v2.00   ", 20);
    out.u16le(0x0104);
    out.u32le(276);
    out.u16le(static_cast<int>(orders.size()));
    out.u16le(0); // restart position
    out.u16le(channels);
    out.u16le(static_cast<int>(patterns.size()));
    out.u16le(static_cast<int>(instruments.size()));
    out.u16le(1); // linear frequency table
    out.u16le(std::clamp(desc.speed, 1, 31));
    out.u16le(std::clamp(desc.tempo, 32, 255));
    for (size_t i = 0; i < 256; ++i)
        out.u8(i < orders.size() ? orders[i] : 0);
    for (const mw_pattern &pattern : patterns)
        write_xm_pattern(out, pattern, channels);
    for (const xm_instrument &instrument : instruments)
        write_xm_instrument(out, instrument);
    return out.take();
}

// ---------------------------------------------------------------------------------------
// IT

void write_it_envelope(byte_writer &out) {
    out.zeros(6);  // off, no nodes, no loops
    out.zeros(75); // 25 nodes
    out.u8(0);
}

void write_it_instrument(byte_writer &out, const mw_instrument &instrument, int sample_count) {
    int first = instrument.samples.empty() ? -1 : instrument.samples.front();
    if (first >= sample_count)
        first = -1;
    out.text("IMPI", 4);
    out.zeros(12); // DOS file name
    out.u8(0);
    out.u8(0);         // new note action: cut
    out.u8(0);         // duplicate check type
    out.u8(0);         // duplicate check action
    out.u16le(0);      // fadeout
    out.u8(0);         // pitch-pan separation
    out.u8(60);        // pitch-pan centre
    out.u8(128);       // global volume
    out.u8(0x80 | 32); // default panning, not used
    out.u8(0);         // random volume
    out.u8(0);         // random panning
    out.u16le(0x0214);
    out.u8(instrument.samples.empty() ? 0 : 1);
    out.u8(0);
    out.text(instrument.name, 26);
    out.u8(0);         // filter cutoff
    out.u8(0);         // filter resonance
    out.u8(0);         // MIDI channel
    out.u8(0xFF);      // MIDI program
    out.u16le(0xFFFF); // MIDI bank
    // Every note plays itself on the instrument's first sample.
    for (int note = 0; note < 120; ++note) {
        out.u8(note);
        out.u8(first + 1);
    }
    write_it_envelope(out); // volume
    write_it_envelope(out); // panning
    write_it_envelope(out); // pitch
    out.zeros(4);
}

int it_note(int note) {
    if (is_pitch(note))
        return note - 1;
    if (note == mw_note_off || note == mw_note_cut || note == mw_note_fade)
        return note;
    return -1;
}

void write_it_pattern(byte_writer &out, const mw_pattern &pattern, int channels,
                      const mw_limits &limits) {
    // The decoder drops IT patterns of fewer than four rows.
    const int rows = std::clamp(pattern.rows, limits.min_rows, limits.max_rows);
    const std::vector<mw_cell> cells = sorted_cells(pattern, rows, channels);
    const size_t start = out.size();
    out.u16le(0); // packed length, patched below
    out.u16le(rows);
    out.zeros(4);
    size_t next = 0;
    for (int row = 0; row < rows; ++row) {
        for (; next < cells.size() && cells[next].row == row; ++next) {
            const mw_cell &cell = cells[next];
            const int note = it_note(cell.note);
            const int instrument = std::clamp(cell.instrument, 0, 99);
            const int command = letter_command(cell);
            int mask = 0;
            if (note >= 0)
                mask |= 1;
            if (instrument != 0)
                mask |= 2;
            if (cell.volume >= 0)
                mask |= 4;
            if (command != 0)
                mask |= 8;
            if (mask == 0)
                continue;
            out.u8((cell.channel + 1) | 0x80);
            out.u8(mask);
            if (mask & 1)
                out.u8(note);
            if (mask & 2)
                out.u8(instrument);
            if (mask & 4)
                out.u8(std::clamp(cell.volume, 0, 64));
            if (mask & 8) {
                out.u8(command);
                out.u8(cell.param & 0xFF);
            }
        }
        out.u8(0);
    }
    out.patch_u16le(start, static_cast<int>(out.size() - start - 8));
}

std::vector<uint8_t> write_it(const module_description &desc) {
    const mw_limits limits = format_limits(module_format::it);
    const int channels = std::clamp(desc.channels, limits.min_channels, limits.max_channels);
    const std::vector<mw_pattern> patterns = patterns_to_write(desc, limits.max_patterns);
    std::vector<int> orders = orders_to_write(desc, static_cast<int>(patterns.size()));
    orders.resize(std::min<size_t>(orders.size(), static_cast<size_t>(limits.max_orders)));
    orders.push_back(255); // end of song
    const size_t sample_count = std::min<size_t>(desc.samples.size(), limits.max_samples);
    const size_t instrument_count =
        std::min<size_t>(desc.instruments.size(), limits.max_instruments);
    std::string message = desc.message;
    std::replace(message.begin(), message.end(), '\n', '\r');
    // The length field (16 bits, terminator included) is the only limit: files from
    // elsewhere carry longer texts than the 8000 bytes Impulse Tracker wrote.
    message.resize(std::min<size_t>(message.size(), 65534));

    byte_writer out;
    out.text("IMPM", 4);
    out.text(desc.name, 26);
    out.u8(4);  // rows per beat highlight
    out.u8(16); // rows per measure highlight
    out.u16le(static_cast<int>(orders.size()));
    out.u16le(static_cast<int>(instrument_count));
    out.u16le(static_cast<int>(sample_count));
    out.u16le(static_cast<int>(patterns.size()));
    out.u16le(0x0214); // made with IT 2.14
    out.u16le(0x0214); // compatible with IT 2.14
    // Stereo, linear slides and, with instruments, instrument mode.
    out.u16le(1 | 8 | (instrument_count > 0 ? 4 : 0));
    out.u16le(message.empty() ? 0 : 1);
    out.u8(128); // global volume
    out.u8(48);  // mix volume
    out.u8(std::clamp(desc.speed, 1, 255));
    out.u8(std::clamp(desc.tempo, 31, 255));
    out.u8(128); // panning separation
    out.u8(0);   // pitch wheel depth
    const size_t message_fields = out.size();
    out.u16le(0);
    out.u32le(0);
    out.zeros(4);
    // Channels past the module's are disabled (+128).
    for (int channel = 0; channel < 64; ++channel)
        out.u8(channel < channels ? 32 : 32 + 128);
    for (int channel = 0; channel < 64; ++channel)
        out.u8(64);
    for (int order : orders)
        out.u8(order);
    const size_t instrument_offsets = out.size();
    out.zeros(4 * instrument_count);
    const size_t sample_offsets = out.size();
    out.zeros(4 * sample_count);
    const size_t pattern_offsets = out.size();
    out.zeros(4 * patterns.size());

    if (!message.empty()) {
        out.patch_u16le(message_fields, static_cast<int>(message.size() + 1));
        out.patch_u32le(message_fields + 2, static_cast<uint32_t>(out.size()));
        out.text(message, message.size() + 1);
    }
    for (size_t i = 0; i < instrument_count; ++i) {
        out.patch_u32le(instrument_offsets + 4 * i, static_cast<uint32_t>(out.size()));
        write_it_instrument(out, desc.instruments[i], static_cast<int>(sample_count));
    }
    std::vector<size_t> data_pointers(sample_count);
    for (size_t i = 0; i < sample_count; ++i) {
        const mw_sample &sample = desc.samples[i];
        out.patch_u32le(sample_offsets + 4 * i, static_cast<uint32_t>(out.size()));
        const int length = static_cast<int>(sample.data.size());
        const bool loop = sample.loop_length > 0 && sample.loop_start < length;
        out.text("IMPS", 4);
        out.zeros(12); // DOS file name
        out.u8(0);
        out.u8(64); // global volume
        out.u8((length > 0 ? 1 : 0) | (loop ? 16 : 0));
        out.u8(std::clamp(sample.volume, 0, 64));
        out.text(sample.name, 26);
        out.u8(1);  // signed frames
        out.u8(32); // default panning, not used
        out.u32le(static_cast<uint32_t>(length));
        out.u32le(static_cast<uint32_t>(loop ? sample.loop_start : 0));
        out.u32le(static_cast<uint32_t>(
            loop ? std::min(length, sample.loop_start + sample.loop_length) : 0));
        out.u32le(static_cast<uint32_t>(std::max(sample.c5_speed, 1)));
        out.u32le(0); // sustain loop
        out.u32le(0);
        data_pointers[i] = out.size();
        out.u32le(0);
        out.zeros(4); // vibrato
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        out.patch_u32le(pattern_offsets + 4 * p, static_cast<uint32_t>(out.size()));
        write_it_pattern(out, patterns[p], channels, limits);
    }
    for (size_t i = 0; i < sample_count; ++i) {
        out.patch_u32le(data_pointers[i], static_cast<uint32_t>(out.size()));
        out.data(desc.samples[i].data);
    }
    return out.take();
}

} // namespace

mw_limits format_limits(module_format format) {
    switch (format) {
    case module_format::mod:
        // The decoder rejects one-channel MODs; "M.K." holds 64 patterns.
        return {.min_channels = 2,
                .max_channels = 32,
                .max_samples = 31,
                .max_instruments = 0,
                .samples_per_instrument = 0,
                .max_patterns = 64,
                .max_orders = 128,
                .min_rows = 1,
                .max_rows = 64,
                .lowest_note = mod_first_note,
                .highest_note = mod_first_note + 59,
                .song_name = 20,
                .sample_name = 22,
                .instrument_name = 0};
    case module_format::s3m:
        // Sixteen PCM channels (L1-L8, R1-R8); ST3's octaves 0..7.
        return {.min_channels = 1,
                .max_channels = 16,
                .max_samples = 99,
                .max_instruments = 0,
                .samples_per_instrument = 0,
                .max_patterns = 100,
                .max_orders = 254,
                .min_rows = 1,
                .max_rows = 64,
                .lowest_note = s3m_first_note,
                .highest_note = s3m_first_note + 95,
                .song_name = 28,
                .sample_name = 28,
                .instrument_name = 0};
    case module_format::xm:
        // The decoder keeps at most 239 samples.
        return {.min_channels = 1,
                .max_channels = 32,
                .max_samples = 239,
                .max_instruments = 128,
                .samples_per_instrument = 16,
                .max_patterns = 256,
                .max_orders = 256,
                .min_rows = 1,
                .max_rows = 256,
                .lowest_note = xm_first_note,
                .highest_note = xm_first_note + 95,
                .song_name = 20,
                .sample_name = 22,
                .instrument_name = 22};
    case module_format::it:
        // The decoder drops patterns of fewer than 4 rows.
        return {.min_channels = 1,
                .max_channels = 64,
                .max_samples = 99,
                .max_instruments = 99,
                .samples_per_instrument = 99,
                .max_patterns = 200,
                .max_orders = 255,
                .min_rows = 4,
                .max_rows = 200,
                .lowest_note = 1,
                .highest_note = 120,
                .song_name = 26,
                .sample_name = 26,
                .instrument_name = 26};
    }
    return {};
}

std::vector<uint8_t> write_module(const module_description &desc) {
    switch (desc.format) {
    case module_format::mod:
        return write_mod(desc);
    case module_format::s3m:
        return write_s3m(desc);
    case module_format::xm:
        return write_xm(desc);
    case module_format::it:
        return write_it(desc);
    }
    return {};
}

bool write_module_file(const module_description &desc, const std::string &path) {
    const std::vector<uint8_t> bytes = write_module(desc);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

std::vector<int8_t> make_wave(mw_wave wave, int cycle, int cycles, int amplitude, bool decay,
                              uint32_t seed) {
    cycle = std::max(cycle, 1);
    cycles = std::max(cycles, 0);
    amplitude = std::clamp(amplitude, 1, 127);
    const int length = cycle * cycles;
    std::vector<int8_t> frames(static_cast<size_t>(length));
    uint32_t state = seed != 0 ? seed : 1;
    double held = 0;
    for (int i = 0; i < length; ++i) {
        const double phase = static_cast<double>(i % cycle) / cycle;
        double value = 0;
        switch (wave) {
        case mw_wave::square:
            value = phase < 0.5 ? 1 : -1;
            break;
        case mw_wave::saw:
            value = 2 * phase - 1;
            break;
        case mw_wave::triangle:
            value = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase;
            break;
        case mw_wave::sine:
            value = std::sin(2 * std::numbers::pi * phase);
            break;
        case mw_wave::noise:
            // xorshift32: cheap, and the same seed gives the same noise everywhere.
            if (i % cycle == 0) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                held = static_cast<double>(state % 2001) / 1000.0 - 1.0;
            }
            value = held;
            break;
        case mw_wave::silence:
            value = 0;
            break;
        }
        if (decay) {
            const double left = 1.0 - static_cast<double>(i) / length;
            value *= left * left;
        }
        frames[static_cast<size_t>(i)] = static_cast<int8_t>(std::lround(value * amplitude));
    }
    return frames;
}
