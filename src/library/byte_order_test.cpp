#include "library/byte_order.h"

#include <bit>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "settings/settings.h"

namespace {

// Gives every test the default settings and leaves them so for the next.
struct settings_reset {
    settings_reset() { default_settings(settings); }
    ~settings_reset() { default_settings(settings); }
};

TEST(ByteOrderTest, ConversionsFollowTheConfiguredOrder) {
    settings_reset reset;
    struct order_case {
        int32_t little_endian;
        uint16_t u16;
        uint32_t u32;
        uint32_t magic;
    } cases[] = {
        {1, 0x1234, 0x12345678, 0x4D504D49},
        {0, 0x3412, 0x78563412, 0x494D504D},
        // A damaged value: anything but 0 is little-endian, for tags as for data.
        {2, 0x1234, 0x12345678, 0x4D504D49},
        {-1, 0x1234, 0x12345678, 0x4D504D49},
    };
    for (const order_case &c : cases) {
        SCOPED_TRACE(c.little_endian);
        settings.little_endian = c.little_endian;
        EXPECT_EQ(host_u16(0x1234), c.u16);
        EXPECT_EQ(host_u32(0x12345678), c.u32);
        EXPECT_EQ(magic_u32(0x494D504D), c.magic);
    }
}

TEST(ByteOrderTest, MatchingSettingReadsTagsAndDataAsStored) {
    settings_reset reset;
    settings.little_endian = std::endian::native == std::endian::little ? 1 : 0;
    const unsigned char stored[] = {'I', 'M', 'P', 'M', 0x34, 0x12, 0x78, 0x56, 0x34, 0x12};
    uint32_t tag;
    uint16_t small;
    uint32_t large;
    std::memcpy(&tag, stored, 4);
    std::memcpy(&small, stored + 4, 2);
    std::memcpy(&large, stored + 6, 4);
    EXPECT_EQ(tag, magic_u32(0x494D504D));
    EXPECT_EQ(magic_u32(tag), 0x494D504Du);
    EXPECT_EQ(host_u16(small), 0x1234);
    EXPECT_EQ(host_u32(large), 0x12345678u);
}

TEST(ByteOrderTest, SampleSwapExchangesWholePairsOnly) {
    struct swap_case {
        size_t size;
        std::vector<unsigned char> expected;
    } cases[] = {
        {0, {1, 2, 3, 4, 5, 6}}, {1, {1, 2, 3, 4, 5, 6}}, {2, {2, 1, 3, 4, 5, 6}},
        {5, {2, 1, 4, 3, 5, 6}}, {6, {2, 1, 4, 3, 6, 5}},
    };
    for (const swap_case &c : cases) {
        SCOPED_TRACE(c.size);
        std::vector<unsigned char> samples = {1, 2, 3, 4, 5, 6};
        swap_sample_bytes(samples.data(), c.size);
        EXPECT_EQ(samples, c.expected);
    }
}

} // namespace
