#include "test_support.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdio_ext.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/console_input.h"

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowtide-XXXXXX").string();
    char *made = mkdtemp(pattern.data());
    if (made == nullptr)
        std::abort();
    path = made;
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

namespace {

std::string slurp(FILE *file) {
    std::string text;
    rewind(file);
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, got);
    return text;
}

} // namespace

captured_output capture_output(const std::function<void()> &body) {
    fflush(stdout);
    fflush(stderr);
    FILE *out_file = tmpfile();
    FILE *err_file = tmpfile();
    int saved_out = dup(1);
    int saved_err = dup(2);
    dup2(fileno(out_file), 1);
    dup2(fileno(err_file), 2);
    body();
    fflush(stdout);
    fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    captured_output result{slurp(out_file), slurp(err_file)};
    fclose(out_file);
    fclose(err_file);
    return result;
}

captured_output run_with_input(const std::string &input, const std::function<void()> &body) {
    // A regular file rather than a pipe: no writer to block on, whatever the input's size.
    FILE *in_file = tmpfile();
    if (in_file == nullptr)
        std::abort();
    fwrite(input.data(), 1, input.size(), in_file);
    fflush(in_file);
    rewind(in_file);
    int saved_in = dup(0);
    // stdin's buffer may still hold bytes of the previous descriptor 0; drop them so body
    // reads only input, and clear a stale end-of-file mark.
    __fpurge(stdin);
    dup2(fileno(in_file), 0);
    clearerr(stdin);
    prepare_console_input(); // the console reader keeps its own buffer and end state
    captured_output result = capture_output(body);
    __fpurge(stdin);
    if (saved_in >= 0) {
        dup2(saved_in, 0);
        close(saved_in);
    } else {
        close(0); // there was no standard input to restore
    }
    clearerr(stdin);
    prepare_console_input();
    fclose(in_file);
    return result;
}

bool write_file(const std::string &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
    return static_cast<bool>(file);
}

std::string read_file(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

read_back read_aiff(const std::string &path) {
    read_back got;
    SNDFILE *sound = sf_open(path.c_str(), SFM_READ, &got.info);
    EXPECT_NE(sound, nullptr) << sf_strerror(nullptr);
    if (sound == nullptr)
        return got;
    got.samples.resize(static_cast<size_t>(got.info.frames * got.info.channels));
    EXPECT_EQ(sf_read_int(sound, got.samples.data(), static_cast<sf_count_t>(got.samples.size())),
              static_cast<sf_count_t>(got.samples.size()));
    if (const char *title = sf_get_string(sound, SF_STR_TITLE))
        got.title = title;
    if (const char *comment = sf_get_string(sound, SF_STR_COMMENT))
        got.comment = comment;
    sf_close(sound);
    return got;
}

namespace {

uint32_t big_endian_u32(const std::string &bytes, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

} // namespace

std::optional<std::string> aiff_chunk(const std::string &file, const std::string &id) {
    if (file.size() < 12 || file.compare(0, 4, "FORM") != 0 || file.compare(8, 4, "AIFF") != 0)
        return std::nullopt;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        size_t size = big_endian_u32(file, at + 4);
        if (at + 8 + size > file.size())
            return std::nullopt;
        if (file.compare(at, 4, id) == 0)
            return file.substr(at + 8, size);
        at += 8 + size + size % 2;
    }
    return std::nullopt;
}
