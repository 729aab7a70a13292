// Every module the program hands to the decoder goes through here (the targets are linked
// with --wrap=ModPlug_Load). The decoder is a system library without instrumentation, so
// ASan sees its reads past the end of the file data only when they happen to leave mapped
// memory. The data is copied, followed by the zeroed slack the loader gives it, to end
// right before an inaccessible page instead: any read past the slack faults at once, the
// same way on every run.

#include <cstddef>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

#include <libmodplug/modplug.h>

#include "playback/module_loader.h"

extern "C" ModPlugFile *__real_ModPlug_Load(const void *data, int size);

extern "C" ModPlugFile *__wrap_ModPlug_Load(const void *data, int size) {
    if (data == nullptr || size <= 0)
        return __real_ModPlug_Load(data, size);
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t length = static_cast<size_t>(size);
    const size_t span = (length + DECODER_READ_SLACK + page - 1) / page * page;
    void *mapping =
        mmap(nullptr, span + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED)
        return __real_ModPlug_Load(data, size);
    auto *base = static_cast<unsigned char *>(mapping);
    mprotect(base + span, page, PROT_NONE);
    unsigned char *copy = base + span - length - DECODER_READ_SLACK; // the slack stays zero
    std::memcpy(copy, data, length);
    // The decoder keeps nothing that points into the data once the load returns, as the
    // program frees its buffer right after the load too.
    ModPlugFile *file = __real_ModPlug_Load(copy, size);
    munmap(mapping, span + page);
    return file;
}
