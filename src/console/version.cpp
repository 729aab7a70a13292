#include "console/version.h"

#include <cstdio>

void print_version() {
    std::puts("Marrowtide B5.1, September 2006");
    // The build line is fixed: the same binary must print the same lines wherever it runs.
    std::puts("compiled by root at Fri Oct 16 10:23:48 UTC 2026 on FreeBSD");
}
