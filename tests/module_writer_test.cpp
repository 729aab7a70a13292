// The module writer checked against the real decoder: what is written must come back.

#include "module_writer.h"
#include "test_support.h"

#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <libmodplug/modplug.h>

namespace {

// A module loaded by the decoder, unloaded at the end of the scope.
class decoded {
  public:
    explicit decoded(const std::vector<uint8_t> &bytes)
        : file_(ModPlug_Load(bytes.data(), static_cast<int>(bytes.size()))) {}
    ~decoded() {
        if (file_ != nullptr)
            ModPlug_Unload(file_);
    }
    decoded(const decoded &) = delete;
    decoded &operator=(const decoded &) = delete;

    ModPlugFile *get() const { return file_; }
    bool loaded() const { return file_ != nullptr; }

    /// The decoder's cell, or an all-zero one (and a test failure) outside the pattern.
    ModPlugNote cell(int pattern, int row, int channel) const {
        unsigned rows = 0;
        const ModPlugNote *notes = ModPlug_GetPattern(file_, pattern, &rows);
        const int channels = static_cast<int>(ModPlug_NumChannels(file_));
        if (notes == nullptr || row >= static_cast<int>(rows) || channel >= channels) {
            ADD_FAILURE() << "no cell " << row << "/" << channel << " in pattern " << pattern;
            return {};
        }
        return notes[row * channels + channel];
    }
    unsigned rows(int pattern) const {
        unsigned rows = 0;
        return ModPlug_GetPattern(file_, pattern, &rows) != nullptr ? rows : 0;
    }
    std::string sample_name(unsigned number) const {
        char buffer[256] = {};
        ModPlug_SampleName(file_, number, buffer);
        return buffer;
    }
    std::string instrument_name(unsigned number) const {
        char buffer[256] = {};
        ModPlug_InstrumentName(file_, number, buffer);
        return buffer;
    }

  private:
    ModPlugFile *file_;
};

struct format_case {
    const char *label;
    module_format format;
    int module_type;      ///< ModPlug_GetModuleType
    bool has_instruments; ///< XM, IT
    int reported_note_off;
    int reported_note_cut;
};

void PrintTo(const format_case &c, std::ostream *out) {
    *out << c.label;
}

const format_case format_cases[] = {
    {"mod", module_format::mod, 1, false, mw_no_note, mw_no_note},
    {"s3m", module_format::s3m, 2, false, mw_note_cut, mw_note_cut},
    {"xm", module_format::xm, 4, true, mw_note_off, mw_no_note},
    {"it", module_format::it, 32, true, mw_note_off, mw_note_cut},
};

bool uses_letters(module_format format) {
    return format == module_format::s3m || format == module_format::it;
}

/// The same effect in each format's notation: MOD/XM command number, S3M/IT letter.
struct effect_notation {
    const char *label;
    int mod_xm; ///< MOD/XM command number
    char s3m_it;
    int param;
};

const effect_notation shared_effects[] = {
    {"portamento up", 0x1, 'F', 0x12}, {"portamento down", 0x2, 'E', 0x07},
    {"vibrato", 0x4, 'H', 0x44},       {"volume slide", 0xA, 'D', 0x04},
    {"set speed", 0xF, 'A', 0x03},     {"set tempo", 0xF, 'T', 0x90},
};

mw_cell effect_cell(module_format format, const effect_notation &effect, int row, int channel) {
    mw_cell cell;
    cell.row = row;
    cell.channel = channel;
    cell.effect = uses_letters(format) ? effect.s3m_it : effect.mod_xm + 1;
    cell.param = effect.param;
    return cell;
}

mw_cell note_cell(int row, int channel, int note, int instrument, int volume = -1) {
    mw_cell cell;
    cell.row = row;
    cell.channel = channel;
    cell.note = note;
    cell.instrument = instrument;
    cell.volume = volume;
    return cell;
}

mw_sample named_sample(const std::string &name, mw_wave wave) {
    mw_sample sample;
    sample.name = name;
    sample.data = make_wave(wave, 32, 8);
    return sample;
}

/// The exact length in milliseconds of playing rows rows at speed and tempo.
double expected_ms(int rows, int speed, int tempo) {
    return rows * speed * 2500.0 / tempo;
}

/// Eight channels, three samples (one unnamed), two instruments where the format has them,
/// three patterns of 64, 32 and 64 rows, four orders, speed 5, tempo 140.
module_description full_description(module_format format) {
    module_description desc;
    desc.format = format;
    desc.name = "Writer Check";
    desc.channels = 8;
    desc.speed = 5;
    desc.tempo = 140;
    desc.samples = {named_sample("kick drum", mw_wave::sine),
                    named_sample("bright lead", mw_wave::square), named_sample("", mw_wave::saw)};
    desc.instruments = {{"Drums", {0}}, {"Lead Synth", {1, 2}}};
    const mw_limits limits = format_limits(format);
    mw_pattern first;
    first.cells = {
        note_cell(0, 0, mw_note_c4, 1),          note_cell(5, 7, limits.highest_note, 2, 48),
        note_cell(10, 3, limits.lowest_note, 1), note_cell(20, 2, mw_note_off, 0),
        note_cell(21, 1, mw_note_cut, 0),        note_cell(63, 6, mw_note_c5 + 7, 2),
    };
    mw_pattern second;
    second.rows = 32;
    second.cells = {note_cell(31, 5, mw_note_c5, 1)};
    mw_pattern third;
    third.cells = {note_cell(40, 7, mw_note_c4 + 1, 2)};
    desc.patterns = {first, second, third};
    desc.orders = {0, 2, 1, 0};
    if (format == module_format::it)
        desc.message = "Line one\nLine two";
    return desc;
}

class ModuleWriterFormat : public testing::TestWithParam<format_case> {};

TEST_P(ModuleWriterFormat, DecoderReportsTheHeaderThatWasWritten) {
    const format_case &param = GetParam();
    const module_description desc = full_description(param.format);
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());

    EXPECT_STREQ(ModPlug_GetName(module.get()), "Writer Check");
    EXPECT_EQ(ModPlug_GetModuleType(module.get()), param.module_type);
    EXPECT_EQ(ModPlug_NumChannels(module.get()), 8u);
    // The decoder counts every one of the 31 MOD sample slots.
    EXPECT_EQ(ModPlug_NumSamples(module.get()), param.format == module_format::mod ? 31u : 3u);
    EXPECT_EQ(ModPlug_NumInstruments(module.get()), param.has_instruments ? 2u : 0u);
    // The decoder's "patterns" are the entries of the order list.
    EXPECT_EQ(ModPlug_NumPatterns(module.get()), 4u);
    // Orders 0, 2, 1, 0: 64 + 64 + 32 + 64 rows; the decoder rounds to whole seconds.
    EXPECT_NEAR(ModPlug_GetLength(module.get()), expected_ms(224, 5, 140), 500);
}

TEST_P(ModuleWriterFormat, DecoderReportsTheNamesThatWereWritten) {
    const format_case &param = GetParam();
    const decoded module(write_module(full_description(param.format)));
    ASSERT_TRUE(module.loaded());

    EXPECT_EQ(module.sample_name(1), "kick drum");
    EXPECT_EQ(module.sample_name(2), "bright lead");
    EXPECT_EQ(module.sample_name(3), "");
    if (param.has_instruments) {
        EXPECT_EQ(module.instrument_name(1), "Drums");
        EXPECT_EQ(module.instrument_name(2), "Lead Synth");
    }
    const char *message = ModPlug_GetMessage(module.get());
    if (param.format == module_format::it) {
        ASSERT_NE(message, nullptr);
        EXPECT_STREQ(message, "Line one\rLine two");
    } else {
        EXPECT_EQ(message, nullptr);
    }
}

TEST_P(ModuleWriterFormat, NamesFillTheirWholeFieldAndLongerOnesAreCut) {
    const format_case &param = GetParam();
    const mw_limits limits = format_limits(param.format);
    module_description desc = full_description(param.format);
    desc.name = std::string(static_cast<size_t>(limits.song_name), 'S');
    desc.samples[0].name = std::string(static_cast<size_t>(limits.sample_name), 'a');
    desc.samples[1].name = std::string(static_cast<size_t>(limits.sample_name) + 5, 'b');
    desc.instruments[0].name = std::string(static_cast<size_t>(limits.instrument_name), 'i');
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());

    EXPECT_EQ(ModPlug_GetName(module.get()), desc.name);
    EXPECT_EQ(module.sample_name(1), desc.samples[0].name);
    EXPECT_EQ(module.sample_name(2), desc.samples[1].name.substr(0, limits.sample_name));
    if (param.has_instruments) {
        EXPECT_EQ(module.instrument_name(1), desc.instruments[0].name);
    }
}

TEST_P(ModuleWriterFormat, NotesComeBackWithTheDecodersNumbers) {
    const format_case &param = GetParam();
    const mw_limits limits = format_limits(param.format);
    const decoded module(write_module(full_description(param.format)));
    ASSERT_TRUE(module.loaded());

    struct expected_cell {
        int pattern, row, channel, note, instrument;
    };
    const expected_cell cells[] = {
        {0, 0, 0, mw_note_c4, 1},
        {0, 5, 7, limits.highest_note, 2},
        {0, 10, 3, limits.lowest_note, 1},
        {0, 20, 2, param.reported_note_off, 0},
        {0, 21, 1, param.reported_note_cut, 0},
        {0, 63, 6, mw_note_c5 + 7, 2},
        {1, 31, 5, mw_note_c5, 1},
        {2, 40, 7, mw_note_c4 + 1, 2},
        {0, 1, 0, mw_no_note, 0},
    };
    for (const expected_cell &want : cells) {
        SCOPED_TRACE("pattern " + std::to_string(want.pattern) + " row " +
                     std::to_string(want.row) + " channel " + std::to_string(want.channel));
        const ModPlugNote got = module.cell(want.pattern, want.row, want.channel);
        EXPECT_EQ(got.Note, want.note);
        EXPECT_EQ(got.Instrument, want.instrument);
    }
}

TEST_P(ModuleWriterFormat, PatternsKeepTheirRowsOrEndWithABreak) {
    const format_case &param = GetParam();
    module_description desc = full_description(param.format);
    desc.orders = {1, 1, 1};
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    // MOD and S3M patterns always have 64 rows; the 32-row one breaks after row 31.
    const bool fixed_rows =
        param.format == module_format::mod || param.format == module_format::s3m;
    EXPECT_EQ(module.rows(1), fixed_rows ? 64u : 32u);
    EXPECT_NEAR(ModPlug_GetLength(module.get()), expected_ms(96, 5, 140), 500);
}

TEST_P(ModuleWriterFormat, VolumeColumnComesBack) {
    const format_case &param = GetParam();
    module_description desc = full_description(param.format);
    desc.patterns[0].cells.push_back(note_cell(30, 4, mw_note_c5, 1, 20));
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());

    const ModPlugNote got = module.cell(0, 30, 4);
    if (param.format == module_format::mod) {
        // MOD has no volume column: the writer uses effect C, as an explicit C14 would.
        module_description explicit_c = desc;
        mw_cell c = note_cell(30, 4, mw_note_c5, 1);
        c.effect = 0xC + 1;
        c.param = 20;
        explicit_c.patterns[0].cells.back() = c;
        const decoded reference(write_module(explicit_c));
        ASSERT_TRUE(reference.loaded());
        EXPECT_EQ(got.Effect, reference.cell(0, 30, 4).Effect);
        EXPECT_NE(got.Effect, 0);
        EXPECT_EQ(got.Parameter, 20);
    } else {
        EXPECT_NE(got.VolumeEffect, 0);
        EXPECT_EQ(got.Volume, 20);
    }
}

TEST_P(ModuleWriterFormat, ShortSamplesAndEmptyPatternsStillLoad) {
    const format_case &param = GetParam();
    // The smallest module each format accepts: one sample (in MOD, of six frames).
    module_description desc;
    desc.format = param.format;
    mw_sample sample;
    sample.data = make_wave(mw_wave::square, 2, 3);
    desc.samples = {sample};
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    EXPECT_EQ(ModPlug_NumPatterns(module.get()), 1u);
    EXPECT_EQ(module.rows(0), 64u);
}

INSTANTIATE_TEST_SUITE_P(ModuleWriter, ModuleWriterFormat, testing::ValuesIn(format_cases),
                         [](const testing::TestParamInfo<format_case> &info) {
                             return std::string(info.param.label);
                         });

TEST(ModuleWriterEffects, EachEffectDecodesAlikeInEveryFormat) {
    for (const effect_notation &effect : shared_effects) {
        SCOPED_TRACE(effect.label);
        std::vector<ModPlugNote> decoded_cells;
        for (const format_case &format : format_cases) {
            module_description desc = full_description(format.format);
            desc.patterns[0].cells.push_back(effect_cell(format.format, effect, 12, 5));
            const decoded module(write_module(desc));
            ASSERT_TRUE(module.loaded()) << format.label;
            decoded_cells.push_back(module.cell(0, 12, 5));
        }
        EXPECT_NE(decoded_cells[0].Effect, 0);
        for (size_t i = 1; i < decoded_cells.size(); ++i) {
            EXPECT_EQ(decoded_cells[i].Effect, decoded_cells[0].Effect) << format_cases[i].label;
            EXPECT_EQ(decoded_cells[i].Parameter, effect.param) << format_cases[i].label;
        }
    }
}

TEST(ModuleWriterEffects, SpeedAndTempoEffectsChangeTheLength) {
    for (const format_case &format : format_cases) {
        SCOPED_TRACE(format.label);
        module_description desc = full_description(format.format);
        // From row 32 of pattern 2 on: speed 3, tempo 144. (A MOD sets its initial speed
        // and tempo on row 0 of the first pattern, so that one is not played twice.)
        desc.orders = {2, 0};
        desc.patterns[2].cells.push_back(effect_cell(format.format, shared_effects[4], 32, 0));
        desc.patterns[2].cells.push_back(
            effect_cell(format.format, {"tempo", 0xF, 'T', 144}, 32, 1));
        const decoded module(write_module(desc));
        ASSERT_TRUE(module.loaded());
        const double expected = expected_ms(32, 5, 140) + expected_ms(96, 3, 144);
        EXPECT_NEAR(ModPlug_GetLength(module.get()), expected, 500);
    }
}

struct length_case {
    int rows, speed, tempo, orders;
};

TEST(ModuleWriterLength, LengthFollowsRowsSpeedAndTempo) {
    const length_case cases[] = {
        {64, 6, 125, 3}, // MOD's own default speed and tempo
        {32, 3, 150, 4}, {16, 7, 99, 2}, {48, 2, 200, 10}, {64, 12, 64, 2},
    };
    for (const format_case &format : format_cases) {
        for (const length_case &c : cases) {
            SCOPED_TRACE(std::string(format.label) + " rows " + std::to_string(c.rows) + " speed " +
                         std::to_string(c.speed) + " tempo " + std::to_string(c.tempo));
            module_description desc;
            desc.format = format.format;
            desc.speed = c.speed;
            desc.tempo = c.tempo;
            desc.samples = {named_sample("s", mw_wave::square)};
            mw_pattern pattern;
            pattern.rows = c.rows;
            pattern.cells = {note_cell(0, 0, mw_note_c5, 1)};
            desc.patterns = {pattern};
            desc.orders.assign(static_cast<size_t>(c.orders), 0);
            const decoded module(write_module(desc));
            ASSERT_TRUE(module.loaded());
            EXPECT_NEAR(ModPlug_GetLength(module.get()),
                        expected_ms(c.rows * c.orders, c.speed, c.tempo), 500);
        }
    }
}

struct channels_case {
    module_format format;
    int channels;
};

TEST(ModuleWriterChannels, DecoderCountsTheWrittenChannels) {
    // IT has no channel count: the decoder counts up to the last channel with data.
    const channels_case cases[] = {
        {module_format::mod, 2}, {module_format::mod, 4},  {module_format::mod, 6},
        {module_format::mod, 8}, {module_format::mod, 12}, {module_format::mod, 32},
        {module_format::s3m, 4}, {module_format::s3m, 9},  {module_format::s3m, 16},
        {module_format::xm, 1},  {module_format::xm, 2},   {module_format::xm, 32},
        {module_format::it, 4},  {module_format::it, 20},  {module_format::it, 64},
    };
    for (const channels_case &c : cases) {
        SCOPED_TRACE(std::string(format_cases[static_cast<int>(c.format)].label) + " " +
                     std::to_string(c.channels) + " channels");
        module_description desc;
        desc.format = c.format;
        desc.channels = c.channels;
        desc.samples = {named_sample("s", mw_wave::square)};
        mw_pattern pattern;
        pattern.cells = {note_cell(3, c.channels - 1, mw_note_c5, 1)};
        desc.patterns = {pattern};
        const decoded module(write_module(desc));
        ASSERT_TRUE(module.loaded());
        EXPECT_EQ(ModPlug_NumChannels(module.get()), static_cast<unsigned>(c.channels));
        EXPECT_EQ(module.cell(0, 3, c.channels - 1).Note, mw_note_c5);
    }
}

TEST(ModuleWriterInstruments, XmWithoutInstrumentsGetsOnePerSample) {
    module_description desc = full_description(module_format::xm);
    desc.instruments.clear();
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    EXPECT_EQ(ModPlug_NumInstruments(module.get()), 3u);
    EXPECT_EQ(ModPlug_NumSamples(module.get()), 3u);
    EXPECT_EQ(module.instrument_name(2), "bright lead");
}

TEST(ModuleWriterInstruments, XmKeepsOnlyTheSamplesOfItsInstruments) {
    module_description desc = full_description(module_format::xm);
    desc.instruments = {{"Only Lead", {1}}, {"Empty", {}}};
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    EXPECT_EQ(ModPlug_NumInstruments(module.get()), 2u);
    EXPECT_EQ(ModPlug_NumSamples(module.get()), 1u);
    EXPECT_EQ(module.sample_name(1), "bright lead");
    EXPECT_EQ(module.instrument_name(2), "Empty");
}

TEST(ModuleWriterInstruments, ItWithoutInstrumentsIsInSampleMode) {
    module_description desc = full_description(module_format::it);
    desc.instruments.clear();
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    EXPECT_EQ(ModPlug_NumInstruments(module.get()), 0u);
    EXPECT_EQ(ModPlug_NumSamples(module.get()), 3u);
    EXPECT_EQ(module.cell(0, 5, 7).Instrument, 2);
}

constexpr int render_rate = 44100;

/// The first frames of desc played by the decoder in mono, 16 bits; empty when it fails.
std::vector<int16_t> render(const module_description &desc, size_t frames) {
    // The settings are global and apply to the next load: restored at once.
    ModPlug_Settings saved;
    ModPlug_GetSettings(&saved);
    // Plain mixing: no reverb, bass, surround or noise reduction to move the waveform.
    ModPlug_Settings mono{};
    mono.mFlags = MODPLUG_ENABLE_OVERSAMPLING;
    mono.mChannels = 1;
    mono.mBits = 16;
    mono.mFrequency = render_rate;
    mono.mResamplingMode = MODPLUG_RESAMPLE_LINEAR;
    mono.mStereoSeparation = 128;
    mono.mMaxMixChannels = 32;
    mono.mLoopCount = 0;
    ModPlug_SetSettings(&mono);
    const decoded module(write_module(desc));
    ModPlug_SetSettings(&saved);
    if (!module.loaded())
        return {};
    std::vector<int16_t> out(frames);
    const int bytes = static_cast<int>(frames * sizeof(int16_t));
    if (ModPlug_Read(module.get(), out.data(), bytes) != bytes)
        return {};
    return out;
}

/// One note on row 0 of sample, which follows a short sample of odd length: the data of
/// the second sample is only found where the length of the first is right.
module_description one_note(module_format format, const mw_sample &sample, int note) {
    module_description desc;
    desc.format = format;
    mw_sample before;
    before.data = make_wave(mw_wave::square, 2, 50);
    before.data.push_back(100);
    desc.samples = {before, sample};
    mw_pattern pattern;
    pattern.cells = {note_cell(0, 0, note, 2)};
    desc.patterns = {pattern};
    return desc;
}

// The notes are not only numbered alike: every format plays C-5 at the sample's base rate.
TEST(ModuleWriterPitch, NotesSoundAtTheSamePitchInEveryFormat) {
    mw_sample sample;
    sample.data = make_wave(mw_wave::square, 32, 16);
    sample.loop_length = static_cast<int>(sample.data.size());
    for (const format_case &format : format_cases) {
        for (int note : {int{mw_note_c5}, mw_note_c5 + 12}) {
            SCOPED_TRACE(std::string(format.label) + " note " + std::to_string(note));
            const std::vector<int16_t> frames =
                render(one_note(format.format, sample, note), render_rate * 6 / 5);
            ASSERT_FALSE(frames.empty());
            // Rising zero crossings over one second, after the first 0.2 s.
            int crossings = 0;
            for (size_t i = render_rate / 5 + 1; i < frames.size(); ++i)
                if (frames[i - 1] < 0 && frames[i] >= 0)
                    ++crossings;
            const double hz = 8363.0 / 32 * std::pow(2.0, (note - mw_note_c5) / 12.0);
            EXPECT_NEAR(crossings, hz, hz * 0.02); // MOD's Amiga clock is 1% lower
        }
    }
}

// The frames arrive as written: signed or unsigned as flagged, delta-encoded in XM.
TEST(ModuleWriterSamples, FramesPlayAsWritten) {
    mw_sample sample;
    sample.data = make_wave(mw_wave::saw, 200, 5);
    for (const format_case &format : format_cases) {
        SCOPED_TRACE(format.label);
        const size_t count = 4000;
        const std::vector<int16_t> frames =
            render(one_note(format.format, sample, mw_note_c5), count);
        ASSERT_FALSE(frames.empty());
        // Pearson correlation of the output with the sample frame it should be playing.
        double sum_x = 0, sum_y = 0, sum_xx = 0, sum_yy = 0, sum_xy = 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t at = i * 8363 / render_rate;
            const double x = sample.data[at];
            const double y = frames[i];
            sum_x += x;
            sum_y += y;
            sum_xx += x * x;
            sum_yy += y * y;
            sum_xy += x * y;
        }
        const double n = static_cast<double>(count);
        const double covariance = sum_xy - sum_x * sum_y / n;
        const double spread =
            std::sqrt((sum_xx - sum_x * sum_x / n) * (sum_yy - sum_y * sum_y / n));
        ASSERT_GT(spread, 0);
        EXPECT_GT(covariance / spread, 0.9);
    }
}

TEST(ModuleWriterWave, WavesHaveTheirLengthPeakAndDecay) {
    const mw_wave waves[] = {mw_wave::square, mw_wave::saw, mw_wave::triangle, mw_wave::sine,
                             mw_wave::noise};
    for (mw_wave wave : waves) {
        SCOPED_TRACE(static_cast<int>(wave));
        // Noise holds each value for a cycle: one frame each gives it 200 values.
        const int cycle = wave == mw_wave::noise ? 1 : 40;
        const std::vector<int8_t> frames = make_wave(wave, cycle, 200 / cycle, 90);
        ASSERT_EQ(frames.size(), 200u);
        int peak = 0;
        for (int8_t frame : frames)
            peak = std::max(peak, std::abs(static_cast<int>(frame)));
        EXPECT_LE(peak, 90);
        EXPECT_GE(peak, 60);
        const std::vector<int8_t> fading = make_wave(wave, cycle, 200 / cycle, 90, true);
        int tail = 0;
        for (size_t i = 180; i < fading.size(); ++i)
            tail = std::max(tail, std::abs(static_cast<int>(fading[i])));
        EXPECT_LE(tail, 2);
    }
    EXPECT_EQ(make_wave(mw_wave::noise, 1, 50, 100, false, 7),
              make_wave(mw_wave::noise, 1, 50, 100, false, 7));
    EXPECT_NE(make_wave(mw_wave::noise, 1, 50, 100, false, 7),
              make_wave(mw_wave::noise, 1, 50, 100, false, 8));
    const std::vector<int8_t> silence = make_wave(mw_wave::silence, 8, 4);
    EXPECT_EQ(silence, std::vector<int8_t>(32, 0));
}

TEST(ModuleWriterFile, WritesTheBytesToAFile) {
    temp_dir dir;
    const module_description desc = full_description(module_format::xm);
    ASSERT_TRUE(write_module_file(desc, dir.file("out.xm")));
    const std::vector<uint8_t> bytes = write_module(desc);
    EXPECT_EQ(read_file(dir.file("out.xm")), std::string(bytes.begin(), bytes.end()));
    EXPECT_FALSE(write_module_file(desc, dir.file("missing/out.xm")));
}

// ---------------------------------------------------------------------------------------
// The description text

module_description parse_ok(const std::string &text) {
    module_description desc;
    std::string error;
    EXPECT_TRUE(parse_module_description(text, desc, error)) << error;
    return desc;
}

TEST(ModuleDescription, ParsesEveryStatement) {
    const module_description desc = parse_ok(R"(# a fixture
tempo 140
format it
name  Night  Drive   # the song
channels 6
speed 4

sample square 32 4 vol=40 amp=50 c5=16000 loop Lead square
sample noise 1 100 decay
sample sine 8 2 : loop
samples 2
instrument 1 3 Lead and sine
instrument
instruments 1
instrument 2 : 2 drums
message First line\nsecond line
message Third \\n
order 1 0
order 1
pattern 0 32
note 0 0 C-4 1 v48 A06
note 1 5 C#4
note 2 1 === - H44
note 3 2 ^^^
note 4 3 --- 2 v0
patterns 1 16
pattern 1
seq 4 2 4 3 v30 C-5 . Db5 ---
fx 4 6 3 D04
copy 0 0 1
note 0 1 B-9 4
)");
    EXPECT_EQ(desc.format, module_format::it);
    EXPECT_EQ(desc.name, "Night  Drive");
    EXPECT_EQ(desc.channels, 6);
    EXPECT_EQ(desc.speed, 4);
    EXPECT_EQ(desc.tempo, 140);
    EXPECT_EQ(desc.message, "First line\nsecond line\nThird \\n");

    ASSERT_EQ(desc.samples.size(), 5u);
    const mw_sample &lead = desc.samples[0];
    EXPECT_EQ(lead.name, "Lead square");
    EXPECT_EQ(lead.volume, 40);
    EXPECT_EQ(lead.c5_speed, 16000);
    EXPECT_EQ(lead.data, make_wave(mw_wave::square, 32, 4, 50));
    EXPECT_EQ(lead.loop_start, 0);
    EXPECT_EQ(lead.loop_length, 128);
    EXPECT_EQ(desc.samples[1].name, "");
    EXPECT_EQ(desc.samples[1].data.size(), 100u);
    EXPECT_EQ(desc.samples[1].loop_length, 0);
    EXPECT_EQ(desc.samples[2].name, "loop");
    EXPECT_EQ(desc.samples[2].loop_length, 0);
    EXPECT_EQ(desc.samples[3].name, "sample 4");
    EXPECT_EQ(desc.samples[4].name, "sample 5");

    ASSERT_EQ(desc.instruments.size(), 4u);
    EXPECT_EQ(desc.instruments[0].name, "Lead and sine");
    EXPECT_EQ(desc.instruments[0].samples, (std::vector<int>{0, 2}));
    EXPECT_EQ(desc.instruments[1].name, "");
    EXPECT_EQ(desc.instruments[1].samples, std::vector<int>{1});
    EXPECT_EQ(desc.instruments[2].name, "instrument 3");
    EXPECT_EQ(desc.instruments[2].samples, std::vector<int>{2});
    EXPECT_EQ(desc.instruments[3].name, "2 drums");
    EXPECT_EQ(desc.instruments[3].samples, std::vector<int>{1});

    EXPECT_EQ(desc.orders, (std::vector<int>{1, 0, 1}));
    ASSERT_EQ(desc.patterns.size(), 2u);
    EXPECT_EQ(desc.patterns[0].rows, 32);
    EXPECT_EQ(desc.patterns[1].rows, 16);

    struct want {
        int pattern, row, channel, note, instrument, volume, effect, param;
    };
    const want cells[] = {
        {0, 0, 0, 49, 1, 48, 'A', 0x06},  {0, 1, 5, 50, 0, -1, 0, 0},
        {0, 2, 1, 255, 0, -1, 'H', 0x44}, {0, 3, 2, 254, 0, -1, 0, 0},
        {0, 4, 3, 0, 2, 0, 0, 0},         {1, 2, 4, 61, 3, 30, 0, 0},
        {1, 6, 4, 0, 0, -1, 'D', 0x04},   {1, 7, 4, 0, 0, -1, 'D', 0x04},
        {1, 8, 4, 0, 0, -1, 'D', 0x04},   {1, 10, 4, 62, 3, 30, 0, 0},
        {1, 0, 0, 49, 1, 48, 'A', 0x06},  {1, 0, 1, 120, 4, -1, 0, 0},
        {1, 2, 1, 255, 0, -1, 'H', 0x44},
    };
    for (const want &w : cells) {
        SCOPED_TRACE("pattern " + std::to_string(w.pattern) + " row " + std::to_string(w.row) +
                     " channel " + std::to_string(w.channel));
        const std::vector<mw_cell> &in = desc.patterns[static_cast<size_t>(w.pattern)].cells;
        auto at = std::find_if(in.begin(), in.end(), [&](const mw_cell &c) {
            return c.row == w.row && c.channel == w.channel;
        });
        ASSERT_NE(at, in.end());
        EXPECT_EQ(at->note, w.note);
        EXPECT_EQ(at->instrument, w.instrument);
        EXPECT_EQ(at->volume, w.volume);
        EXPECT_EQ(at->effect, w.effect);
        EXPECT_EQ(at->param, w.param);
    }
    // seq skipped its second and fourth steps; copy took only channels 0 and 1.
    EXPECT_EQ(desc.patterns[1].cells.size(), 8u);
}

TEST(ModuleDescription, EffectsFollowTheFormatsNotation) {
    const module_description xm = parse_ok("format xm\nsamples 1\npattern 0\nnote 0 0 C-4 1 F06\n"
                                           "note 1 0 --- - 106\nnote 2 0 --- - Z01\n");
    ASSERT_EQ(xm.patterns[0].cells.size(), 3u);
    EXPECT_EQ(xm.patterns[0].cells[0].effect, 0xF + 1);
    EXPECT_EQ(xm.patterns[0].cells[1].effect, 0x1 + 1);
    EXPECT_EQ(xm.patterns[0].cells[1].instrument, 0);
    EXPECT_EQ(xm.patterns[0].cells[2].effect, 35 + 1);
    const module_description s3m =
        parse_ok("format s3m\nsamples 1\npattern 0\nnote 0 0 C-4 1 T8c\n");
    EXPECT_EQ(s3m.patterns[0].cells[0].effect, 'T');
    EXPECT_EQ(s3m.patterns[0].cells[0].param, 0x8C);
}

TEST(ModuleDescription, NoteNamesGiveTheDecodersNumbers) {
    const std::pair<const char *, int> names[] = {
        {"C-0", 1},  {"C#0", 2},  {"B-3", 48},  {"C-4", 49},  {"Db4", 50},  {"C#4", 50},
        {"A-4", 58}, {"C-5", 61}, {"B-9", 120}, {"===", 255}, {"^^^", 254}, {"---", 0},
    };
    for (const auto &[name, number] : names) {
        SCOPED_TRACE(name);
        const module_description desc =
            parse_ok(std::string("format it\npattern 0\nnote 0 0 ") + name + "\n");
        ASSERT_EQ(desc.patterns[0].cells.size(), 1u);
        EXPECT_EQ(desc.patterns[0].cells[0].note, number);
    }
}

TEST(ModuleDescription, CompactFixtureBecomesTheModuleItDescribes) {
    const module_description desc = parse_ok("format it\nname Many Things\nchannels 8\n"
                                             "samples 12\ninstruments 8\npatterns 20 32\n"
                                             "pattern 19\nnote 31 7 C-5 8\n");
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    EXPECT_STREQ(ModPlug_GetName(module.get()), "Many Things");
    EXPECT_EQ(ModPlug_NumSamples(module.get()), 12u);
    EXPECT_EQ(ModPlug_NumInstruments(module.get()), 8u);
    EXPECT_EQ(ModPlug_NumChannels(module.get()), 8u);
    // Without order lines every pattern plays once.
    EXPECT_EQ(ModPlug_NumPatterns(module.get()), 20u);
    EXPECT_NEAR(ModPlug_GetLength(module.get()), expected_ms(20 * 32, 6, 125), 500);
    EXPECT_EQ(module.sample_name(12), "sample 12");
    EXPECT_EQ(module.instrument_name(8), "instrument 8");
    EXPECT_EQ(module.cell(19, 31, 7).Note, mw_note_c5);
    EXPECT_EQ(module.cell(19, 31, 7).Instrument, 8);
}

TEST(ModuleDescription, ErrorsNameTheLine) {
    const std::pair<const char *, const char *> cases[] = {
        {"format xm\nbogus 1\n", "line 2: unknown statement \"bogus\""},
        {"format wav\n", "line 1: unknown format \"wav\""},
        {"channels 40\nformat xm\n", "line 1: XM takes 1..32 channels, not 40"},
        {"format mod\nchannels 1\n", "line 2: MOD takes 2..32 channels, not 1"},
        {"speed 0\n", "line 1: speed 0 is out of range 1..31"},
        {"tempo fast\n", "line 1: tempo must be a number, not \"fast\""},
        {"note 0 0 C-4\n", "line 1: a pattern line must come before the cells"},
        {"pattern 0 16\n\nnote 16 0 C-4\n", "line 3: row 16 is outside pattern 0 (rows 0..15)"},
        {"channels 4\npattern 0\nnote 0 4 C-4\n", "line 3: channel 4 is out of range 0..3"},
        {"pattern 0\nnote 0 0 H-4\n", "line 2: \"H-4\" is not a note"},
        {"format mod\npattern 0\nnote 0 0 B-2\n",
         "line 3: note B-2 is outside the MOD range C-3..B-7"},
        {"format xm\npattern 0\nnote 0 0 C-9\n",
         "line 3: note C-9 is outside the XM range C-1..B-8"},
        {"format s3m\npattern 0\nnote 0 0 C-4 1 F06 x\n",
         "line 3: unexpected \"x\" after the cell"},
        {"format s3m\npattern 0\nnote 0 0 C-4 1 106\n",
         "line 3: S3M effect commands are letters A..Z, not '1'"},
        {"format mod\npattern 0\nnote 0 0 C-4 1 G01\n",
         "line 3: MOD effect commands are 0..9, A..F, not 'G'"},
        {"pattern 0\nnote 0 0 C-4 1 v65\n", "line 2: volume 65 is out of range 0..64"},
        {"format mod\ninstrument Piano\n", "line 2: MOD has no instruments"},
        {"format xm\nmessage hello\n", "line 2: only IT modules carry a message, not XM"},
        {"format mod\nsample square 4 4 A name of twenty-three!\n",
         "line 2: sample name \"A name of twenty-three!\" is longer than the 22 characters"},
        {"format xm\nname An XM name that is too long\n", "line 2: song name"},
        {"sample wobble 4 4\n", "line 1: unknown waveform \"wobble\""},
        {"sample square 4 4 loud=3\n", "line 1: unknown sample option \"loud=3\""},
        {"sample square 4\n", "line 1: sample takes a waveform"},
        {"patterns 2\norder 0\norder 1 2\n",
         "line 3: order names pattern 2, but there are 2 patterns"},
        {"samples 2\ninstrument 1\ninstrument 3 Drums\n",
         "line 3: instrument 2 plays sample 3, but there are 2 samples"},
        {"samples 2\ninstruments 1\npattern 0\nnote 5 0 C-4 2\n",
         "line 4: instrument 2 is used, but there are 1 instruments"},
        {"format s3m\nsamples 1\npattern 0\nseq 0 0 1 2 C-4\n",
         "line 4: sample 2 is used, but there are 1 samples"},
        {"format it\npattern 0 3\n", "line 2: IT pattern rows 3 is out of range 4..200"},
        {"pattern 0 8\nseq 0 0 4 - C-4 C-4 C-4\n", "line 2: row 8 is outside pattern 0"},
        {"pattern 0 32\nnote 20 0 C-4\npattern 0 16\n",
         "line 3: pattern 0 already has a cell on row 20"},
        {"copy 1\n", "line 1: pattern 1 does not exist yet"},
        {"pattern 0\nfx 0 0 2 F6\n", "line 2: \"F6\" is not an effect"},
    };
    for (const auto &[text, expected] : cases) {
        SCOPED_TRACE(text);
        module_description desc;
        desc.name = "untouched";
        std::string error;
        EXPECT_FALSE(parse_module_description(text, desc, error));
        EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
        EXPECT_EQ(desc.name, "untouched");
    }
}

// ---------------------------------------------------------------------------------------
// The demo tune

TEST(ModuleWriterDemo, DemoTuneIsAnXmOfMoreThanTwentySeconds) {
    const std::filesystem::path tune =
        std::filesystem::path(__FILE__).parent_path().parent_path() / "examples" / "demo.tune";
    const std::string text = read_file(tune.string());
    ASSERT_FALSE(text.empty()) << tune;
    const module_description desc = parse_ok(text);
    const decoded module(write_module(desc));
    ASSERT_TRUE(module.loaded());
    EXPECT_EQ(ModPlug_GetModuleType(module.get()), 4);
    EXPECT_STREQ(ModPlug_GetName(module.get()), "Marrowtide Demo");
    EXPECT_GE(ModPlug_GetLength(module.get()), 20000);
    EXPECT_GE(ModPlug_NumPatterns(module.get()), 3u);
    ASSERT_GE(ModPlug_NumInstruments(module.get()), 3u);
    for (unsigned i = 1; i <= ModPlug_NumInstruments(module.get()); ++i) {
        EXPECT_FALSE(module.instrument_name(i).empty()) << i;
        EXPECT_FALSE(module.sample_name(i).empty()) << i;
    }
}

} // namespace
