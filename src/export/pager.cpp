#include "export/pager.h"

#include <cstdio>

#include "console/line_reader.h"
#include "console/log.h"
#include "console/program_exit.h"

namespace {

constexpr uint32_t PAGE_WIDTH = 80;
constexpr uint32_t LINES_PER_PAGE = 23;

bool ends_line(char c) {
    return c == '\r' || c == '\n';
}

// The number of lines the printing pass produces, for the prompt's percentage.
uint32_t count_lines(const char *text, int32_t length) {
    uint32_t lines = 0;
    uint32_t column = 0;
    for (int32_t i = 0; i < length; ++i) {
        if (ends_line(text[i]) || ++column == PAGE_WIDTH) {
            ++lines;
            column = 0;
        }
    }
    return lines;
}

void pause_page(uint32_t lines_printed, uint32_t total_lines) {
    // 64 bits: lines * 100 must not wrap for the longest texts.
    uint64_t percent = total_lines == 0 ? 0 : uint64_t{lines_printed} * 100 / total_lines;
    log_info("...press ENTER to continue (%d%%)", static_cast<int>(percent));
    std::fflush(stdout);
    read_console_char(); // the character itself does not matter
}

} // namespace

void page_text(const char *text, int32_t length) {
    if (length <= 0)
        return;
    const uint32_t total_lines = count_lines(text, length);
    uint32_t column = 0;
    uint32_t lines_printed = 0;
    uint32_t lines_since_pause = 0;
    for (int32_t i = 0; i < length; ++i) {
        // The pause comes before the next byte, so a text ending on a page break ends
        // without one.
        if (lines_since_pause == LINES_PER_PAGE) {
            pause_page(lines_printed, total_lines);
            lines_since_pause = 0;
        }
        const char c = text[i];
        bool line_ended = ends_line(c);
        if (!line_ended) {
            std::putchar(static_cast<unsigned char>(c));
            line_ended = ++column == PAGE_WIDTH;
        }
        if (line_ended) {
            std::putchar('\n');
            column = 0;
            ++lines_printed;
            ++lines_since_pause;
        }
    }
}
