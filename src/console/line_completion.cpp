#include "console/line_completion.h"

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// A growing list of owned texts; the first slot is kept for the replacement.
struct match_list {
    char **items = nullptr;
    size_t count = 0; // matches, from items[1]
    size_t capacity = 0;
};

void free_list(match_list &list) {
    if (list.items == nullptr)
        return;
    for (size_t i = 0; i <= list.count; ++i)
        std::free(list.items[i]);
    std::free(list.items);
    list = match_list{};
}

// Takes item (freed when it cannot be added). Returns false when memory ran out.
bool add_match(match_list &list, char *item) {
    if (item == nullptr)
        return false;
    // Room for the replacement in front and the null at the end.
    if (list.count + 2 >= list.capacity) {
        size_t capacity = list.capacity == 0 ? 16 : list.capacity * 2;
        auto *bigger = static_cast<char **>(std::realloc(list.items, capacity * sizeof(char *)));
        if (bigger == nullptr) {
            std::free(item);
            return false;
        }
        if (list.items == nullptr)
            bigger[0] = nullptr;
        list.items = bigger;
        list.capacity = capacity;
    }
    list.items[++list.count] = item;
    list.items[list.count + 1] = nullptr;
    return true;
}

// parts[0] + parts[1] + ... in one newly allocated text; length[i] bytes of each.
char *concatenate(const char *const *parts, const size_t *lengths, size_t count) {
    size_t total = 1;
    for (size_t i = 0; i < count; ++i)
        total += lengths[i];
    char *text = static_cast<char *>(std::malloc(total));
    if (text == nullptr)
        return nullptr;
    char *end = text;
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(end, parts[i], lengths[i]);
        end += lengths[i];
    }
    *end = '\0';
    return text;
}

char *text_of(const char *start, size_t length) {
    return concatenate(&start, &length, 1);
}

int compare_names(const void *left, const void *right) {
    return std::strcmp(*static_cast<char *const *>(left), *static_cast<char *const *>(right));
}

// How many leading bytes every match shares.
size_t shared_length(const match_list &list) {
    size_t length = std::strlen(list.items[1]);
    for (size_t i = 2; i <= list.count; ++i) {
        size_t same = 0;
        while (same < length && list.items[i][same] == list.items[1][same])
            ++same;
        length = same;
    }
    return length;
}

// Turns the matches into complete_answer's array: head (the kept start of the line) and
// what the matches share in front, the list sorted behind it, or the only match with
// ending. Frees the list and returns null when there is no match or no memory.
char **finish(match_list &list, const char *head, size_t head_length, const char *ending) {
    if (list.count == 0) {
        free_list(list);
        return nullptr;
    }
    const char *match = list.items[1];
    size_t match_length = shared_length(list);
    // A directory's listed name already ends in "/", which is its ending.
    if (list.count == 1 && match_length > 0 && match[match_length - 1] == '/')
        ending = "";
    if (list.count > 1)
        ending = "";
    const char *parts[] = {head, match, ending};
    size_t lengths[] = {head_length, match_length, std::strlen(ending)};
    char *replacement = concatenate(parts, lengths, 3);
    if (replacement == nullptr) {
        free_list(list);
        return nullptr;
    }
    list.items[0] = replacement;
    if (list.count == 1) {
        std::free(list.items[1]);
        list.items[1] = nullptr;
    } else {
        std::qsort(list.items + 1, list.count, sizeof(char *), compare_names);
    }
    return list.items;
}

char **complete_word(const char *prefix, completion_words words) {
    match_list list;
    size_t length = std::strlen(prefix);
    for (size_t i = 0; const char *word = words(i); ++i) {
        if (std::strncmp(word, prefix, length) == 0 &&
            !add_match(list, text_of(word, std::strlen(word)))) {
            free_list(list);
            return nullptr;
        }
    }
    return finish(list, "", 0, " ");
}

bool is_directory(DIR *directory, const dirent *entry) {
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat status {};
    return fstatat(dirfd(directory), entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
}

// The names in the directory of path (its part up to the last '/', else the current
// directory) that begin with the rest of path; head_length bytes of text stay in front.
char **complete_file(const char *text, size_t head_length, const char *ending) {
    const char *path = text + head_length;
    const char *slash = std::strrchr(path, '/');
    const char *name = slash != nullptr ? slash + 1 : path;
    size_t name_length = std::strlen(name);
    char *directory_name = slash != nullptr ? text_of(path, name - path) : text_of(".", 1);
    if (directory_name == nullptr)
        return nullptr;
    DIR *directory = opendir(directory_name);
    std::free(directory_name);
    if (directory == nullptr)
        return nullptr;
    match_list list;
    bool ok = true;
    while (const dirent *entry = readdir(directory)) {
        const char *candidate = entry->d_name;
        if (std::strcmp(candidate, ".") == 0 || std::strcmp(candidate, "..") == 0)
            continue;
        if (candidate[0] == '.' && name[0] != '.')
            continue;
        if (std::strncmp(candidate, name, name_length) != 0)
            continue;
        const char *parts[] = {candidate, "/"};
        size_t lengths[] = {std::strlen(candidate), is_directory(directory, entry) ? 1u : 0u};
        if (!add_match(list, concatenate(parts, lengths, 2))) {
            ok = false;
            break;
        }
    }
    closedir(directory);
    if (!ok) {
        free_list(list);
        return nullptr;
    }
    // The line up to the name stays as typed: the command, the blanks, the directory.
    return finish(list, text, name - text, ending);
}

} // namespace

char **complete_answer(const char *text, completion_words words) {
    if (words == nullptr)
        return complete_file(text, 0, "");
    size_t word_length = std::strcspn(text, " \t");
    if (text[word_length] == '\0')
        return complete_word(text, words);
    if (word_length == 0)
        return nullptr;
    return complete_file(text, word_length + std::strspn(text + word_length, " \t"), " ");
}

void free_completions(char **list) {
    if (list == nullptr)
        return;
    for (char **item = list; *item != nullptr; ++item)
        std::free(*item);
    std::free(list);
}
