// Export benchmark: renders a long, busy fixture to WAVE, AIFF 24-bit and raw PCM and
// compares each with the bound, a bare loop that decodes with the same settings and
// writes the decoded bytes to a file on the same file system; then the compressed formats
// and the WAVE export with a ten-second fade against the WAVE export. Each measurement
// runs in a child process of its own, so that its peak memory is its own.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "console/fd_write.h"
#include "export/aiff_export.h"
#include "export/compressed_export.h"
#include "export/compressed_formats.h"
#include "export/export_kind.h"
#include "export/wave_export.h"
#include "module_writer.h"
#include "playback/audio_output.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "settings/render_options.h"
#include "settings/settings.h"

namespace {

// 16 channels of arpeggios over 48 patterns of 64 rows at speed 6, tempo 125: about six
// minutes of music.
module_description busy_song() {
    module_description desc;
    desc.format = module_format::xm;
    desc.name = "Bench Song";
    desc.channels = 16;
    const mw_wave waves[] = {mw_wave::square, mw_wave::saw, mw_wave::triangle, mw_wave::sine};
    for (int i = 0; i < 8; ++i) {
        mw_sample sample;
        sample.name = "sample " + std::to_string(i + 1);
        sample.data = make_wave(waves[i % 4], 32 + i * 4, 64, 90);
        sample.loop_length = static_cast<int>(sample.data.size());
        desc.samples.push_back(sample);
        desc.instruments.push_back({"instrument " + std::to_string(i + 1), {i}});
    }
    for (int p = 0; p < 48; ++p) {
        mw_pattern pattern;
        for (int row = 0; row < 64; ++row)
            for (int channel = 0; channel < 16; ++channel)
                if ((row + channel) % 2 == 0)
                    pattern.cells.push_back({.row = row,
                                             .channel = channel,
                                             .note = 37 + (row * 5 + channel * 7 + p) % 36,
                                             .instrument = 1 + channel % 8,
                                             .volume = 40});
        desc.patterns.push_back(pattern);
        desc.orders.push_back(p);
    }
    return desc;
}

std::string module_file;
std::string output_file;

void load_fixture() {
    default_settings(settings);
    settings.verbosity_level = 0;
    module_path = module_file.data();
    module_path_owned = 0;
    load_module();
    if (module_path == nullptr) {
        std::fprintf(stderr, "bench: the fixture does not load\n");
        std::exit(1);
    }
}

// The bound: decode with the export's decoder format and write what comes out.
void bare_loop(int bits, int chunk) {
    sample_bits = bits;
    apply_decoder_settings();
    ModPlug_SeekOrder(loaded_module, 0);
    int fd = open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    static char buffer[65536];
    int got;
    while ((got = ModPlug_Read(loaded_module, buffer, chunk)) > 0)
        write_all(fd, buffer, static_cast<size_t>(got));
    close(fd);
}

void run_wav() { export_wav(output_file.c_str()); }
void run_aiff24() { export_aiff(output_file.c_str(), 24); }
void run_raw() { export_raw_pcm(output_file.c_str(), 0); }
void run_compressed(int kind) {
    export_compressed(output_file.c_str(), *compressed_format_of_kind(kind));
}
void run_flac() { run_compressed(EXPORT_FLAC); }
void run_flac24() { run_compressed(EXPORT_FLAC24); }
void run_vorbis() { run_compressed(EXPORT_VORBIS); }
void run_opus() { run_compressed(EXPORT_OPUS); }
void run_mp3() { run_compressed(EXPORT_MP3); }
void run_wav_fade() {
    set_fade_seconds(10);
    export_wav(output_file.c_str());
}
void run_bound16() { bare_loop(16, 20000); }
void run_bound32() { bare_loop(32, 65536); }

struct measurement {
    double seconds;
    long peak_kib;
};

// Runs one job in a child: loads the fixture, times the job, reports the time through a
// pipe; the peak memory comes from the child's resource usage.
measurement measure(void (*run)()) {
    // Every job starts alike: no old output to truncate, no writeback of the last one.
    unlink(output_file.c_str());
    sync();
    std::fflush(stdout); // the child must not print the parent's buffered lines again
    int channel[2];
    if (pipe(channel) != 0)
        std::exit(1);
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        load_fixture();
        auto start = std::chrono::steady_clock::now();
        run();
        double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        write_all(channel[1], &seconds, sizeof seconds);
        _exit(0);
    }
    close(channel[1]);
    measurement result{};
    if (read(channel[0], &result.seconds, sizeof result.seconds) != sizeof result.seconds)
        std::exit(1);
    close(channel[0]);
    int status;
    rusage usage;
    wait4(child, &status, 0, &usage);
    result.peak_kib = usage.ru_maxrss;
    return result;
}

// Keeps the fastest time of a job over the rounds (the one least disturbed by the rest of
// the machine) and the largest peak memory.
void keep_best(measurement &best, const measurement &next) {
    if (best.seconds == 0 || next.seconds < best.seconds)
        best.seconds = next.seconds;
    if (next.peak_kib > best.peak_kib)
        best.peak_kib = next.peak_kib;
}

} // namespace

int main(int argc, char **argv) {
    const char *directory = argc > 1 ? argv[1] : ".";
    module_file = std::string(directory) + "/bench-song.xm";
    output_file = std::string(directory) + "/bench-output";
    if (!write_module_file(busy_song(), module_file)) {
        std::fprintf(stderr, "bench: cannot write %s\n", module_file.c_str());
        return 1;
    }
    load_fixture();
    std::printf("fixture: %u channels, %d s of music\n", ModPlug_NumChannels(loaded_module),
                ModPlug_GetLength(loaded_module) / 1000);
    unload_module();

    constexpr int WAVE_JOB = 2; // the row the compressed formats are measured against
    struct job_row {
        const char *name;
        void (*run)();
        int bound; ///< index of the job's bound in the table
        measurement best;
    } jobs[] = {
        {"bound 16-bit", run_bound16, 0, {}},
        {"bound 32-bit", run_bound32, 1, {}},
        {"WAVE 16-bit", run_wav, 0, {}},
        {"raw 16-bit", run_raw, 0, {}},
        {"AIFF 24-bit", run_aiff24, 1, {}},
        {"FLAC 16-bit", run_flac, WAVE_JOB, {}},
        {"FLAC 24-bit", run_flac24, WAVE_JOB, {}},
        {"Ogg Vorbis", run_vorbis, WAVE_JOB, {}},
        {"Ogg Opus", run_opus, WAVE_JOB, {}},
        {"MP3", run_mp3, WAVE_JOB, {}},
        {"WAVE -F 10", run_wav_fade, WAVE_JOB, {}},
    };
    // Rounds run every job once, so that a slow spell of the machine touches all alike.
    const int rounds = 7;
    for (int round = 0; round < rounds; ++round)
        for (job_row &job : jobs)
            keep_best(job.best, measure(job.run));

    // First every export against its bound, then the later formats against WAVE.
    for (bool against_wave : {false, true}) {
        const char *base = against_wave ? "WAVE" : "bound";
        std::printf("%s%-12s %9s %9s %7s %10s %6s %s\n", against_wave ? "\n" : "", "export",
                    "seconds", base, "ratio", "peak KiB", "over", base);
        for (const job_row &job : jobs) {
            if ((job.bound == WAVE_JOB) != against_wave)
                continue;
            const measurement &bound = jobs[job.bound].best;
            std::printf("%-12s %9.3f %9.3f %7.3f %10ld %+11ld\n", job.name, job.best.seconds,
                        bound.seconds, job.best.seconds / bound.seconds, job.best.peak_kib,
                        job.best.peak_kib - bound.peak_kib);
        }
    }
    unlink(output_file.c_str());
    unlink(module_file.c_str());
    return 0;
}
