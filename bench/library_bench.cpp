// Library benchmark: a directory of 10,000 small module files (IT, S3M, XM and MOD in turn),
// listed by list_directory (output to /dev/null) and imported by import_directory, each
// compared with the bound, a bare loop that opens each file, reads 512 bytes and closes it.
// Best of seven rounds; the rounds run every job once, so a slow spell touches all alike.

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "console/fd_write.h"
#include "library/directory_listing.h"
#include "library/playlist.h"
#include "module_writer.h"
#include "settings/settings.h"

namespace {

constexpr int file_count = 10000;

module_description small_song(module_format format, int number) {
    module_description desc;
    desc.format = format;
    desc.name = "Bench " + std::to_string(number);
    for (int i = 0; i < 2; ++i)
        desc.samples.push_back({"sample", make_wave(mw_wave::square, 16, 4)});
    if (format == module_format::xm || format == module_format::it)
        desc.instruments = {{"one", {0}}, {"two", {1}}};
    desc.patterns.push_back({});
    desc.orders = {0};
    return desc;
}

std::vector<std::string> file_names;

// Writes the files from four images held in memory: the writer runs four times, not 10,000.
bool make_files(const std::string &directory) {
    const module_format formats[] = {module_format::it, module_format::s3m, module_format::xm,
                                     module_format::mod};
    const char *extensions[] = {"it", "s3m", "xm", "mod"};
    std::vector<uint8_t> images[4];
    for (int f = 0; f < 4; ++f)
        images[f] = write_module(small_song(formats[f], f));
    for (int i = 0; i < file_count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "song%05d.%s", i, extensions[i % 4]);
        file_names.emplace_back(name);
        const std::string path = directory + "/" + name;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0)
            return false;
        const bool written = write_all(fd, images[i % 4].data(), images[i % 4].size()) == 1;
        if (close(fd) != 0 || !written)
            return false;
    }
    return true;
}

void remove_files(const std::string &directory) {
    for (const std::string &name : file_names)
        unlink((directory + "/" + name).c_str());
    rmdir(directory.c_str());
}

std::string work_directory;

// The bound: what every entry costs at least, opening and reading its first bytes.
void bare_loop() {
    unsigned char buffer[512];
    long total = 0;
    for (const std::string &name : file_names) {
        int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK);
        if (fd < 0)
            continue;
        ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0)
            total += buffer[got - 1];
        close(fd);
    }
    if (total < 0) // keeps the reads from being thought useless
        std::puts("");
}

// The listing's lines go to /dev/null: the terminal is not what is measured.
void run_listing() {
    std::fflush(stdout);
    int saved = dup(1);
    int null_fd = open("/dev/null", O_WRONLY);
    if (saved < 0 || null_fd < 0)
        std::exit(1);
    dup2(null_fd, 1);
    close(null_fd);
    list_directory(nullptr);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
}

void run_import() {
    if (import_directory(work_directory.c_str()) != PL_OK) {
        std::fprintf(stderr, "bench: the import failed\n");
        std::exit(1);
    }
}

double seconds_of(void (*run)()) {
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv) {
    default_settings(settings);
    settings.verbosity_level = 0;
    std::string pattern = std::string(argc > 1 ? argv[1] : ".") + "/library-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "bench: cannot make a directory in %s\n", argc > 1 ? argv[1] : ".");
        return 1;
    }
    char real[PATH_MAX];
    work_directory = realpath(pattern.c_str(), real) != nullptr ? real : pattern;
    char saved_cwd[PATH_MAX];
    if (getcwd(saved_cwd, sizeof saved_cwd) == nullptr || !make_files(work_directory) ||
        chdir(work_directory.c_str()) != 0) {
        std::fprintf(stderr, "bench: cannot prepare %s\n", work_directory.c_str());
        remove_files(work_directory);
        return 1;
    }

    // What the import makes of the files: the MOD tag lies beyond 512 bytes.
    run_import();
    int counted = 0;
    int recognised = 0;
    for (const playlist_item *item = first_item; item != nullptr; item = item->next_item) {
        ++counted;
        recognised += item->item_kind != 0;
    }
    clear_playlist();
    std::printf("%d files, %d items imported, %d with a recognised header\n", file_count, counted,
                recognised);

    struct job_row {
        const char *name;
        void (*run)();
        double best;
    } jobs[] = {{"bare open-read-close", bare_loop, 0},
                {"list_directory", run_listing, 0},
                {"import_directory", run_import, 0}};
    bare_loop(); // the first pass only brings the files into the cache
    const int rounds = 7;
    for (int round = 0; round < rounds; ++round)
        for (job_row &job : jobs) {
            double seconds = seconds_of(job.run);
            clear_playlist();
            if (job.best == 0 || seconds < job.best)
                job.best = seconds;
        }

    std::printf("%-22s %10s %12s %7s\n", "job", "seconds", "us per file", "ratio");
    for (const job_row &job : jobs)
        std::printf("%-22s %10.4f %12.2f %7.2f\n", job.name, job.best, job.best * 1e6 / file_count,
                    job.best / jobs[0].best);

    if (chdir(saved_cwd) != 0)
        std::fprintf(stderr, "bench: cannot return to %s\n", saved_cwd);
    remove_files(work_directory);
    return 0;
}
