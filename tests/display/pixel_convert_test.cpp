// The pixel converters: the layout numbers, the choice of converter, the
// bytes written for the common formats, and every packed routine against
// the scalar rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "display/pixel_convert.h"

namespace tamber {
namespace {

using ::testing::ElementsAre;

ddraw::pixel_format rgb(uint32_t bits, uint32_t red, uint32_t green, uint32_t blue) {
    return {ddraw::pf_rgb, bits, red, green, blue, 0};
}

// Converts one row of pixels given as (p0, p1, p2) triples with the active
// converter for `format`.
std::vector<uint8_t> convert(const ddraw::pixel_format& format, const std::vector<std::array<uint8_t, 3>>& pixels) {
    const converter c = select_converter(format);
    if (!c) return {};
    std::vector<uint8_t> planes[3];
    for (const auto& p : pixels)
        for (int i = 0; i < 3; ++i) planes[i].push_back(p[i]);
    std::vector<uint8_t> out(pixels.size() * (format.rgb_bit_count / 8));
    c.row(planes[0].data(), planes[1].data(), planes[2].data(), out.data(), pixels.size(), c.layout);
    return out;
}

TEST(channel_layout, shift_is_the_lowest_set_bit_and_loss_the_bits_dropped) {
    const channel_layout l565 = layout_for(rgb(16, 0xF800, 0x07E0, 0x001F));
    EXPECT_THAT(l565.shift, ElementsAre(0u, 5u, 11u));
    EXPECT_THAT(l565.loss, ElementsAre(3u, 2u, 3u));
    EXPECT_EQ(l565.mask, 0xFFFFu);

    const channel_layout l32 = layout_for(rgb(32, 0xFF0000, 0x00FF00, 0x0000FF));
    EXPECT_THAT(l32.shift, ElementsAre(0u, 8u, 16u));
    EXPECT_THAT(l32.loss, ElementsAre(0u, 0u, 0u));

    // An empty mask drops the whole byte; a mask wider than a byte drops
    // nothing.
    const channel_layout odd = layout_for(rgb(32, 0, 0x3FF00000, 0x3));
    EXPECT_THAT(odd.shift, ElementsAre(0u, 20u, 0u));
    EXPECT_THAT(odd.loss, ElementsAre(6u, 0u, 8u));
}

TEST(select_converter, chooses_by_bit_count_and_masks) {
    EXPECT_STREQ(select_converter(rgb(16, 0xF800, 0x07E0, 0x001F)).name, "general16");
    EXPECT_STREQ(select_converter(rgb(24, 0xFF0000, 0x00FF00, 0x0000FF)).name, "bgr24");
    EXPECT_STREQ(select_converter(rgb(24, 0x0000FF, 0x00FF00, 0xFF0000)).name, "rgb24");
    EXPECT_STREQ(select_converter(rgb(24, 0x00FF00, 0xFF0000, 0x0000FF)).name, "general24");
    EXPECT_STREQ(select_converter(rgb(32, 0xFF0000, 0x00FF00, 0x0000FF)).name, "bgrx32");
    EXPECT_STREQ(select_converter(rgb(32, 0x0000FF, 0x00FF00, 0xFF0000)).name, "rgbx32");
    EXPECT_STREQ(select_converter(rgb(32, 0x3FF00000, 0x000FFC00, 0x000003FF)).name, "general32");
    for (uint32_t bits : {0u, 1u, 4u, 8u, 15u, 48u, 64u})
        EXPECT_FALSE(select_converter(rgb(bits, 0xFF0000, 0x00FF00, 0x0000FF))) << bits;
}

TEST(converters, write_the_bytes_of_each_common_format) {
    // 32 bits, red mask 0xFF0000: planes (10, 20, 30) are the bytes 10, 20, 30, 0.
    EXPECT_THAT(convert(rgb(32, 0xFF0000, 0x00FF00, 0x0000FF), {{10, 20, 30}}), ElementsAre(10, 20, 30, 0));
    EXPECT_THAT(convert(rgb(32, 0x0000FF, 0x00FF00, 0xFF0000), {{10, 20, 30}}), ElementsAre(30, 20, 10, 0));
    EXPECT_THAT(convert(rgb(24, 0xFF0000, 0x00FF00, 0x0000FF), {{10, 20, 30}, {1, 2, 3}}),
                ElementsAre(10, 20, 30, 1, 2, 3));
    // 24 bits with red in the low byte: plane 2, plane 1, plane 0.
    EXPECT_THAT(convert(rgb(24, 0x0000FF, 0x00FF00, 0xFF0000), {{10, 20, 30}, {1, 2, 3}}),
                ElementsAre(30, 20, 10, 3, 2, 1));
    // 5-6-5: white is 0xFFFF; (7, 3, 7) loses every bit.
    EXPECT_THAT(convert(rgb(16, 0xF800, 0x07E0, 0x001F), {{255, 255, 255}, {7, 3, 7}, {8, 4, 8}}),
                ElementsAre(0xFF, 0xFF, 0, 0, 0x21, 0x08));
    // 5-5-5: the top bit stays clear.
    EXPECT_THAT(convert(rgb(16, 0x7C00, 0x03E0, 0x001F), {{255, 255, 255}}), ElementsAre(0xFF, 0x7F));
    // A 24-bit layout of no common order (red 0x00FF00, green 0xFF0000,
    // blue 0x0000FF): (10, 20, 30) is the value 0x141E0A, bytes 0A 1E 14.
    EXPECT_THAT(convert(rgb(24, 0x00FF00, 0xFF0000, 0x0000FF), {{10, 20, 30}, {1, 2, 3}}),
                ElementsAre(10, 30, 20, 1, 3, 2));
    // 24-bit 5-6-5 in the upper two bytes: white is 0xFFFF00; (8, 4, 8)
    // keeps one bit of each channel, 0x082100; (7, 3, 7) loses them all.
    EXPECT_THAT(convert(rgb(24, 0xF80000, 0x07E000, 0x001F00), {{255, 255, 255}, {8, 4, 8}, {7, 3, 7}}),
                ElementsAre(0x00, 0xFF, 0xFF, 0x00, 0x21, 0x08, 0, 0, 0));
    // 10-10-10: each byte lands at the bottom of its channel; the top two
    // bits (outside every mask) stay clear.
    EXPECT_THAT(convert(rgb(32, 0x3FF00000, 0x000FFC00, 0x000003FF), {{255, 255, 255}}),
                ElementsAre(0xFF, 0xFC, 0xF3, 0x0F));
}

// Formats that exercise every routine, with shifts and losses of every kind.
const ddraw::pixel_format formats[] = {
    rgb(32, 0xFF0000, 0x00FF00, 0x0000FF), rgb(32, 0x0000FF, 0x00FF00, 0xFF0000),
    rgb(24, 0xFF0000, 0x00FF00, 0x0000FF), rgb(24, 0x0000FF, 0x00FF00, 0xFF0000),
    rgb(16, 0xF800, 0x07E0, 0x001F),       rgb(16, 0x7C00, 0x03E0, 0x001F),
    rgb(16, 0x001F, 0x07E0, 0xF800),       rgb(16, 0x0F00, 0x00F0, 0x000F),
    rgb(16, 0, 0xFFFF, 0),                 rgb(16, 0xF0000, 0x7, 0x38),
    rgb(24, 0x00FF00, 0xFF0000, 0x0000FF), rgb(24, 0xF80000, 0x07E000, 0x001F00),
    rgb(24, 0x7, 0x5, 0x800000),           rgb(32, 0x3FF00000, 0x000FFC00, 0x000003FF),
    rgb(32, 0xFF000000, 0x00FF0000, 0x0000FF00), rgb(32, 0x80000000, 0, 0x0000F0F0),
};

// Rows of random planes of many widths through a packed and the scalar
// routine: the same bytes, and none written past the row.
void expect_rows_match(convert_row_fn packed, convert_row_fn scalar, const channel_layout& layout, size_t size,
                       const std::string& what, std::mt19937& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    constexpr size_t guard = 64;
    for (size_t count : {1, 3, 4, 15, 16, 17, 31, 32, 33, 47, 48, 64, 65, 100, 800}) {
        SCOPED_TRACE(what + " count " + std::to_string(count));
        std::vector<uint8_t> planes[3];
        for (auto& p : planes) {
            p.resize(count);
            for (auto& b : p) b = static_cast<uint8_t>(byte(random));
        }
        planes[0][0] = 255;  // the extremes appear in every row
        planes[1][0] = 0;
        std::vector<uint8_t> got(count * size + guard, 0xA5), want(count * size + guard, 0xA5);
        packed(planes[0].data(), planes[1].data(), planes[2].data(), got.data(), count, layout);
        scalar(planes[0].data(), planes[1].data(), planes[2].data(), want.data(), count, layout);
        ASSERT_EQ(got, want);  // the guard bytes after the row too
    }
}

TEST(converters, every_packed_routine_matches_the_scalar_rule) {
    std::mt19937 random(20261208);
    const std::vector<converter_set> sets = packed_converters();
#if defined(__SSE2__)
    EXPECT_FALSE(sets.empty());
#endif
    for (const converter_set& set : sets) {
        for (const auto& format : formats) {
            const converter packed = select_converter_from(set, format);
            const converter scalar = select_converter_from(scalar_converters(), format);
            ASSERT_TRUE(packed);
            ASSERT_STREQ(packed.name, scalar.name);
            expect_rows_match(packed.row, scalar.row, packed.layout, format.rgb_bit_count / 8,
                              std::string(set.name) + " " + packed.name + " masks " +
                                  std::to_string(format.red_mask) + " " + std::to_string(format.green_mask) + " " +
                                  std::to_string(format.blue_mask),
                              random);
        }
        ASSERT_TRUE(set.rgba32) << set.name;
        expect_rows_match(set.rgba32, scalar_converters().rgba32, rgba_converter().layout, 4,
                          std::string(set.name) + " rgba32", random);
    }
}

// A canvas's image data: red, green, blue, then an opaque alpha.
TEST(converters, rgba32_writes_red_green_blue_and_an_opaque_alpha) {
    const uint8_t blue[] = {10, 0, 255}, green[] = {20, 0, 255}, red[] = {30, 0, 255};
    std::vector<uint8_t> out(3 * 4 + 1, 0xA5);
    const converter rgba = rgba_converter();
    scalar_converters().rgba32(blue, green, red, out.data(), 3, rgba.layout);
    EXPECT_THAT(out, ElementsAre(30, 20, 10, 255, 0, 0, 0, 255, 255, 255, 255, 255, 0xA5));
    EXPECT_STREQ(rgba.name, "rgba32");
    EXPECT_EQ(rgba.row, active_converters().rgba32);
}

TEST(converters, the_active_set_is_the_widest_packed_one) {
    const std::vector<converter_set> sets = packed_converters();
    EXPECT_STREQ(active_converters().name, sets.empty() ? "scalar" : sets.back().name);
}

}  // namespace
}  // namespace tamber
