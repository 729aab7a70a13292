// make_module DESCRIPTION OUTPUT: writes the module that a description text describes.
// DESCRIPTION is a file, or "-" for standard input. Exit 0 on success, 1 on any error.

#include "module_writer.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_module <description-file|-> <output-file>\n");
        return 1;
    }
    const std::string source = argv[1];
    const std::string output = argv[2];
    std::ostringstream text;
    if (source == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream file(source, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "make_module: cannot read %s\n", source.c_str());
            return 1;
        }
        text << file.rdbuf();
    }
    module_description desc;
    std::string error;
    if (!parse_module_description(text.str(), desc, error)) {
        const std::string where = source == "-" ? "standard input" : source;
        std::fprintf(stderr, "make_module: %s: %s\n", where.c_str(), error.c_str());
        return 1;
    }
    if (!write_module_file(desc, output)) {
        std::fprintf(stderr, "make_module: cannot write %s\n", output.c_str());
        return 1;
    }
    return 0;
}
