#include "library/header_probe.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "module_writer.h"
#include "settings/settings.h"

namespace {

// Gives every test the default settings and leaves them so for the next.
struct settings_reset {
    settings_reset() { default_settings(settings); }
    ~settings_reset() { default_settings(settings); }
};

using bytes_t = std::vector<unsigned char>;

// size zero bytes with text placed at the given offsets.
bytes_t header_with(size_t size, std::initializer_list<std::pair<size_t, std::string>> texts) {
    bytes_t bytes(size, 0);
    for (const auto &[offset, text] : texts)
        std::memcpy(bytes.data() + offset, text.data(), text.size());
    return bytes;
}

// The title as header_title leaves it in a buffer that held "untouched" before.
std::string title_of(const header_probe &probe) {
    char title[32] = "untouched";
    header_title(probe, title);
    EXPECT_NE(std::memchr(title, 0, sizeof title), nullptr) << "title not terminated";
    return std::string(title, strnlen(title, sizeof title));
}

// Seven patterns played by nine orders, three samples and two instruments (XM and IT):
// every count the header holds differs from the others.
module_description harbour_lights(module_format format, const std::string &name) {
    module_description desc;
    desc.format = format;
    desc.name = name;
    for (int i = 0; i < 3; ++i)
        desc.samples.push_back({"sample " + std::to_string(i + 1), make_wave(mw_wave::saw, 16, 4)});
    if (format == module_format::xm || format == module_format::it)
        desc.instruments = {{"lead", {0}}, {"bass", {1, 2}}};
    for (int p = 0; p < 7; ++p)
        desc.patterns.push_back({});
    desc.orders = {0, 1, 2, 3, 4, 5, 6, 2, 3};
    return desc;
}

// The kind numbers are shared with other code that stores them.
static_assert(PROBE_UNKNOWN == 1 && PROBE_IT == 2 && PROBE_S3M == 3 && PROBE_MOD == 4 &&
              PROBE_XM == 7);

TEST(HeaderProbeTest, KindNames) {
    struct name_case {
        uint16_t kind;
        const char *name;
    } cases[] = {{0, "???"}, {1, "???"}, {2, "IT"}, {3, "S3M"}, {4, "MOD"},
                 {5, "???"}, {6, "???"}, {7, "XM"}, {8, "???"}, {0xFFFF, "???"}};
    for (const name_case &c : cases)
        EXPECT_STREQ(kind_name(c.kind), c.name) << c.kind;
}

TEST(HeaderProbeTest, RecognitionByTagAndLength) {
    settings_reset reset;
    const std::string xm = "Extended Module: ";
    struct recognition_case {
        const char *label;
        bytes_t bytes;
        int32_t length;
        uint16_t kind;
    } cases[] = {
        {"IMPM in 4 bytes", header_with(4, {{0, "IMPM"}}), 4, PROBE_UNKNOWN},
        {"IMPM in 5 bytes", header_with(5, {{0, "IMPM"}}), 5, PROBE_IT},
        {"IMPm", header_with(64, {{0, "IMPm"}}), 64, PROBE_UNKNOWN},
        {"XM signature in 17 bytes", header_with(17, {{0, xm}}), 17, PROBE_UNKNOWN},
        {"XM signature in 18 bytes", header_with(18, {{0, xm}}), 18, PROBE_XM},
        {"XM signature without its blank", header_with(64, {{0, "Extended Module:_"}}), 64,
         PROBE_UNKNOWN},
        {"SCRM in 48 bytes", header_with(48, {{44, "SCRM"}}), 48, PROBE_UNKNOWN},
        {"SCRM in 49 bytes", header_with(49, {{44, "SCRM"}}), 49, PROBE_S3M},
        {"SCRM elsewhere", header_with(64, {{40, "SCRM"}}), 64, PROBE_UNKNOWN},
        {"M.K. in 1084 bytes", header_with(1084, {{1080, "M.K."}}), 1084, PROBE_UNKNOWN},
        {"M.K. in 1085 bytes", header_with(1085, {{1080, "M.K."}}), 1085, PROBE_MOD},
        {"M.K. beyond 512 bytes", header_with(1085, {{1080, "M.K."}}), 512, PROBE_UNKNOWN},
        {"lower-case m.k.", header_with(1085, {{1080, "m.k."}}), 1085, PROBE_UNKNOWN},
        {"2CHN", header_with(1085, {{1080, "2CHN"}}), 1085, PROBE_UNKNOWN},
        // A later match replaces an earlier one.
        {"IMPM and SCRM", header_with(64, {{0, "IMPM"}, {44, "SCRM"}}), 64, PROBE_S3M},
        {"XM and SCRM", header_with(64, {{0, xm}, {44, "SCRM"}}), 64, PROBE_S3M},
        {"IMPM and M.K.", header_with(1085, {{0, "IMPM"}, {1080, "M.K."}}), 1085, PROBE_MOD},
        {"XM and OCTA", header_with(1085, {{0, xm}, {1080, "OCTA"}}), 1085, PROBE_MOD},
        {"SCRM and FLT8", header_with(1085, {{44, "SCRM"}, {1080, "FLT8"}}), 1085, PROBE_MOD},
        {"nothing", bytes_t(2000, 0), 2000, PROBE_UNKNOWN},
    };
    for (const recognition_case &c : cases) {
        SCOPED_TRACE(c.label);
        header_probe probe{};
        EXPECT_EQ(probe_header(probe, c.bytes.data(), c.length), c.kind == PROBE_UNKNOWN ? -1 : 0);
        EXPECT_EQ(header_kind(probe), c.kind);
        EXPECT_EQ(probe.header_bytes, c.bytes.data());
        EXPECT_EQ(probe.header_length, c.length);
    }
}

TEST(HeaderProbeTest, EveryModTagMarksAMod) {
    settings_reset reset;
    for (const char *tag : mod_tags) {
        SCOPED_TRACE(tag);
        bytes_t bytes = header_with(1085, {{1080, tag}});
        header_probe probe{};
        EXPECT_EQ(probe_header(probe, bytes.data(), 1085), 0);
        EXPECT_EQ(header_kind(probe), PROBE_MOD);
        // Each character counts: the same tag with its last one changed is no MOD.
        bytes[1083] ^= 0x20;
        EXPECT_EQ(probe_header(probe, bytes.data(), 1085), -1);
    }
}

TEST(HeaderProbeTest, NoBytesOrNoLengthIsUnknown) {
    settings_reset reset;
    const bytes_t it = header_with(64, {{0, "IMPM"}});
    struct empty_case {
        const unsigned char *bytes;
        int32_t length;
    } cases[] = {
        {it.data(), 0}, {it.data(), -1}, {it.data(), INT32_MIN}, {nullptr, 0}, {nullptr, 64}};
    for (const empty_case &c : cases) {
        SCOPED_TRACE(c.length);
        header_probe probe{};
        EXPECT_EQ(probe_header(probe, c.bytes, c.length), -1);
        EXPECT_EQ(header_kind(probe), PROBE_UNKNOWN);
        EXPECT_EQ(probe.header_bytes, c.bytes);
        EXPECT_EQ(probe.header_length, c.length);
        EXPECT_EQ(title_of(probe), "untouched");
        EXPECT_EQ(header_instrument_count(probe), 0);
        EXPECT_EQ(header_order_count(probe), 0);
    }
}

struct file_case {
    const char *label;
    module_format format;
    uint16_t kind;
    int instruments;
    int orders;
};

// What the writer puts in each header for harbour_lights: S3M keeps an even number of orders
// (one 255 added) and counts samples as instruments; IT ends the orders with 255; the XM
// field the order count reads is the pattern count.
constexpr file_case file_cases[] = {
    {"MOD", module_format::mod, PROBE_MOD, 31, 9},
    {"S3M", module_format::s3m, PROBE_S3M, 3, 10},
    {"XM", module_format::xm, PROBE_XM, 2, 7},
    {"IT", module_format::it, PROBE_IT, 2, 10},
};

TEST(HeaderProbeTest, WrittenModulesWholeAndFirst512Bytes) {
    settings_reset reset;
    for (const file_case &c : file_cases) {
        SCOPED_TRACE(c.label);
        const std::vector<uint8_t> file = write_module(harbour_lights(c.format, "Harbour Lights"));
        ASSERT_GT(file.size(), 1085u);
        for (int32_t length : {static_cast<int32_t>(file.size()), 512}) {
            SCOPED_TRACE(length);
            header_probe probe{};
            const int result = probe_header(probe, file.data(), length);
            if (c.kind == PROBE_MOD && length == 512) {
                // The tag lies beyond what a directory listing reads.
                EXPECT_EQ(result, -1);
                EXPECT_EQ(header_kind(probe), PROBE_UNKNOWN);
                continue;
            }
            EXPECT_EQ(result, 0);
            EXPECT_EQ(header_kind(probe), c.kind);
            EXPECT_EQ(title_of(probe), "Harbour Lights");
            EXPECT_EQ(header_instrument_count(probe), c.instruments);
            EXPECT_EQ(header_order_count(probe), c.orders);
        }
    }
}

TEST(HeaderProbeTest, ModTagsOfTheWrittenChannelCounts) {
    settings_reset reset;
    // The writer tags 4 channels M.K., 2..9 nCHN, 10 and more nnCH.
    struct channel_case {
        int channels;
        uint16_t kind;
    } cases[] = {
        {2, PROBE_UNKNOWN}, {4, PROBE_MOD}, {6, PROBE_MOD}, {8, PROBE_MOD}, {10, PROBE_UNKNOWN}};
    for (const channel_case &c : cases) {
        SCOPED_TRACE(c.channels);
        module_description desc = harbour_lights(module_format::mod, "Channels");
        desc.channels = c.channels;
        const std::vector<uint8_t> file = write_module(desc);
        header_probe probe{};
        probe_header(probe, file.data(), static_cast<int32_t>(file.size()));
        EXPECT_EQ(header_kind(probe), c.kind);
    }
}

// Every prefix of a written header, each in a buffer of exactly its length: the kind
// appears at its minimum length, the title grows a byte at a time, and each count appears
// at its own minimum length. A read beyond the buffer would be a fault for the sanitizers.
TEST(HeaderProbeTest, EveryPrefixOfAWrittenHeader) {
    settings_reset reset;
    struct prefix_case {
        file_case file;
        int32_t kind_length;
        int32_t title_offset;
        int32_t instruments_length;
        int32_t orders_length;
    } cases[] = {
        {file_cases[0], 1085, 0, 0, 951},
        {file_cases[1], 49, 0, 37, 35},
        {file_cases[2], 18, 17, 75, 73},
        {file_cases[3], 5, 4, 37, 35},
    };
    const std::string name = "Harbour Lights";
    for (const prefix_case &c : cases) {
        SCOPED_TRACE(c.file.label);
        const std::vector<uint8_t> file = write_module(harbour_lights(c.file.format, name));
        ASSERT_GT(file.size(), 1100u);
        for (int32_t length = 0; length <= 1100 && !::testing::Test::HasFailure(); ++length) {
            SCOPED_TRACE(length);
            const bytes_t prefix(file.begin(), file.begin() + length);
            header_probe probe{};
            probe_header(probe, prefix.empty() ? file.data() : prefix.data(), length);
            if (length < c.kind_length) {
                EXPECT_EQ(header_kind(probe), PROBE_UNKNOWN);
                EXPECT_EQ(title_of(probe), "untouched");
                EXPECT_EQ(header_instrument_count(probe), 0);
                EXPECT_EQ(header_order_count(probe), 0);
                continue;
            }
            const size_t available = static_cast<size_t>(std::max(0, length - c.title_offset));
            EXPECT_EQ(header_kind(probe), c.file.kind);
            EXPECT_EQ(title_of(probe), name.substr(0, available));
            EXPECT_EQ(header_instrument_count(probe),
                      length >= c.instruments_length ? c.file.instruments : 0);
            EXPECT_EQ(header_order_count(probe), length >= c.orders_length ? c.file.orders : 0);
        }
    }
}

TEST(HeaderProbeTest, TitlesThatFillTheirField) {
    settings_reset reset;
    // Each field is followed by non-zero bytes in the written file (IT highlights, the S3M
    // and XM 0x1A, the first MOD sample name), which must not join the title.
    struct fill_case {
        const char *label;
        module_format format;
        std::string name;
        std::string title;
    } cases[] = {
        {"MOD 20", module_format::mod, "Twenty characters ok", "Twenty characters ok"},
        {"MOD trailing blanks", module_format::mod, "Low Tide            ", "Low Tide            "},
        {"MOD cut", module_format::mod, "Longer than twenty characters", "Longer than twenty c"},
        {"S3M 28", module_format::s3m, "Twenty-eight characters fill",
         "Twenty-eight characters fill"},
        {"XM 20", module_format::xm, "Twenty characters ok", "Twenty characters ok"},
        {"XM trailing blanks", module_format::xm, "Low Tide            ", "Low Tide            "},
        {"IT 26", module_format::it, "Twenty-six characters fill", "Twenty-six characters fill"},
    };
    for (const fill_case &c : cases) {
        SCOPED_TRACE(c.label);
        module_description desc = harbour_lights(c.format, c.name);
        desc.samples[0].name = "sample name after the title";
        const std::vector<uint8_t> file = write_module(desc);
        header_probe probe{};
        ASSERT_EQ(probe_header(probe, file.data(), static_cast<int32_t>(file.size())), 0);
        EXPECT_EQ(title_of(probe), c.title);
    }
}

TEST(HeaderProbeTest, TitleEndsAtZeroFieldOrHeader) {
    settings_reset reset;
    // A header of non-zero bytes everywhere but the tags: only the field's size ends the name.
    bytes_t s3m(64, 'x');
    std::memcpy(s3m.data() + 44, "SCRM", 4);
    bytes_t it(64, 'y');
    std::memcpy(it.data(), "IMPM", 4);
    bytes_t mod = header_with(1085, {{0, "Ebb"}, {4, "and flow"}, {1080, "M.K."}});
    bytes_t xm = header_with(80, {{0, "Extended Module: "}, {17, "Slack water"}});
    struct title_case {
        const char *label;
        const bytes_t &bytes;
        int32_t length;
        std::string title;
    } cases[] = {
        {"S3M without a zero", s3m, 64, std::string(28, 'x')},
        {"S3M cut by the header", s3m, 49, std::string(28, 'x')},
        {"IT without a zero", it, 64, std::string(26, 'y')},
        {"IT cut by the header", it, 20, std::string(16, 'y')},
        {"IT with nothing after the tag", it, 5, "y"},
        {"MOD zero inside the field", mod, 1085, "Ebb"},
        {"XM cut by the header", xm, 22, "Slack"},
        {"XM with no title byte", xm, 18, "S"},
    };
    for (const title_case &c : cases) {
        SCOPED_TRACE(c.label);
        // The bytes past length are title text too: only the length may end the title there.
        header_probe probe{};
        ASSERT_EQ(probe_header(probe, c.bytes.data(), c.length), 0);
        EXPECT_EQ(title_of(probe), c.title);
    }
}

// A probe filled by a caller instead of probe_header: every getter keeps inside
// header_length whatever the kind says.
TEST(HeaderProbeTest, GettersKeepInsideAnyStoredLength) {
    settings_reset reset;
    const bytes_t bytes(1100, 'z');
    for (uint16_t kind : {PROBE_IT, PROBE_S3M, PROBE_MOD, PROBE_XM}) {
        for (int32_t length : {INT32_MIN, -1, 0, 1}) {
            SCOPED_TRACE(std::string(kind_name(kind)) + " " + std::to_string(length));
            const header_probe probe{bytes.data(), length, kind};
            const bool one_byte_title = length == 1 && (kind == PROBE_MOD || kind == PROBE_S3M);
            EXPECT_EQ(title_of(probe), one_byte_title ? "z" : "");
            EXPECT_EQ(header_instrument_count(probe), kind == PROBE_MOD ? 31 : 0);
            EXPECT_EQ(header_order_count(probe), 0);
        }
        // No bytes at all, whatever the length claims.
        SCOPED_TRACE(std::string(kind_name(kind)) + " without bytes");
        const header_probe probe{nullptr, 1100, kind};
        EXPECT_EQ(title_of(probe), "");
        EXPECT_EQ(header_instrument_count(probe), kind == PROBE_MOD ? 31 : 0);
        EXPECT_EQ(header_order_count(probe), 0);
    }
    // probe_header never gives a MOD of fewer than 1085 bytes, but a stored length may be
    // anything: the song length byte needs 951.
    EXPECT_EQ(header_order_count(header_probe{bytes.data(), 950, PROBE_MOD}), 0);
    EXPECT_EQ(header_order_count(header_probe{bytes.data(), 951, PROBE_MOD}), 'z');
    for (uint16_t kind : {0, 1, 5, 6, 8}) {
        SCOPED_TRACE(kind);
        const header_probe probe{bytes.data(), 1100, kind};
        EXPECT_EQ(title_of(probe), "untouched");
        EXPECT_EQ(header_instrument_count(probe), 0);
        EXPECT_EQ(header_order_count(probe), 0);
        EXPECT_EQ(header_kind(probe), kind);
    }
}

TEST(HeaderProbeTest, CountsAtTheirMinimumLengths) {
    settings_reset reset;
    bytes_t xm = header_with(80, {{0, "Extended Module: "}});
    xm[70] = 0x34; // pattern count 0x0134, little-endian
    xm[71] = 0x01;
    xm[72] = 0xC8; // 200 instruments: the byte is unsigned
    bytes_t mod = header_with(1085, {{1080, "M.K."}});
    mod[950] = 128;
    bytes_t it = header_with(40, {{0, "IMPM"}});
    it[32] = 0x00;
    it[33] = 0x01; // 256 orders
    it[34] = 0xFE;
    struct count_case {
        const char *label;
        const bytes_t &bytes;
        int32_t length;
        int instruments;
        int orders;
    } cases[] = {
        {"XM 72 bytes", xm, 72, 0, 0},
        {"XM 73 bytes", xm, 73, 0, 0x134},
        {"XM 74 bytes", xm, 74, 0, 0x134},
        {"XM 75 bytes", xm, 75, 200, 0x134},
        {"MOD song length 128", mod, 1085, 31, 128},
        {"IT 34 bytes", it, 34, 0, 0},
        {"IT 35 bytes", it, 35, 0, 256},
        {"IT 36 bytes", it, 36, 0, 256},
        {"IT 37 bytes", it, 37, 254, 256},
    };
    for (const count_case &c : cases) {
        SCOPED_TRACE(c.label);
        const bytes_t header(c.bytes.begin(), c.bytes.begin() + c.length);
        header_probe probe{};
        ASSERT_EQ(probe_header(probe, header.data(), c.length), 0);
        EXPECT_EQ(header_instrument_count(probe), c.instruments);
        EXPECT_EQ(header_order_count(probe), c.orders);
    }
}

// The probe trusts settings.little_endian: a value that does not describe this machine
// hides the tags compared as numbers, while the XM signature is compared as text.
TEST(HeaderProbeTest, ConfiguredByteOrderDecidesTheNumericTags) {
    settings_reset reset;
    const bool little_host = std::endian::native == std::endian::little;
    struct order_case {
        const char *label;
        int32_t little_endian;
        bool tags_found;
        int xm_orders;
    } cases[] = {
        {"matching", little_host ? 1 : 0, true, 7},
        {"opposite", little_host ? 0 : 1, false, 0x0700},
        // A damaged 2 is little-endian, for the tags as for the order count.
        {"two", 2, little_host, little_host ? 7 : 0x0700},
    };
    for (const order_case &c : cases) {
        SCOPED_TRACE(c.label);
        settings.little_endian = c.little_endian;
        for (const file_case &f : file_cases) {
            SCOPED_TRACE(f.label);
            const std::vector<uint8_t> file = write_module(harbour_lights(f.format, "Tide"));
            header_probe probe{};
            probe_header(probe, file.data(), static_cast<int32_t>(file.size()));
            if (f.kind == PROBE_XM) {
                EXPECT_EQ(header_kind(probe), PROBE_XM);
                EXPECT_EQ(header_order_count(probe), c.xm_orders);
                EXPECT_EQ(title_of(probe), "Tide");
            } else {
                EXPECT_EQ(header_kind(probe), c.tags_found ? f.kind : PROBE_UNKNOWN);
            }
        }
    }
}

} // namespace
