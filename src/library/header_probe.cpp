#include "library/header_probe.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "library/byte_order.h"

namespace {

// Indexed by kind - 2; 5 and 6 are never produced.
constexpr const char *kind_names[6] = {"IT", "S3M", "MOD", "???", "???", "XM"};

constexpr char xm_signature[] = "Extended Module: ";
constexpr size_t xm_signature_length = sizeof xm_signature - 1;

constexpr uint32_t IT_MAGIC = 0x494D504D;  // "IMPM"
constexpr uint32_t S3M_MAGIC = 0x5343524D; // "SCRM"

// A four-character tag as a text-order number: "M.K." is 0x4D2E4B2E.
constexpr uint32_t text_order_number(const char *tag) {
    uint32_t number = 0;
    for (int i = 0; i < 4; ++i)
        number = number << 8 | static_cast<unsigned char>(tag[i]);
    return number;
}

constexpr std::array<uint32_t, 10> mod_tag_numbers = [] {
    std::array<uint32_t, 10> numbers{};
    for (size_t i = 0; i < numbers.size(); ++i)
        numbers[i] = text_order_number(mod_tags[i]);
    return numbers;
}();
static_assert(mod_tag_numbers[0] == 0x4D2E4B2E);

// memcpy, because the offsets need not be aligned for the type.
uint32_t memory_u32(const unsigned char *bytes, size_t offset) {
    uint32_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

uint16_t memory_u16(const unsigned char *bytes, size_t offset) {
    uint16_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

// The only test before any byte is read: header_length may be anything a caller stored,
// also negative, and header_bytes null.
bool has_length(const header_probe &probe, int32_t needed) {
    return probe.header_bytes != nullptr && probe.header_length >= needed;
}

// Copies the text of the field of field_size bytes at offset, up to a zero byte, the end of
// the field, the 31 characters the title holds or the end of the header, whichever is first.
void copy_title(const header_probe &probe, int32_t offset, int32_t field_size, char title[32]) {
    int32_t count = 0;
    if (probe.header_bytes != nullptr) {
        while (count < field_size && count < 31 && offset + count < probe.header_length &&
               probe.header_bytes[offset + count] != 0) {
            title[count] = static_cast<char>(probe.header_bytes[offset + count]);
            ++count;
        }
    }
    title[count] = '\0';
}

} // namespace

const char *kind_name(uint16_t kind) {
    if (kind < PROBE_IT || kind > PROBE_XM)
        return "???";
    return kind_names[kind - PROBE_IT];
}

ssize_t read_file_start(const char *path, unsigned char *buffer, size_t size) {
    int fd = open(path, O_RDONLY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    ssize_t got;
    do
        got = read(fd, buffer, size);
    while (got < 0 && errno == EINTR);
    close(fd);
    return got > 0 ? got : 0; // EISDIR, EAGAIN: nothing read
}

int probe_header(header_probe &probe, const unsigned char *bytes, int32_t length) {
    uint16_t kind = PROBE_UNKNOWN;
    if (bytes != nullptr && length > 4) {
        // XM is compared byte by byte, so the configured byte order does not matter to it.
        if (length >= 18 && std::memcmp(bytes, xm_signature, xm_signature_length) == 0)
            kind = PROBE_XM;
        if (memory_u32(bytes, 0) == magic_u32(IT_MAGIC))
            kind = PROBE_IT;
        if (length >= 49 && memory_u32(bytes, 44) == magic_u32(S3M_MAGIC))
            kind = PROBE_S3M;
        if (length >= 1085) {
            const uint32_t tag = magic_u32(memory_u32(bytes, 1080));
            for (uint32_t number : mod_tag_numbers) {
                if (tag == number)
                    kind = PROBE_MOD;
            }
        }
    }
    probe.header_bytes = bytes;
    probe.header_length = length;
    probe.probe_kind = kind;
    return kind == PROBE_UNKNOWN ? -1 : 0;
}

void header_title(const header_probe &probe, char title[32]) {
    switch (probe.probe_kind) {
    case PROBE_IT:
        copy_title(probe, 4, 26, title);
        break;
    case PROBE_S3M:
        copy_title(probe, 0, 28, title);
        break;
    case PROBE_MOD:
        copy_title(probe, 0, 20, title);
        break;
    case PROBE_XM:
        copy_title(probe, 17, 20, title);
        break;
    default:
        break;
    }
}

int header_instrument_count(const header_probe &probe) {
    switch (probe.probe_kind) {
    case PROBE_IT:
    case PROBE_S3M:
        return has_length(probe, 37) ? probe.header_bytes[34] : 0;
    case PROBE_MOD:
        return 31;
    case PROBE_XM:
        return has_length(probe, 75) ? probe.header_bytes[72] : 0;
    default:
        return 0;
    }
}

int header_order_count(const header_probe &probe) {
    switch (probe.probe_kind) {
    case PROBE_IT:
    case PROBE_S3M:
        return has_length(probe, 35) ? host_u16(memory_u16(probe.header_bytes, 32)) : 0;
    case PROBE_MOD:
        return has_length(probe, 951) ? probe.header_bytes[950] : 0;
    case PROBE_XM:
        return has_length(probe, 73) ? host_u16(memory_u16(probe.header_bytes, 70)) : 0;
    default:
        return 0;
    }
}

uint16_t header_kind(const header_probe &probe) {
    return probe.probe_kind;
}
