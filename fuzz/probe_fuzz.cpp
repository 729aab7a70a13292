// probe_header and its getters on arbitrary bytes. The first input byte picks the byte
// order the settings claim (0 big, 1 little, 2 unknown); the rest is the header.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "library/header_probe.h"
#include "settings/settings.h"

namespace {

bool known_kind(uint16_t kind) {
    return kind == PROBE_IT || kind == PROBE_S3M || kind == PROBE_MOD || kind == PROBE_XM;
}

// Every getter, with the promises of the interface checked on top of what ASan sees.
void use_getters(const header_probe &probe) {
    char title[32];
    std::memset(title, 'x', sizeof title);
    header_title(probe, title);
    if (known_kind(probe.probe_kind)) {
        require(std::memchr(title, '\0', sizeof title) != nullptr);
    } else {
        for (char c : title)
            require(c == 'x'); // "left as it was"
    }
    require(header_kind(probe) == probe.probe_kind);
    require(kind_name(header_kind(probe)) != nullptr);
    int instruments = header_instrument_count(probe);
    require(instruments >= 0 && instruments <= 255);
    int orders = header_order_count(probe);
    require(orders >= 0 && orders <= 65535);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    fuzz_setup(argc, argv);
    default_settings(settings);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0 || size > INT32_MAX)
        return -1;
    settings.little_endian = data[0] % 3;
    const size_t length = size - 1;
    // An exactly sized heap copy: any read past the header is an ASan report.
    std::unique_ptr<unsigned char[]> header(new unsigned char[length]);
    if (length > 0)
        std::memcpy(header.get(), data + 1, length);

    header_probe probe{};
    int result = probe_header(probe, header.get(), static_cast<int32_t>(length));
    require(result == (probe.probe_kind == PROBE_UNKNOWN ? -1 : 0));
    require(probe.probe_kind == PROBE_UNKNOWN || known_kind(probe.probe_kind));
    require(length > 4 || probe.probe_kind == PROBE_UNKNOWN);
    use_getters(probe);

    // The getters promise safety for any stored probe, so each kind is also tried on
    // these bytes, and on an empty block with a negative length.
    const uint16_t forged_kinds[] = {
        PROBE_UNKNOWN, PROBE_IT, PROBE_S3M,
        PROBE_MOD,     PROBE_XM, static_cast<uint16_t>(length > 0 ? header[0] : 0)};
    std::unique_ptr<unsigned char[]> empty(new unsigned char[0]);
    for (uint16_t kind : forged_kinds) {
        use_getters(header_probe{header.get(), static_cast<int32_t>(length), kind});
        use_getters(header_probe{empty.get(), -1 - static_cast<int32_t>(length % 64), kind});
        use_getters(header_probe{nullptr, static_cast<int32_t>(length), kind});
    }

    default_settings(settings);
    return 0;
}
