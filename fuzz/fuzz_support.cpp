#include "fuzz_support.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string base_dir;
std::string home_dir;
std::string file_dir;
std::string cwd_dir;
std::string start_dir;

[[noreturn]] void setup_failed(const char *what) {
    std::perror(what);
    std::abort();
}

void make_dir(const std::string &path) {
    if (mkdir(path.c_str(), 0700) != 0)
        setup_failed(path.c_str());
}

int remove_entry(const char *path, const struct stat *, int, struct FTW *) {
    return remove(path);
}

void remove_tree() {
    nftw(base_dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
}

constexpr char tree_prefix[] = "marrowtide-fuzz.";

// A finding ends the process without the exit handlers, leaving its tree behind; the next
// target started removes the trees of processes that are gone (the name holds the pid).
void remove_stale_trees(const std::string &tmp) {
    DIR *directory = opendir(tmp.c_str());
    if (directory == nullptr)
        return;
    while (const dirent *entry = readdir(directory)) {
        const char *name = entry->d_name;
        if (std::strncmp(name, tree_prefix, sizeof tree_prefix - 1) != 0)
            continue;
        char *end = nullptr;
        const long pid = std::strtol(name + sizeof tree_prefix - 1, &end, 10);
        if (pid <= 0 || end == nullptr || *end != '.' || kill(static_cast<pid_t>(pid), 0) == 0 ||
            errno != ESRCH)
            continue;
        nftw((tmp + "/" + name).c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
    closedir(directory);
}

// libFuzzer's flags whose value is a path.
constexpr const char *path_flags[] = {
    "-artifact_prefix=",    "-exact_artifact_path=", "-dict=",
    "-merge_control_file=", "-features_dir=",        "-mutation_graph_file="};

std::string absolute(const std::string &start, const std::string &path) {
    return path.empty() || path[0] == '/' ? path : start + "/" + path;
}

// The arguments with relative paths made absolute, and an -artifact_prefix added when
// there is none. The texts live as long as the process, as libFuzzer expects.
void absolute_arguments(int *argc, char ***argv) {
    char start[PATH_MAX];
    if (getcwd(start, sizeof start) == nullptr)
        setup_failed("getcwd");
    start_dir = start;
    static std::vector<std::string> texts;
    static std::vector<char *> pointers;
    bool has_prefix = false;
    for (int i = 0; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        if (i == 0) {
            // The program's own name must stay as it is (libFuzzer checks).
        } else if (argument[0] != '-') {
            argument = absolute(start, argument);
        } else {
            for (const char *flag : path_flags) {
                const size_t length = std::strlen(flag);
                if (argument.compare(0, length, flag) == 0)
                    argument = flag + absolute(start, argument.substr(length));
            }
            has_prefix = has_prefix || argument.compare(0, 17, "-artifact_prefix=") == 0;
        }
        texts.push_back(argument);
    }
    if (!has_prefix)
        texts.push_back(std::string("-artifact_prefix=") + start + "/");
    for (std::string &text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    *argc = static_cast<int>(texts.size());
    *argv = pointers.data();
}

} // namespace

void fuzz_setup(int *argc, char ***argv) {
    absolute_arguments(argc, argv);
    int null_fd = open("/dev/null", O_RDWR);
    if (null_fd < 0 || dup2(null_fd, STDIN_FILENO) < 0 || dup2(null_fd, STDOUT_FILENO) < 0)
        setup_failed("/dev/null");
    close(null_fd);

    const char *tmp_variable = std::getenv("TMPDIR");
    const std::string tmp =
        tmp_variable != nullptr && tmp_variable[0] != '\0' ? tmp_variable : "/tmp";
    remove_stale_trees(tmp);
    std::string pattern = tmp + "/" + tree_prefix + std::to_string(getpid()) + ".XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        setup_failed("mkdtemp");
    base_dir = pattern;
    home_dir = base_dir + "/home";
    file_dir = base_dir + "/files";
    make_dir(home_dir);
    make_dir(file_dir);
    cwd_dir = base_dir + "/cwd";
    make_dir(cwd_dir);
    if (setenv("HOME", home_dir.c_str(), 1) != 0)
        setup_failed("HOME");
    std::atexit(remove_tree);
}

private_cwd::private_cwd() {
    if (chdir(cwd_dir.c_str()) != 0)
        setup_failed(cwd_dir.c_str());
}

private_cwd::~private_cwd() {
    if (chdir(start_dir.c_str()) != 0)
        setup_failed(start_dir.c_str());
}

const std::string &fuzz_file_dir() {
    return file_dir;
}

const std::string &fuzz_home_dir() {
    return home_dir;
}

void write_file(const std::string &path, const uint8_t *data, size_t size) {
    FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        setup_failed(path.c_str());
    if ((size > 0 && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0)
        setup_failed(path.c_str());
}

std::string read_file(const std::string &path) {
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        setup_failed(path.c_str());
    std::string content;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        content.append(chunk, got);
    std::fclose(file);
    return content;
}
