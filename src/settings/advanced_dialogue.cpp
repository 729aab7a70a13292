#include "settings/advanced_dialogue.h"

#include <cstdio>
#include <cstring>

#include "console/line_reader.h"
#include "console/program_exit.h"
#include "console/text.h"
#include "settings/settings.h"

namespace {

// One accepted word answer and the value it stores.
struct word_answer {
    const char *word;
    int32_t value;
};

// Byte order answers match by prefix ("little-endian", "bigger"), case-sensitively.
constexpr word_answer BYTE_ORDER_ANSWERS[] = {{"little", 1}, {"big", 0}};

// Table style answers must be the whole line.
constexpr word_answer STYLE_ANSWERS[] = {{"classic", 0}, {"strong", 1}, {"boxed", 2}};

enum class match_kind { prefix, whole };

// Writes the prompt and reads one answer line; null when memory ran out (reported).
owned_text ask(const char *question) {
    std::fputs(question, stdout);
    std::fflush(stdout);
    owned_text answer(read_console_line(question));
    if (answer == nullptr)
        report_out_of_memory();
    return answer;
}

// Asks until an answer matches one of the words (untrimmed). An empty answer, which is also
// what the end of input gives, or a failed read keeps field, so this cannot loop forever.
template <size_t count>
void ask_word(const char *question, const word_answer (&answers)[count], match_kind match,
              int32_t &field) {
    for (;;) {
        owned_text answer = ask(question);
        if (answer == nullptr || answer.get()[0] == '\0')
            return;
        for (const word_answer &candidate : answers) {
            bool matches =
                match == match_kind::prefix
                    ? std::strncmp(answer.get(), candidate.word, std::strlen(candidate.word)) == 0
                    : std::strcmp(answer.get(), candidate.word) == 0;
            if (matches) {
                field = candidate.value;
                return;
            }
        }
    }
}

} // namespace

void ask_number(const char *question, int32_t lower, int32_t upper, int32_t &field) {
    for (;;) {
        owned_text answer = ask(question);
        if (answer == nullptr)
            return;
        trim_right(answer.get());
        // The end of input gives empty lines, so it ends the question here.
        if (answer.get()[0] == '\0')
            return;
        int32_t number = text_to_int(answer.get());
        if (number >= lower && number <= upper) {
            field = number;
            return;
        }
    }
}

void advanced_dialogue() {
    ask_number("Reverb Depth [0-100]? ", 0, 100, settings.reverb_depth);
    ask_number("Reverb Delay in ms. [40-200]? ", 40, 200, settings.reverb_delay);
    ask_number("Bass Amount [0-100]? ", 0, 100, settings.bass_amount);
    ask_number("Bass Range in Hz. [10-100]? ", 10, 100, settings.bass_range);
    ask_number("Surround Depth [0-100]? ", 0, 100, settings.surround_depth);
    ask_number("Surround Delay in ms. [5-40]? ", 5, 40, settings.surround_delay);
    ask_word("local endianness [little-endian, big-endian]? ", BYTE_ORDER_ANSWERS,
             match_kind::prefix, settings.little_endian);
    ask_word("appareance [classic, strong, boxed]? ", STYLE_ANSWERS, match_kind::whole,
             settings.table_style);
    ask_number("verbosity level? ", 0, 3, settings.verbosity_level);
}
