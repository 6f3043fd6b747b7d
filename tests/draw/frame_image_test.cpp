#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "draw/frame_image.h"

namespace tamber {
namespace {

constexpr size_t frame_bytes = 800 * 600;

TEST(frame_image, starts_black_and_views_its_planes) {
    frame_image image(800, 600);
    frame_view v = image.view();
    EXPECT_EQ(v.width, 800);
    EXPECT_EQ(v.height, 600);
    EXPECT_EQ(v.pitch, 800);
    EXPECT_EQ(v.reserved3 | v.reserved4 | v.reserved5 | v.reserved9 | v.reserved10, 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(v.plane[i], image.plane(i));
        EXPECT_EQ(image.plane(i)[0], 0);
        EXPECT_EQ(image.plane(i)[800 * 600 - 1], 0);
    }
}

// Sets every byte of every plane to `value`.
void paint(frame_image& image, uint8_t value) {
    for (int i = 0; i < 3; ++i) std::memset(image.plane(i), value, frame_bytes);
}

// The pixels (x, y) whose bytes differ from `value` in any plane.
std::vector<std::pair<int, int>> changed(const frame_image& image, uint8_t value) {
    std::vector<std::pair<int, int>> pixels;
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            for (int i = 0; i < 3; ++i)
                if (image.plane(i)[y * 800 + x] != value) {
                    pixels.emplace_back(x, y);
                    break;
                }
    return pixels;
}

uint8_t at(const frame_image& image, int plane, int x, int y) { return image.plane(plane)[y * 800 + x]; }

TEST(fill, opacity_zero_draws_nothing_whatever_the_components) {
    frame_image image(800, 600);
    paint(image, 77);
    const frame_view v = image.view();
    for (colour c : {0x00000000u, 0x00FFFFFFu, 0x00123456u}) {
        fill_span(v, 0, frame_bytes, c);
        reference::fill_span(v, 0, frame_bytes, c);
        fill_rect(v, 0, 0, 800, 600, c);
        draw_rect(v, {10, 10, 100, 100}, c, c);
    }
    EXPECT_TRUE(changed(image, 77).empty());
}

TEST(fill, opaque_colour_writes_its_exact_components_over_the_span_only) {
    frame_image image(800, 600);
    paint(image, 200);
    fill_span(image.view(), 801, 37, 0xFF90D8FE);
    for (int x = 0; x < 800; ++x) {
        const bool inside = x >= 1 && x < 38;
        EXPECT_EQ(at(image, 0, x, 1), inside ? 0x90 : 200) << x;
        EXPECT_EQ(at(image, 1, x, 1), inside ? 0xD8 : 200) << x;
        EXPECT_EQ(at(image, 2, x, 1), inside ? 0xFE : 200) << x;
    }
    EXPECT_EQ(changed(image, 200).size(), 37u);
}

TEST(fill, translucent_colour_darkens_by_a_over_256_then_adds_saturating) {
    frame_image image(800, 600);
    const frame_view v = image.view();
    paint(image, 200);
    fill_span(v, 0, 100, 0xC0000000);  // (200 * 63) >> 8
    EXPECT_EQ(at(image, 0, 0, 0), 49);
    EXPECT_EQ(at(image, 1, 50, 0), 49);
    EXPECT_EQ(at(image, 2, 99, 0), 49);
    EXPECT_EQ(at(image, 2, 100, 0), 200);

    paint(image, 255);
    fill_span(v, 0, 100, 0xFE000000);  // opacity 254 takes 255 down to 0
    EXPECT_EQ(at(image, 0, 10, 0), 0);
    fill_span(v, 0, 100, 0x80FF7F01);  // (0 * 127) >> 8 plus each component
    EXPECT_EQ(at(image, 0, 10, 0), 0xFF);
    EXPECT_EQ(at(image, 1, 10, 0), 0x7F);
    EXPECT_EQ(at(image, 2, 10, 0), 0x01);
    fill_span(v, 0, 100, 0x80FF7F01);  // 255 -> 126 + 255 saturates; 127 -> 63 + 127; 1 -> 0 + 1
    EXPECT_EQ(at(image, 0, 10, 0), 255);
    EXPECT_EQ(at(image, 1, 10, 0), 190);
    EXPECT_EQ(at(image, 2, 10, 0), 1);
}

TEST(fill_rect, clips_to_the_frame) {
    frame_image image(800, 600);
    const frame_view v = image.view();
    fill_rect(v, -10, -10, 10, 10, 0xFF010101);
    auto pixels = changed(image, 0);
    ASSERT_EQ(pixels.size(), 100u);
    for (auto [x, y] : pixels) EXPECT_TRUE(x < 10 && y < 10) << x << "," << y;

    paint(image, 0);
    fill_rect(v, 795, 590, 900, 700, 0xFF010101);
    pixels = changed(image, 0);
    ASSERT_EQ(pixels.size(), 50u);
    for (auto [x, y] : pixels) EXPECT_TRUE(x >= 795 && y >= 590) << x << "," << y;

    paint(image, 0);
    fill_rect(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::min(),
              std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::max(), 0xFF010101);
    EXPECT_EQ(changed(image, 1).size(), 0u);
}

TEST(fill_rect, empty_or_outside_rectangles_draw_nothing) {
    frame_image image(800, 600);
    const frame_view v = image.view();
    const int32_t rects[][4] = {
        {20, 20, 20, 40},    // right == left
        {30, 20, 20, 40},    // right < left
        {20, 40, 30, 40},    // bottom == top
        {20, 40, 30, 39},    // bottom < top
        {800, 0, 900, 10},   // right of the frame
        {0, 600, 10, 700},   // below it
        {-50, 0, 0, 10},     // left of it
        {0, -50, 10, 0},     // above it
        {-50, 700, -10, 600},
    };
    for (const auto& r : rects) fill_rect(v, r[0], r[1], r[2], r[3], 0xFFFFFFFF);
    EXPECT_TRUE(changed(image, 0).empty());
}

TEST(draw_rect, translucent_border_blends_its_corners_twice) {
    frame_image image(800, 600);
    paint(image, 255);
    draw_rect(image.view(), {10, 20, 30, 25}, 0xFF112233, 0x80000000);
    for (int i = 0; i < 3; ++i) {
        // (255 * 127) >> 8 on the edges, and once more at the corners.
        for (auto [x, y] : {std::pair{10, 20}, {29, 20}, {10, 24}, {29, 24}}) EXPECT_EQ(at(image, i, x, y), 62);
        for (auto [x, y] : {std::pair{11, 20}, {28, 20}, {20, 24}, {10, 21}, {10, 23}, {29, 22}})
            EXPECT_EQ(at(image, i, x, y), 126) << x << "," << y;
    }
    // The interior is the fill, opaque here.
    EXPECT_EQ(at(image, 0, 11, 21), 0x11);
    EXPECT_EQ(at(image, 1, 20, 22), 0x22);
    EXPECT_EQ(at(image, 2, 28, 23), 0x33);
    EXPECT_EQ(changed(image, 255).size(), 20u * 5u);
}

TEST(draw_rect, equal_fill_and_border_is_one_plain_fill) {
    frame_image image(800, 600);
    paint(image, 255);
    draw_rect(image.view(), {10, 20, 30, 25}, 0x80000000, 0x80000000);
    const auto pixels = changed(image, 255);
    ASSERT_EQ(pixels.size(), 100u);
    // Every pixel, corners included, blended exactly once.
    for (auto [x, y] : pixels)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(at(image, i, x, y), 126) << x << "," << y;
}

TEST(draw_rect, rectangles_at_the_ends_of_the_coordinate_range_are_clipped_safely) {
    frame_image image(800, 600);
    const frame_view v = image.view();
    constexpr int32_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    // The edges lie off the frame; the interior covers all of it.
    draw_rect(v, {lo, lo, hi, hi}, 0xFF010101, 0xFF020202);
    EXPECT_TRUE(changed(image, 1).empty());
    // Nothing of these lies on the frame.
    draw_rect(v, {hi, hi, lo, lo}, 0xFF030303, 0xFF040404);
    draw_rect(v, {hi, lo, hi, lo}, 0xFF030303, 0xFF040404);
    draw_rect(v, {lo, hi, lo, hi}, 0xFF030303, 0xFF040404);
    EXPECT_TRUE(changed(image, 1).empty());
}

}  // namespace
}  // namespace tamber
