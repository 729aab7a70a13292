#include "console/line_history.h"

#include <cstdlib>
#include <cstring>

#include "console/text.h"

namespace {

// A ring of owned texts: lines[(oldest + i) % HISTORY_LINES] for i < count, newest last.
char *lines[HISTORY_LINES];
size_t oldest = 0;
size_t count = 0;
size_t total_bytes = 0;
bool newest_lost = false;

char *&slot(size_t age) {
    return lines[(oldest + count - 1 - age) % HISTORY_LINES];
}

bool is_blank_line(const char *line) {
    return line[std::strspn(line, " \t")] == '\0';
}

void drop_oldest() {
    char *&line = lines[oldest];
    total_bytes -= std::strlen(line) + 1;
    std::free(line);
    line = nullptr;
    oldest = (oldest + 1) % HISTORY_LINES;
    --count;
}

void drop_newest() {
    char *&line = slot(0);
    total_bytes -= std::strlen(line) + 1;
    std::free(line);
    line = nullptr;
    --count;
}

} // namespace

int history_add(const char *line) {
    // A blank newest line gives way to the next one rather than staying behind it.
    if (count > 0 && std::strcmp(slot(0), line) != 0 && is_blank_line(slot(0)))
        drop_newest();
    if (count > 0 && std::strcmp(slot(0), line) == 0) {
        newest_lost = false;
        return 1;
    }
    char *copy = copy_string(line);
    if (copy == nullptr) {
        newest_lost = true;
        return 0;
    }
    newest_lost = false;
    if (count == HISTORY_LINES)
        drop_oldest();
    size_t bytes = std::strlen(copy) + 1;
    while (count > 0 && total_bytes + bytes > HISTORY_BYTES)
        drop_oldest();
    ++count;
    slot(0) = copy;
    total_bytes += bytes;
    return 1;
}

const char *history_newest() {
    return count > 0 && !newest_lost ? slot(0) : nullptr;
}

size_t history_count() {
    return count;
}

const char *history_line(size_t age) {
    return age < count ? slot(age) : nullptr;
}

void history_clear() {
    while (count > 0)
        drop_oldest();
    oldest = 0;
    newest_lost = false;
}
