// The text form of module descriptions: one statement per line, see module_writer.h.

#include "module_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace {

constexpr std::array<const char *, 4> format_names = {"MOD", "S3M", "XM", "IT"};

const char *format_name(module_format format) {
    return format_names[static_cast<size_t>(format)];
}

std::string note_name(int note) {
    static constexpr std::array<const char *, 12> names = {"C-", "C#", "D-", "D#", "E-", "F-",
                                                           "F#", "G-", "G#", "A-", "A#", "B-"};
    const int index = note - mw_note_c0;
    return std::string(names[static_cast<size_t>(index % 12)]) + std::to_string(index / 12);
}

// One line without its comment, split into words that remember where they start, so that
// a name can be taken as the rest of the line.
struct line_words {
    std::string text;
    std::vector<std::string> words;
    std::vector<size_t> starts;

    /// The text from word index on, or "" past the last word.
    std::string rest(size_t index) const {
        return index < words.size() ? text.substr(starts[index]) : std::string();
    }
};

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

line_words split_line(const std::string &line) {
    line_words out;
    size_t end = line.size();
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '#' && (i == 0 || is_blank(line[i - 1]))) {
            end = i;
            break;
        }
    }
    while (end > 0 && is_blank(line[end - 1]))
        --end;
    out.text = line.substr(0, end);
    size_t i = 0;
    while (i < out.text.size()) {
        while (i < out.text.size() && is_blank(out.text[i]))
            ++i;
        if (i >= out.text.size())
            break;
        const size_t start = i;
        while (i < out.text.size() && !is_blank(out.text[i]))
            ++i;
        out.words.push_back(out.text.substr(start, i - start));
        out.starts.push_back(start);
    }
    return out;
}

std::optional<int> to_int(const std::string &word) {
    int value = 0;
    const char *end = word.data() + word.size();
    auto [stop, failure] = std::from_chars(word.data(), end, value);
    if (failure != std::errc() || stop != end || word.empty())
        return std::nullopt;
    return value;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Numbers that can only be checked once the whole text is read, with the line they stand on:
// the instrument column of cells and the samples of instruments.
struct instrument_use {
    int line;
    int number; ///< 1-based
};
struct sample_use {
    int line;
    int instrument; ///< 0-based
    int sample;     ///< 0-based
};

class description_parser {
  public:
    bool parse(const std::string &text, module_description &out, std::string &error);

  private:
    bool fail(const std::string &message) {
        error_ = "line " + std::to_string(line_) + ": " + message;
        return false;
    }
    bool number(const std::string &word, int low, int high, const std::string &what, int &out);
    bool settings_line(const line_words &words);
    bool statement(const line_words &words);
    bool sample_line(const line_words &words);
    bool add_sample(mw_sample sample);
    bool instrument_line(const line_words &words);
    bool add_instrument(mw_instrument instrument);
    bool pattern_line(const line_words &words);
    bool note_line(const line_words &words);
    bool seq_line(const line_words &words);
    bool copy_line(const line_words &words);
    bool fx_line(const line_words &words);
    bool note_word(const std::string &word, int &note);
    bool volume_word(const std::string &word, int &volume);
    bool effect_word(const std::string &word, int &effect, int &param);
    bool instrument_word(const std::string &word, int &instrument);
    bool put_cell(const mw_cell &cell);
    bool name_fits(const std::string &name, int limit, const char *what);
    bool final_checks();
    int instrument_count() const;

    module_description desc_;
    mw_limits limits_{};
    std::string error_;
    int line_ = 0;
    int current_pattern_ = -1;
    bool has_message_ = false;
    std::vector<int> order_lines_;
    std::vector<instrument_use> instrument_uses_;
    std::vector<sample_use> sample_uses_;
};

bool description_parser::number(const std::string &word, int low, int high, const std::string &what,
                                int &out) {
    const std::optional<int> value = to_int(word);
    if (!value)
        return fail(what + " must be a number, not \"" + word + "\"");
    if (*value < low || *value > high)
        return fail(what + " " + word + " is out of range " + std::to_string(low) + ".." +
                    std::to_string(high));
    out = *value;
    return true;
}

bool description_parser::name_fits(const std::string &name, int limit, const char *what) {
    if (static_cast<int>(name.size()) <= limit)
        return true;
    return fail(std::string(what) + " \"" + name + "\" is longer than the " +
                std::to_string(limit) + " characters that " + format_name(desc_.format) + " keeps");
}

// format and channels decide how every other line is checked, so they are read first,
// wherever they stand.
bool description_parser::settings_line(const line_words &words) {
    const std::string &keyword = words.words[0];
    if (keyword == "format") {
        if (words.words.size() != 2)
            return fail("format takes one of mod, s3m, xm, it");
        const std::string &value = words.words[1];
        if (value == "mod")
            desc_.format = module_format::mod;
        else if (value == "s3m")
            desc_.format = module_format::s3m;
        else if (value == "xm")
            desc_.format = module_format::xm;
        else if (value == "it")
            desc_.format = module_format::it;
        else
            return fail("unknown format \"" + value + "\" (mod, s3m, xm or it)");
    } else if (keyword == "channels") {
        if (words.words.size() != 2)
            return fail("channels takes one number");
        // Checked against the format once the format is known.
        const std::optional<int> value = to_int(words.words[1]);
        if (!value)
            return fail("channels must be a number, not \"" + words.words[1] + "\"");
        desc_.channels = *value;
    }
    return true;
}

bool description_parser::parse(const std::string &text, module_description &out,
                               std::string &error) {
    std::vector<line_words> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(split_line(text.substr(start, end - start)));
        start = end + 1;
    }
    int channels_line = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        line_ = static_cast<int>(i) + 1;
        if (lines[i].words.empty())
            continue;
        if (!settings_line(lines[i])) {
            error = error_;
            return false;
        }
        if (lines[i].words[0] == "channels")
            channels_line = line_;
    }
    limits_ = format_limits(desc_.format);
    if (desc_.channels < limits_.min_channels || desc_.channels > limits_.max_channels) {
        line_ = channels_line;
        fail(std::string(format_name(desc_.format)) + " takes " +
             std::to_string(limits_.min_channels) + ".." + std::to_string(limits_.max_channels) +
             " channels, not " + std::to_string(desc_.channels));
        error = error_;
        return false;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        line_ = static_cast<int>(i) + 1;
        if (!lines[i].words.empty() && !statement(lines[i])) {
            error = error_;
            return false;
        }
    }
    line_ = static_cast<int>(lines.size());
    if (!final_checks()) {
        error = error_;
        return false;
    }
    out = std::move(desc_);
    return true;
}

bool description_parser::statement(const line_words &words) {
    const std::string &keyword = words.words[0];
    const size_t count = words.words.size();
    if (keyword == "format" || keyword == "channels")
        return true;
    if (keyword == "name") {
        desc_.name = words.rest(1);
        return name_fits(desc_.name, limits_.song_name, "song name");
    }
    if (keyword == "speed") {
        if (count != 2)
            return fail("speed takes one number");
        // MOD and XM read speeds from 32 up as tempos.
        const bool small = desc_.format == module_format::mod || desc_.format == module_format::xm;
        return number(words.words[1], 1, small ? 31 : 255, "speed", desc_.speed);
    }
    if (keyword == "tempo") {
        if (count != 2)
            return fail("tempo takes one number");
        return number(words.words[1], 32, 255, "tempo", desc_.tempo);
    }
    if (keyword == "message") {
        if (desc_.format != module_format::it)
            return fail(std::string("only IT modules carry a message, not ") +
                        format_name(desc_.format));
        std::string line;
        const std::string raw = words.rest(1);
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size() && (raw[i + 1] == 'n' || raw[i + 1] == '\\')) {
                line += raw[i + 1] == 'n' ? '\n' : '\\';
                ++i;
            } else {
                line += raw[i];
            }
        }
        if (has_message_)
            desc_.message += '\n';
        desc_.message += line;
        has_message_ = true;
        return true;
    }
    if (keyword == "sample")
        return sample_line(words);
    if (keyword == "samples") {
        int n = 0;
        if (count != 2)
            return fail("samples takes one number");
        if (!number(words.words[1], 1, limits_.max_samples, "samples", n))
            return false;
        for (int i = 0; i < n; ++i) {
            mw_sample sample;
            sample.name = "sample " + std::to_string(desc_.samples.size() + 1);
            sample.data = make_wave(mw_wave::square, 16, 4);
            if (!add_sample(std::move(sample)))
                return false;
        }
        return true;
    }
    if (keyword == "instrument")
        return instrument_line(words);
    if (keyword == "instruments") {
        int n = 0;
        if (count != 2)
            return fail("instruments takes one number");
        if (!number(words.words[1], 1, std::max(limits_.max_instruments, 1), "instruments", n))
            return false;
        for (int i = 0; i < n; ++i) {
            const int number = instrument_count() + 1;
            if (!add_instrument({"instrument " + std::to_string(number), {number - 1}}))
                return false;
        }
        return true;
    }
    if (keyword == "order") {
        if (count < 2)
            return fail("order takes one or more pattern numbers");
        for (size_t i = 1; i < count; ++i) {
            int pattern = 0;
            if (!number(words.words[i], 0, limits_.max_patterns - 1, "pattern", pattern))
                return false;
            if (static_cast<int>(desc_.orders.size()) >= limits_.max_orders)
                return fail(std::string(format_name(desc_.format)) + " keeps at most " +
                            std::to_string(limits_.max_orders) + " orders");
            desc_.orders.push_back(pattern);
            order_lines_.push_back(line_);
        }
        return true;
    }
    if (keyword == "patterns" || keyword == "pattern")
        return pattern_line(words);
    if (keyword == "note")
        return note_line(words);
    if (keyword == "seq")
        return seq_line(words);
    if (keyword == "copy")
        return copy_line(words);
    if (keyword == "fx")
        return fx_line(words);
    return fail("unknown statement \"" + keyword + "\"");
}

bool description_parser::add_sample(mw_sample sample) {
    if (static_cast<int>(desc_.samples.size()) >= limits_.max_samples)
        return fail(std::string(format_name(desc_.format)) + " keeps at most " +
                    std::to_string(limits_.max_samples) + " samples");
    if (!name_fits(sample.name, limits_.sample_name, "sample name"))
        return false;
    desc_.samples.push_back(std::move(sample));
    return true;
}

bool description_parser::sample_line(const line_words &words) {
    if (words.words.size() < 4)
        return fail("sample takes a waveform, a cycle length and a cycle count");
    static constexpr std::array<std::pair<const char *, mw_wave>, 6> waves = {{
        {"square", mw_wave::square},
        {"saw", mw_wave::saw},
        {"triangle", mw_wave::triangle},
        {"sine", mw_wave::sine},
        {"noise", mw_wave::noise},
        {"silence", mw_wave::silence},
    }};
    const std::string &wave_word = words.words[1];
    auto wave = std::find_if(waves.begin(), waves.end(),
                             [&](const auto &entry) { return wave_word == entry.first; });
    if (wave == waves.end())
        return fail("unknown waveform \"" + wave_word +
                    "\" (square, saw, triangle, sine, noise or silence)");
    int cycle = 0;
    int cycles = 0;
    if (!number(words.words[2], 1, 65536, "cycle length", cycle) ||
        !number(words.words[3], 0, 1 << 20, "cycle count", cycles))
        return false;
    const long long length = static_cast<long long>(cycle) * cycles;
    const long long max_length = desc_.format == module_format::mod ? 0x1FFFE : 1 << 22;
    if (length > max_length)
        return fail("sample of " + std::to_string(length) + " frames is longer than the " +
                    std::to_string(max_length) + " that " + format_name(desc_.format) +
                    " takes here");

    mw_sample sample;
    int amplitude = 100;
    bool decay = false;
    bool loop = false;
    size_t index = 4;
    for (; index < words.words.size(); ++index) {
        const std::string &word = words.words[index];
        if (word == ":") {
            ++index;
            break;
        }
        if (word == "loop") {
            loop = true;
        } else if (word == "decay") {
            decay = true;
        } else if (word.starts_with("vol=")) {
            if (!number(word.substr(4), 0, 64, "volume", sample.volume))
                return false;
        } else if (word.starts_with("amp=")) {
            if (!number(word.substr(4), 1, 127, "amplitude", amplitude))
                return false;
        } else if (word.starts_with("c5=")) {
            if (!number(word.substr(3), 1, 9999999, "c5 rate", sample.c5_speed))
                return false;
        } else if (word.find('=') != std::string::npos) {
            return fail("unknown sample option \"" + word + "\" (vol=, amp=, c5=)");
        } else {
            break;
        }
    }
    sample.name = words.rest(index);
    // Each sample gets its own noise, the same on every run.
    const uint32_t seed = static_cast<uint32_t>(desc_.samples.size()) + 1;
    sample.data = make_wave(wave->second, cycle, cycles, amplitude, decay, seed);
    if (loop && !sample.data.empty())
        sample.loop_length = static_cast<int>(sample.data.size());
    return add_sample(std::move(sample));
}

int description_parser::instrument_count() const {
    return static_cast<int>(desc_.instruments.size());
}

bool description_parser::add_instrument(mw_instrument instrument) {
    if (limits_.max_instruments == 0)
        return fail(std::string(format_name(desc_.format)) +
                    " has no instruments: the pattern instrument is the sample number");
    if (instrument_count() >= limits_.max_instruments)
        return fail(std::string(format_name(desc_.format)) + " keeps at most " +
                    std::to_string(limits_.max_instruments) + " instruments");
    if (!name_fits(instrument.name, limits_.instrument_name, "instrument name"))
        return false;
    if (static_cast<int>(instrument.samples.size()) > limits_.samples_per_instrument)
        return fail(std::string(format_name(desc_.format)) + " instruments hold at most " +
                    std::to_string(limits_.samples_per_instrument) + " samples");
    for (int sample : instrument.samples)
        sample_uses_.push_back({line_, instrument_count(), sample});
    desc_.instruments.push_back(std::move(instrument));
    return true;
}

bool description_parser::instrument_line(const line_words &words) {
    mw_instrument instrument;
    size_t index = 1;
    for (; index < words.words.size(); ++index) {
        const std::string &word = words.words[index];
        if (word == ":") {
            ++index;
            break;
        }
        const std::optional<int> value = to_int(word);
        if (!value)
            break;
        if (*value < 1)
            return fail("sample numbers count from 1, not " + word);
        instrument.samples.push_back(*value - 1);
    }
    instrument.name = words.rest(index);
    if (instrument.samples.empty())
        instrument.samples.push_back(instrument_count());
    return add_instrument(std::move(instrument));
}

bool description_parser::pattern_line(const line_words &words) {
    const bool many = words.words[0] == "patterns";
    const size_t count = words.words.size();
    if (count < 2 || count > 3)
        return fail(many ? "patterns takes a count and optionally rows"
                         : "pattern takes a number and optionally rows");
    int rows = 64;
    if (count == 3 && !number(words.words[2], limits_.min_rows, limits_.max_rows,
                              std::string(format_name(desc_.format)) + " pattern rows", rows))
        return false;
    const int existing = static_cast<int>(desc_.patterns.size());
    if (many) {
        int n = 0;
        if (!number(words.words[1], 1, limits_.max_patterns, "patterns", n))
            return false;
        if (existing + n > limits_.max_patterns)
            return fail(std::string(format_name(desc_.format)) + " keeps at most " +
                        std::to_string(limits_.max_patterns) + " patterns");
        desc_.patterns.resize(static_cast<size_t>(existing + n), mw_pattern{rows, {}});
        return true;
    }
    int number_value = 0;
    if (!number(words.words[1], 0, limits_.max_patterns - 1, "pattern", number_value))
        return false;
    if (number_value >= existing) {
        desc_.patterns.resize(static_cast<size_t>(number_value + 1));
        desc_.patterns.back().rows = rows;
    } else if (count == 3) {
        mw_pattern &pattern = desc_.patterns[static_cast<size_t>(number_value)];
        for (const mw_cell &cell : pattern.cells)
            if (cell.row >= rows)
                return fail("pattern " + words.words[1] + " already has a cell on row " +
                            std::to_string(cell.row));
        pattern.rows = rows;
    }
    current_pattern_ = number_value;
    return true;
}

bool description_parser::note_word(const std::string &word, int &note) {
    if (word == "---" || word == "...") {
        note = mw_no_note;
        return true;
    }
    if (word == "===") {
        note = mw_note_off;
        return true;
    }
    if (word == "^^^") {
        note = mw_note_cut;
        return true;
    }
    if (word == "~~~") {
        note = mw_note_fade;
        return true;
    }
    static constexpr std::array<int, 7> semitones = {9, 11, 0, 2, 4, 5, 7}; // A..G
    if (word.size() != 3 || word[0] < 'A' || word[0] > 'G' ||
        (word[1] != '-' && word[1] != '#' && word[1] != 'b') || word[2] < '0' || word[2] > '9')
        return fail("\"" + word + "\" is not a note (like C-4, C#4, Db4, ===, ^^^ or ---)");
    int semitone = semitones[static_cast<size_t>(word[0] - 'A')];
    semitone += word[1] == '#' ? 1 : word[1] == 'b' ? -1 : 0;
    note = mw_note_c0 + 12 * (word[2] - '0') + semitone;
    if (note < limits_.lowest_note || note > limits_.highest_note)
        return fail("note " + word + " is outside the " + format_name(desc_.format) + " range " +
                    note_name(limits_.lowest_note) + ".." + note_name(limits_.highest_note));
    return true;
}

bool description_parser::volume_word(const std::string &word, int &volume) {
    return number(word.substr(1), 0, 64, "volume", volume);
}

bool description_parser::effect_word(const std::string &word, int &effect, int &param) {
    const bool letters = desc_.format == module_format::s3m || desc_.format == module_format::it;
    const int high = hex_digit(word.size() == 3 ? word[1] : 'x');
    const int low = hex_digit(word.size() == 3 ? word[2] : 'x');
    const char command = word.empty() ? ' ' : word[0];
    if (word.size() != 3 || high < 0 || low < 0)
        return fail("\"" + word + "\" is not an effect (a command and two hex digits, as " +
                    (letters ? "A06)" : "F06)"));
    param = high * 16 + low;
    if (letters) {
        if (command < 'A' || command > 'Z')
            return fail(std::string(format_name(desc_.format)) +
                        " effect commands are letters A..Z, not '" + command + "'");
        effect = command;
        return true;
    }
    int value = -1;
    if (command >= '0' && command <= '9')
        value = command - '0';
    else if (command >= 'A' && command <= 'Z')
        value = command - 'A' + 10;
    const int highest = desc_.format == module_format::mod ? 15 : 35;
    if (value < 0 || value > highest)
        return fail(std::string(format_name(desc_.format)) + " effect commands are 0..9, " +
                    (highest == 15 ? "A..F" : "A..Z") + ", not '" + command + "'");
    effect = value + 1;
    return true;
}

bool description_parser::instrument_word(const std::string &word, int &instrument) {
    if (word == "-") {
        instrument = 0;
        return true;
    }
    // Whether it names an instrument or a sample is checked once the text is read.
    const int highest = std::max(limits_.max_instruments, limits_.max_samples);
    if (!number(word, 0, highest, "instrument", instrument))
        return false;
    if (instrument > 0)
        instrument_uses_.push_back({line_, instrument});
    return true;
}

bool description_parser::put_cell(const mw_cell &cell) {
    if (current_pattern_ < 0)
        return fail("a pattern line must come before the cells");
    mw_pattern &pattern = desc_.patterns[static_cast<size_t>(current_pattern_)];
    if (cell.row < 0 || cell.row >= pattern.rows)
        return fail("row " + std::to_string(cell.row) + " is outside pattern " +
                    std::to_string(current_pattern_) + " (rows 0.." +
                    std::to_string(pattern.rows - 1) + ")");
    auto same = std::find_if(pattern.cells.begin(), pattern.cells.end(), [&](const mw_cell &c) {
        return c.row == cell.row && c.channel == cell.channel;
    });
    if (same != pattern.cells.end())
        *same = cell;
    else
        pattern.cells.push_back(cell);
    return true;
}

bool description_parser::note_line(const line_words &words) {
    const std::vector<std::string> &w = words.words;
    if (w.size() < 4)
        return fail("note takes a row, a channel and a note");
    mw_cell cell;
    if (!number(w[1], 0, 255, "row", cell.row) ||
        !number(w[2], 0, desc_.channels - 1, "channel", cell.channel) ||
        !note_word(w[3], cell.note))
        return false;
    // Instrument, volume and effect in this order, each optional.
    size_t index = 4;
    if (index < w.size() && (w[index] == "-" || to_int(w[index]))) {
        if (!instrument_word(w[index], cell.instrument))
            return false;
        ++index;
    }
    if (index < w.size() && w[index].size() > 1 && w[index][0] == 'v' &&
        to_int(w[index].substr(1))) {
        if (!volume_word(w[index], cell.volume))
            return false;
        ++index;
    }
    if (index < w.size()) {
        if (!effect_word(w[index], cell.effect, cell.param))
            return false;
        ++index;
    }
    if (index < w.size())
        return fail("unexpected \"" + w[index] + "\" after the cell");
    return put_cell(cell);
}

bool description_parser::seq_line(const line_words &words) {
    const std::vector<std::string> &w = words.words;
    if (w.size() < 6)
        return fail("seq takes a channel, a row, a step, an instrument and notes");
    int channel = 0;
    int row = 0;
    int step = 0;
    int instrument = 0;
    if (!number(w[1], 0, desc_.channels - 1, "channel", channel) ||
        !number(w[2], 0, 255, "row", row) || !number(w[3], 1, 256, "step", step) ||
        !instrument_word(w[4], instrument))
        return false;
    size_t index = 5;
    int volume = -1;
    if (w[index].size() > 1 && w[index][0] == 'v' && to_int(w[index].substr(1))) {
        if (!volume_word(w[index], volume))
            return false;
        ++index;
    }
    for (; index < w.size(); ++index, row += step) {
        if (w[index] == "." || w[index] == "---")
            continue;
        mw_cell cell;
        cell.row = row;
        cell.channel = channel;
        if (!note_word(w[index], cell.note))
            return false;
        // Only pitches take the instrument and volume; note off and cut stand alone.
        cell.instrument = cell.note >= 1 && cell.note <= 120 ? instrument : 0;
        cell.volume = cell.note >= 1 && cell.note <= 120 ? volume : -1;
        if (!put_cell(cell))
            return false;
    }
    return true;
}

bool description_parser::copy_line(const line_words &words) {
    const std::vector<std::string> &w = words.words;
    if (w.size() < 2)
        return fail("copy takes a pattern number and optionally channels");
    int source = 0;
    if (!number(w[1], 0, limits_.max_patterns - 1, "pattern", source))
        return false;
    if (source >= static_cast<int>(desc_.patterns.size()))
        return fail("pattern " + w[1] + " does not exist yet");
    std::vector<int> channels;
    for (size_t i = 2; i < w.size(); ++i) {
        int channel = 0;
        if (!number(w[i], 0, desc_.channels - 1, "channel", channel))
            return false;
        channels.push_back(channel);
    }
    // A copy, since put_cell may grow the vector that the source cells live in.
    const std::vector<mw_cell> cells = desc_.patterns[static_cast<size_t>(source)].cells;
    for (const mw_cell &cell : cells) {
        if (!channels.empty() &&
            std::find(channels.begin(), channels.end(), cell.channel) == channels.end())
            continue;
        if (!put_cell(cell))
            return false;
    }
    return true;
}

bool description_parser::fx_line(const line_words &words) {
    const std::vector<std::string> &w = words.words;
    if (w.size() != 5)
        return fail("fx takes a channel, a row, a row count and an effect");
    int channel = 0;
    int row = 0;
    int count = 0;
    int effect = 0;
    int param = 0;
    if (!number(w[1], 0, desc_.channels - 1, "channel", channel) ||
        !number(w[2], 0, 255, "row", row) || !number(w[3], 1, 256, "row count", count) ||
        !effect_word(w[4], effect, param))
        return false;
    if (current_pattern_ < 0)
        return fail("a pattern line must come before the cells");
    for (int r = row; r < row + count; ++r) {
        // The effect joins what the cell already holds.
        mw_cell cell;
        const std::vector<mw_cell> &cells =
            desc_.patterns[static_cast<size_t>(current_pattern_)].cells;
        auto same = std::find_if(cells.begin(), cells.end(), [&](const mw_cell &c) {
            return c.row == r && c.channel == channel;
        });
        if (same != cells.end())
            cell = *same;
        cell.row = r;
        cell.channel = channel;
        cell.effect = effect;
        cell.param = param;
        if (!put_cell(cell))
            return false;
    }
    return true;
}

bool description_parser::final_checks() {
    const int patterns = static_cast<int>(desc_.patterns.size());
    for (size_t i = 0; i < desc_.orders.size(); ++i) {
        if (desc_.orders[i] >= patterns) {
            line_ = order_lines_[i];
            return fail("order names pattern " + std::to_string(desc_.orders[i]) +
                        ", but there are " + std::to_string(patterns) + " patterns");
        }
    }
    const int samples = static_cast<int>(desc_.samples.size());
    for (const sample_use &use : sample_uses_) {
        if (use.sample >= samples) {
            line_ = use.line;
            return fail("instrument " + std::to_string(use.instrument + 1) + " plays sample " +
                        std::to_string(use.sample + 1) + ", but there are " +
                        std::to_string(samples) + " samples");
        }
    }
    // The pattern's instrument column names an instrument in XM and in IT with instruments,
    // else a sample.
    const bool instrument_mode = !desc_.instruments.empty();
    const int available = instrument_mode ? instrument_count() : samples;
    for (const instrument_use &use : instrument_uses_) {
        if (use.number > available) {
            line_ = use.line;
            return fail(std::string(instrument_mode ? "instrument " : "sample ") +
                        std::to_string(use.number) + " is used, but there are " +
                        std::to_string(available) +
                        (instrument_mode ? " instruments" : " samples"));
        }
    }
    return true;
}

} // namespace

bool parse_module_description(const std::string &text, module_description &out,
                              std::string &error) {
    description_parser parser;
    return parser.parse(text, out, error);
}
