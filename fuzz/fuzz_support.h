#pragma once
// What every fuzz target shares: a private directory tree for its files, quiet standard
// streams, and small helpers for writing inputs to files and checking promises.

#include <cstddef>
#include <cstdint>
#include <string>

/// Once, from LLVMFuzzerInitialize with its arguments: puts /dev/null on standard input
/// and output (the program's tables and pager print nothing, the pager's pause returns at
/// once), creates a private directory with "home" (HOME points there, so no real settings
/// file is touched), an empty "cwd" (see private_cwd) and "files" (for the target's own
/// files). The tree is removed at a normal exit, or after a finding by the next target
/// started. Relative paths
/// among the arguments are made absolute, and findings go to the directory the target was
/// started in unless -artifact_prefix says otherwise, since a finding is written while
/// private_cwd is in force.
void fuzz_setup(int *argc, char ***argv);

/// While one exists, the working directory is the private empty one, so that relative
/// names in an input find nothing. Only around an input: libFuzzer starts itself again by
/// its relative name in its fork and minimising modes, and writes its corpus between inputs.
struct private_cwd {
    private_cwd();
    ~private_cwd();
    private_cwd(const private_cwd &) = delete;
    private_cwd &operator=(const private_cwd &) = delete;
};

/// The private directory for the target's own files.
const std::string &fuzz_file_dir();

/// The private HOME.
const std::string &fuzz_home_dir();

/// Writes size bytes of data to path (created or truncated); aborts when that fails, since
/// the target would then test nothing.
void write_file(const std::string &path, const uint8_t *data, size_t size);

/// The whole content of the file at path; aborts when it cannot be read.
std::string read_file(const std::string &path);

/// A broken promise of an interface counts as a finding, like a memory fault.
inline void require(bool condition) {
    if (!condition)
        __builtin_trap();
}
