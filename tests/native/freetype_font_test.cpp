#include <gtest/gtest.h>

#include <algorithm>

#include "draw/text.h"
#include "platform/native/freetype_font.h"

namespace tamber {
namespace {

class freetype_font : public ::testing::Test {
protected:
    freetype_font_engine engine;
    font large{engine, large_font_desc()};
    font small{engine, small_font_desc()};
    render_bitmap bitmap{engine};

    text_extent extent(const font& f, std::u16string_view run) {
        auto dc = engine.open(*f.get(), *bitmap.get());
        return dc->measure(run);
    }
};

TEST_F(freetype_font, arial_resolves_to_a_metric_compatible_face) {
    ASSERT_TRUE(engine.ok());
    ASSERT_NE(large.get(), nullptr);
    ASSERT_NE(small.get(), nullptr);
    const freetype_face_info l = freetype_font_engine::describe(large);
    const freetype_face_info s = freetype_font_engine::describe(small);
    EXPECT_EQ(l.family, "Liberation Sans");
    EXPECT_EQ(l.style, "Bold");
    EXPECT_FALSE(l.synthetic_bold);
    EXPECT_EQ(s.style, "Regular");
    // Em height 20: Arial's cell is about 1.12 em, a fifth of it below the
    // baseline (the same numbers GDI gives for this face).
    EXPECT_EQ(l.ascent + l.descent, 22);
    EXPECT_EQ(l.descent, 4);
    EXPECT_EQ(s.ascent + s.descent, 15);
}

TEST_F(freetype_font, measures_like_gdi) {
    const text_extent space = extent(large, u" ");
    EXPECT_EQ(space.height, 22);
    EXPECT_GT(space.width, 0);
    const text_extent word = extent(large, u"Quillon");
    EXPECT_EQ(word.height, 22);
    // Runs add up: whole-pixel advances, no kerning.
    EXPECT_EQ(extent(large, u"Quillon Quillon").width, 2 * word.width + space.width);
    // Bold is wider than regular at the same height.
    font regular(engine, {-20, 400, false, false, 0x20, "Arial"});
    EXPECT_GT(word.width, extent(regular, u"Quillon").width);
    EXPECT_EQ(extent(large, u"").width, 0);
    EXPECT_EQ(extent(large, u"Downloading Quillon... 33%").width, 265);
    EXPECT_EQ(extent(small, u"Downloading Quillon... 33%").width, 159);
    // A surrogate pair is one character.
    EXPECT_EQ(extent(large, u"\U0001F600").width, extent(large, u"\U0001F601").width);
    int32_t d = 0;
    EXPECT_TRUE(engine.open(*large.get(), *bitmap.get())->descent(d));
    EXPECT_EQ(d, 4);
}

TEST_F(freetype_font, renders_white_on_black_inside_the_clip_rectangle) {
    uint8_t* px = bitmap.get()->pixels();
    std::fill_n(px, text_bitmap_stride * text_bitmap_height, uint8_t{0x55});
    auto dc = engine.open(*large.get(), *bitmap.get());
    const text_extent e = dc->measure(u"Hill");
    dc->render(u"Hill", e.width, e.height);
    int lit = 0;
    bool grey = true, antialiased = false;
    for (int32_t y = 0; y < e.height; ++y)
        for (int32_t x = 0; x < e.width; ++x) {
            const uint8_t* p = px + y * text_bitmap_stride + 3 * x;
            grey = grey && p[0] == p[1] && p[1] == p[2];
            lit += p[0] == 255;
            antialiased = antialiased || (p[0] > 0 && p[0] < 255);
        }
    EXPECT_TRUE(grey);
    EXPECT_GT(lit, 40);
    EXPECT_TRUE(antialiased);
    // "H" stands on the baseline: its bottom row is ascent - 1, and rows
    // above the cap height stay black.
    const int32_t ascent = e.height - 4;
    EXPECT_GT(px[(ascent - 1) * text_bitmap_stride + 3 * 3], 128);
    EXPECT_EQ(px[ascent * text_bitmap_stride + 3 * 3], 0);
    EXPECT_EQ(px[0], 0);
    // Outside the rectangle nothing changes.
    EXPECT_EQ(px[3 * e.width], 0x55);
    EXPECT_EQ(px[e.height * text_bitmap_stride], 0x55);

    // A narrower clip cuts the run.
    std::fill_n(px, text_bitmap_stride * text_bitmap_height, uint8_t{0x55});
    dc->render(u"Hill", 5, e.height);
    EXPECT_EQ(px[3 * 5], 0x55);
}

TEST_F(freetype_font, progress_line_lands_centred_on_its_point) {
    frame_image image(800, 600);
    frame_view view = image.view();
    draw_text(view, bitmap, u"Downloading Quillon... 33%", 408, 300, 0, large, text_centre | text_middle,
              0xFF90D8FE, 0);
    int32_t left = 800, right = 0, top = 600, bottom = 0;
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 800; ++x)
            if (image.plane(2)[y * 800 + x] > 64) {
                left = std::min(left, x), right = std::max(right, x + 1);
                top = std::min(top, y), bottom = std::max(bottom, y + 1);
            }
    EXPECT_NEAR((left + right) / 2.0, 408, 3);
    EXPECT_GT(right - left, 200);
    EXPECT_LT(right - left, 320);
    // Cap height about 14 of the 22-pixel cell centred on 300.
    EXPECT_GE(top, 289);
    EXPECT_LE(bottom, 312);
}

}  // namespace
}  // namespace tamber
