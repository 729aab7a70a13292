#include "console/text.h"

#include <cstring>

char *copy_string(const char *text) {
    size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, text, size);
    return copy;
}

void trim_right(char *text) {
    size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        text[--length] = '\0';
}

char *join_path(const char *directory, const char *name) {
    size_t directory_length = std::strlen(directory);
    size_t name_length = std::strlen(name);
    char *path = static_cast<char *>(std::malloc(directory_length + 1 + name_length + 1));
    if (path == nullptr)
        return nullptr;
    std::memcpy(path, directory, directory_length);
    path[directory_length] = '/';
    std::memcpy(path + directory_length + 1, name, name_length + 1);
    return path;
}

// atoi itself is undefined for out-of-range input; strtol saturates, and the
// conversion to 32 bits then wraps, which is what the C library's atoi yields.
int32_t text_to_int(const char *text) {
    return static_cast<int32_t>(std::strtol(text, nullptr, 10));
}

uint32_t text_to_uint(const char *text) {
    return static_cast<uint32_t>(std::strtoul(text, nullptr, 10));
}
