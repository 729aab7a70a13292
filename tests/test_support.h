#pragma once
// Helpers for the unit tests: temporary directories and captured console output.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sndfile.h>

/// A new empty directory under the system's temporary directory; removed with its
/// contents when the object goes out of scope.
struct temp_dir {
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir &) = delete;
    temp_dir &operator=(const temp_dir &) = delete;
    std::string path;
    std::string file(const std::string &name) const { return path + "/" + name; }
};

/// What a piece of code wrote to standard output and standard error.
struct captured_output {
    std::string out;
    std::string err;
};

/// Runs body with standard output and standard error redirected, and returns both texts.
captured_output capture_output(const std::function<void()> &body);

/// Runs body with standard input reading exactly the text input (then the end of input) and
/// with standard output and standard error captured as capture_output does; restores
/// standard input afterwards, dropping whatever body left unread.
captured_output run_with_input(const std::string &input, const std::function<void()> &body);

/// Writes bytes to path (truncating); true on success.
bool write_file(const std::string &path, const std::string &bytes);

/// The whole content of path, or an empty text when it cannot be read.
std::string read_file(const std::string &path);

/// An AIFF (or any sound file) as libsndfile reads it back.
struct read_back {
    SF_INFO info{};
    std::vector<int> samples;
    std::optional<std::string> title;
    std::optional<std::string> comment;
};

/// Reads the whole file at path with libsndfile; fails the test when libsndfile refuses it.
read_back read_aiff(const std::string &path);

/// The data of chunk id inside an AIFF file's FORM chunk (the file's bytes), walking the
/// chunks as a reader does, so sample data that spells an id is never taken for a chunk;
/// nothing when there is no such chunk or the file is no well-formed FORM file.
std::optional<std::string> aiff_chunk(const std::string &file, const std::string &id);
