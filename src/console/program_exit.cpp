#include "console/program_exit.h"

#include <cstdlib>

#include "console/log.h"

namespace {
void (*registered_cleanup)() = nullptr;
}

void exit_set_cleanup(void (*cleanup)()) { registered_cleanup = cleanup; }

void report_out_of_memory() { log_error("%s", OUT_OF_MEMORY_TEXT); }

void exit_out_of_memory() {
    report_out_of_memory();
    if (registered_cleanup != nullptr)
        registered_cleanup();
    std::exit(3);
}
