#pragma once
// The test module writer: builds MOD, S3M, XM and IT files whose every field is known.
// Every module file of the project (test fixtures, the demo tune) comes from here.

#include <cstdint>
#include <string>
#include <vector>

enum class module_format { mod, s3m, xm, it };

struct mw_sample {
    std::string name;
    std::vector<int8_t> data; ///< 8-bit signed PCM
    int volume = 64;          ///< 0..64
    int loop_start = 0;       ///< in sample frames
    int loop_length = 0;      ///< 0: no loop
    int c5_speed = 8363;      ///< playback rate of C-5 (S3M, IT; MOD/XM use finetune 0)
};

/// XM and IT only: an instrument that plays the listed samples (0-based indices).
/// Every note of the instrument plays its first sample.
struct mw_instrument {
    std::string name;
    std::vector<int> samples;
};

/// Note numbers as the decoder (libmodplug) reports them in ModPlugNote::Note, the same for
/// every format: C-5 (61) plays a sample at its base rate (c5_speed; 8363 Hz in XM, about
/// 8287 Hz in MOD). The trackers name that note differently: ProTracker C-2 (period 428),
/// ST3 C-4, FastTracker C-4, IT C-5; the writer converts.
enum : int {
    mw_no_note = 0,
    mw_note_c0 = 1,    ///< C-0; note = mw_note_c0 + 12 * octave + semitone
    mw_note_c4 = 49,   ///< C-4
    mw_note_c5 = 61,   ///< C-5, the sample's base rate
    mw_note_cut = 254, ///< "^^^"
    mw_note_off = 255, ///< "==="
    mw_note_fade = 253, ///< "~~~", IT only (other formats write no note)
};

/// One pattern cell with something in it.
struct mw_cell {
    int row = 0;
    int channel = 0;    ///< 0-based
    int note = 0;       ///< 1..120 (1 = C-0, 49 = C-4), 0 none, 254 note cut, 255 note off
    int instrument = 0; ///< 1-based; 0 none
    int volume = -1;    ///< 0..64 volume column, -1 none
    int effect = 0;     ///< 0 none; letter 'A'..'Z' in S3M/IT notation, or MOD/XM effect number + 1
    int param = 0;
};

struct mw_pattern {
    int rows = 64;
    std::vector<mw_cell> cells;
};

struct module_description {
    module_format format = module_format::xm;
    std::string name;
    int channels = 4;
    int speed = 6;
    int tempo = 125;
    std::vector<mw_sample> samples;
    /// XM, IT. An XM without instruments gets one per sample, named after it; an XM with
    /// instruments keeps only the samples they list. An IT without instruments is written
    /// in sample mode.
    std::vector<mw_instrument> instruments;
    /// Pattern numbers; empty plays every pattern once in number order.
    std::vector<int> orders;
    /// Patterns that the orders name but that are missing are written empty (64 rows);
    /// with neither patterns nor orders the module has one empty pattern.
    std::vector<mw_pattern> patterns;
    std::string message; ///< IT song message; '\n' is stored as '\r'
};

/// What a format can hold, as the writer writes it.
///
/// A name may fill its whole field (then without a terminating zero, which the decoder does
/// not need); a longer one is cut. Notes: MOD C-3..B-7 (ProTracker's five octaves of
/// periods), S3M and XM C-1..B-8, IT C-0..B-9. How the formats differ where a field is
/// missing:
/// - MOD and S3M patterns have 64 rows; a shorter pattern ends with a pattern break on its
///   last row (MOD D00, S3M C00) in the first channel whose cell there has no effect.
/// - MOD has no speed and tempo fields: unless they are 6 and 125, effect F sets them on
///   row 0 of the first pattern played (in channels without an effect there), so they apply
///   again whenever that pattern plays.
/// - MOD has no volume column: a volume becomes effect C (set volume) when the cell has no
///   other effect. Note off and note cut become C00 the same way.
/// - XM has no note cut: it becomes volume 0 in the volume column.
/// - MOD and S3M have no instruments: a cell's instrument is the sample number.
/// - Effects: S3M and IT take 'A'..'Z'; MOD takes 1..16 and XM 1..36 (effect number + 1,
///   so 0x10 is MOD/XM effect F). Other values are written as no effect.
struct mw_limits {
    int min_channels;
    int max_channels;
    int max_samples;
    int max_instruments; ///< 0: the format has none
    int samples_per_instrument;
    int max_patterns;
    int max_orders;
    int min_rows; ///< fewer rows are raised to this
    int max_rows;
    int lowest_note; ///< lowest note number (mw_cell::note) that the format can store
    int highest_note;
    int song_name; ///< characters kept of each name
    int sample_name;
    int instrument_name;
};

/// What the decoder (libmodplug) reports for the modules written here, where it is not
/// simply what was written:
/// - ModPlug_NumPatterns is the number of orders, not of stored patterns.
/// - ModPlug_GetLength is rounded to whole seconds.
/// - MOD: ModPlug_NumSamples is always 31. The decoder rejects a MOD with one channel, and
///   one whose samples are all shorter than 6 frames.
/// - S3M, IT: ModPlug_NumChannels is at least 4. IT stores no channel count: the decoder
///   counts up to the last channel that has something in a pattern. It rejects an S3M or
///   IT without samples, and drops IT patterns of fewer than 4 rows.
/// - XM: ModPlug_NumSamples counts the samples inside the instruments (at most 239).
/// - ModPlug_SampleName and ModPlug_InstrumentName count from 1 (sample 0 is the song name).
/// - ModPlug_GetMessage gives the IT message with '\r' between lines.
/// - The decoder numbers effects alike for all formats (MOD/XM F06 and S3M/IT A06 come
///   back the same); a pattern break row is decimal except in IT (MOD/XM D10, S3M C10
///   come back as parameter 10, IT C10 as 16).

/// The limits of format.
mw_limits format_limits(module_format format);

/// The bytes of the module file that desc describes. Values beyond the format's limits
/// are clamped or dropped; parse_module_description reports them as errors instead.
std::vector<uint8_t> write_module(const module_description &desc);

/// Writes the module to path; true on success.
bool write_module_file(const module_description &desc, const std::string &path);

/// Waveforms that make_wave generates.
enum class mw_wave { square, saw, triangle, sine, noise, silence };

/// cycles repetitions of one cycle of wave that is cycle frames long (at least 1), with
/// peaks at +-amplitude (1..127). For noise, cycle is how many frames each random value is
/// held (larger is duller) and seed picks the sequence. decay fades the wave out over its
/// length, for percussion. The same arguments always give the same frames.
std::vector<int8_t> make_wave(mw_wave wave, int cycle, int cycles, int amplitude = 100,
                              bool decay = false, uint32_t seed = 1);

/// Parses a module description text into out (replacing it); on failure returns false and
/// sets error to "line N: what is wrong".
///
/// The text has one statement per line. A '#' at the start of a line or after a blank
/// starts a comment. Names and texts are the rest of the line, with inner spaces kept and
/// may be empty. Numbers are decimal, effect parameters hex. format and channels hold for
/// the whole text, wherever they stand.
///
///   format mod|s3m|xm|it      default xm
///   name TEXT                 song name
///   channels N                default 4
///   speed N                   ticks per row, default 6
///   tempo N                   default 125 (one row lasts speed * 2.5 / tempo seconds)
///   message TEXT              IT: appends a line to the song message; "\n" in TEXT is a
///                             line break too and "\\" a backslash
///
///   sample WAVE CYCLE CYCLES [OPTION...] [NAME]
///       adds a sample made by make_wave: WAVE is square, saw, triangle, sine, noise or
///       silence; OPTIONs: vol=0..64 (default volume, default 64), amp=1..127 (peak, default
///       100), c5=HZ (rate of C-5 in S3M/IT, default 8363), decay, loop (loops the whole
///       sample). The rest is the name; a lone ':' ends the options, for a name that
///       starts like one.
///   samples N                 adds N short square samples named "sample 1".."sample N"
///                             (numbered from the count of samples before them)
///   instrument [SAMPLE...] [NAME]
///       XM/IT: adds an instrument playing the listed samples (numbered from 1, like the
///       pattern instrument column); with none it plays the sample of its own number. The
///       rest is the name; a lone ':' ends the numbers, for a name that starts with a digit.
///   instruments N             adds N instruments "instrument 1".., each playing the sample
///                             of its own number
///
///   order P...                appends pattern numbers to the order list; with no order line
///                             every pattern plays once in number order
///   patterns N [ROWS]         adds N empty patterns (default 64 rows)
///   pattern P [ROWS]          selects pattern P for the cell lines that follow, creating it
///                             (and any missing before it) with ROWS rows (default 64), or
///                             changing its rows when ROWS is given
///   note ROW CHANNEL NOTE [INSTRUMENT] [vVOLUME] [EFFECT]
///       puts a cell in the selected pattern. ROW and CHANNEL count from 0. NOTE is a name
///       as C-4, C#4, Db4 (octave 0..9), === (note off), ^^^ (note cut), ~~~ (note fade, IT only) or
///       --- (none).
///       INSTRUMENT counts from 1 ('-' none). vVOLUME is the volume column, as v48. EFFECT
///       is three characters, command and hex parameter in the format's notation: A06 in
///       S3M/IT, F06 or 106 in MOD/XM (write '-' for the instrument before an effect that is
///       all digits). A cell replaces one already on the same spot.
///   seq CHANNEL ROW STEP INSTRUMENT [vVOLUME] NOTE...
///       puts NOTEs with INSTRUMENT on CHANNEL every STEP rows from ROW; '.' or '---' skips
///       a step
///   fx CHANNEL ROW COUNT EFFECT
///       puts EFFECT on COUNT rows of CHANNEL from ROW, keeping what the cells hold else
///   copy P [CHANNEL...]       adds the cells of pattern P (of the listed channels, or all)
///                             to the selected pattern, replacing what is on the same spots
///
/// Example:
///   format xm
///   name Night Drive
///   channels 8
///   sample square 32 64 loop Lead
///   instrument 1 Lead
///   pattern 0 32
///   note 0 0 C-4 1 v48 F04
///   seq 1 0 4 1 C-3 . G-2 . C-3 . G-2 ===
bool parse_module_description(const std::string &text, module_description &out, std::string &error);
