#include "library/byte_order.h"

#include "settings/settings.h"

uint16_t host_u16(uint16_t v) {
    return is_little_endian(settings) ? v : static_cast<uint16_t>(__builtin_bswap16(v));
}

uint32_t host_u32(uint32_t v) {
    return is_little_endian(settings) ? v : __builtin_bswap32(v);
}

uint32_t magic_u32(uint32_t v) {
    return is_little_endian(settings) ? __builtin_bswap32(v) : v;
}

void swap_sample_bytes(void *samples, size_t size) {
    auto *bytes = static_cast<unsigned char *>(samples);
    for (size_t i = 0; i + 1 < size; i += 2) {
        unsigned char first = bytes[i];
        bytes[i] = bytes[i + 1];
        bytes[i + 1] = first;
    }
}
