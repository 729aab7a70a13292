#include "app/module_json.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include <nlohmann/json.hpp>

#include "console/fd_write.h"
#include "console/log.h"
#include "console/program_exit.h"
#include "console/utf8_text.h"
#include "export/song_text.h"
#include "playback/module_loader.h"
#include "playback/module_state.h"
#include "tables/info_table.h"

namespace {

// Keys in the order they are added, so every line reads "file" first.
using json = nlohmann::ordered_json;

std::string utf8_text(const char *text) {
    std::string out;
    if (text != nullptr)
        append_module_text_utf8(out, text, std::strlen(text));
    return out;
}

json name_list(unsigned int count, unsigned int (*name)(unsigned int, char *)) {
    json names = json::array();
    for (unsigned int number = 1; number <= count; ++number) {
        char text[LIST_NAME_ROOM];
        name(number, text);
        names.push_back(utf8_text(text));
    }
    return names;
}

json song_message() {
    const char *message = ModPlug_GetMessage(loaded_module);
    if (message == nullptr)
        return nullptr;
    // Lines in the decoder's message end with CR; the description has Unix line ends,
    // as the -m file does.
    std::string text = utf8_text(message);
    for (char &c : text)
        if (c == '\r')
            c = '\n';
    return text;
}

} // namespace

int describe_loaded_module(const char *path, std::string &out) {
    // The JSON library reports memory exhaustion by exception; it ends here.
    try {
        json description;
        description["file"] = utf8_text(path);
        description["title"] = utf8_text(ModPlug_GetName(loaded_module));
        description["format"] = module_type_name();
        description["length_ms"] = ModPlug_GetLength(loaded_module);
        description["channels"] = ModPlug_NumChannels(loaded_module);
        description["patterns"] = ModPlug_NumPatterns(loaded_module);
        description["samples"] = name_list(ModPlug_NumSamples(loaded_module), sample_list_name);
        description["instruments"] =
            name_list(ModPlug_NumInstruments(loaded_module), instrument_list_name);
        description["message"] = song_message();
        // Every text is valid UTF-8 already; replacing, not throwing, is only a safety net.
        out = description.dump(-1, ' ', false, json::error_handler_t::replace);
        out.push_back('\n');
        return 1;
    } catch (const std::exception &) {
        return 0;
    }
}

void run_describe_job() {
    std::string line;
    if (!describe_loaded_module(module_path, line))
        exit_out_of_memory();
    std::fflush(stdout);
    if (write_all(1, line.data(), line.size()) == 0) {
        log_error("CAN'T write(): %s\n", std::strerror(errno));
        unload_module();
        std::exit(2);
    }
    unload_module();
    std::exit(0);
}
