#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "draw/text.h"
#include "fake_font_engine.h"

namespace tamber {
namespace {

using testing::fake_font_engine;

// Columns and rows in which any plane differs from `background`.
struct bounds {
    int32_t left = INT32_MAX, top = INT32_MAX, right = INT32_MIN, bottom = INT32_MIN;
    bool empty() const { return left > right; }
};

bounds changed(const frame_image& image, uint8_t background) {
    bounds b;
    for (int32_t y = 0; y < image.height(); ++y)
        for (int32_t x = 0; x < image.width(); ++x)
            for (int i = 0; i < 3; ++i)
                if (image.plane(i)[y * image.width() + x] != background) {
                    b.left = std::min(b.left, x);
                    b.right = std::max(b.right, x + 1);
                    b.top = std::min(b.top, y);
                    b.bottom = std::max(b.bottom, y + 1);
                }
    return b;
}

struct pixel {
    uint8_t b, g, r;
    bool operator==(const pixel&) const = default;
};

pixel at(const frame_image& image, int32_t x, int32_t y) {
    const size_t i = static_cast<size_t>(y) * static_cast<size_t>(image.width()) + static_cast<size_t>(x);
    return {image.plane(0)[i], image.plane(1)[i], image.plane(2)[i]};
}

class text_layout : public ::testing::Test {
protected:
    fake_font_engine engine;
    font f{engine, large_font_desc()};
    render_bitmap bitmap{engine};
    frame_image image{800, 600};
    frame_view view = image.view();

    text_extent measure(std::u16string_view text, int32_t width = 0) { return measure_text(text, f, bitmap, width); }
    void draw(std::u16string_view text, int32_t x, int32_t y, uint32_t flags, colour c = 0xFFFFFFFF,
              colour c2 = 0xFF000000, int32_t max_width = 0) {
        draw_text(view, bitmap, text, x, y, max_width, f, flags, c, c2);
    }
    std::vector<std::u16string> run_texts() const {
        std::vector<std::u16string> out;
        for (const auto& r : engine.runs) out.push_back(r.text);
        return out;
    }
};

TEST_F(text_layout, fit_line_takes_whole_words_and_stops_before_line_feeds) {
    auto dc = engine.open(*f.get(), *bitmap.get());
    const std::u16string text = u"aa bb cc";
    const char16_t* s = text.data();
    const char16_t* e = s + text.size();

    line_fit fit = fit_line(*dc, s, e, 40);  // "aa bb" is exactly 40
    EXPECT_EQ(fit.end - s, 5);
    EXPECT_EQ(fit.width, 40);
    fit = fit_line(*dc, s, e, 39);
    EXPECT_EQ(fit.end - s, 2);
    EXPECT_EQ(fit.width, 16);

    // A first word that is too wide is taken whole with its own width.
    fit = fit_line(*dc, s, e, 5);
    EXPECT_EQ(fit.end - s, 2);
    EXPECT_EQ(fit.width, 16);

    // Trailing white space at the end of the text belongs to the line.
    const std::u16string tail = u"ab   ";
    fit = fit_line(*dc, tail.data(), tail.data() + tail.size(), 2048);
    EXPECT_EQ(fit.end, tail.data() + tail.size());
    EXPECT_EQ(fit.width, 16);

    // Spaces before a line feed are left for the next-line skip.
    const std::u16string lf = u"ab  \ncd";
    fit = fit_line(*dc, lf.data(), lf.data() + lf.size(), 2048);
    EXPECT_EQ(fit.end - lf.data(), 2);
}

TEST_F(text_layout, measures_lines_blank_lines_and_white_space) {
    EXPECT_EQ(measure(u"").width, 0);
    EXPECT_EQ(measure(u"").height, 0);

    const text_extent three = measure(u"a\n\nb");
    EXPECT_EQ(three.width, 8);
    EXPECT_EQ(three.height, 48);

    const text_extent spaces = measure(u"    ");
    EXPECT_EQ(spaces.width, 0);
    EXPECT_EQ(spaces.height, 0);

    // A trailing line feed ends the last line; it does not add one.
    EXPECT_EQ(measure(u"ab\n").height, 16);
    EXPECT_EQ(measure(u"ab\n\n").height, 32);
    // Text stops at its first NUL.
    EXPECT_EQ(measure(std::u16string_view(u"ab\0cdef", 7)).width, 16);
}

TEST_F(text_layout, wrapping_width_zero_or_beyond_2048_means_2048) {
    // 300 words of "aaa" with spaces: 64 of them (2040 px) fit on a line.
    std::u16string text;
    for (int i = 0; i < 300; ++i) text += i ? u" aaa" : u"aaa";
    for (int32_t width : {0, 2049, 100000}) {
        const text_extent e = measure(text, width);
        EXPECT_EQ(e.width, 64 * 32 - 8) << width;
        EXPECT_EQ(e.height, 5 * 16) << width;
    }
    EXPECT_EQ(measure(text, 100).width, 88);
    EXPECT_EQ(measure(text, 100).height, 100 * 16);
}

TEST_F(text_layout, empty_text_draws_and_measures_nothing) {
    draw(u"", 100, 100, text_box | text_centre);
    draw(std::u16string_view(u"\0abc", 4), 100, 100, 0);
    EXPECT_TRUE(engine.runs.empty());
    EXPECT_EQ(engine.measures, 0);
    EXPECT_TRUE(changed(image, 0).empty());
}

TEST_F(text_layout, spaces_only_draw_no_glyph_but_a_box_around_the_empty_block) {
    draw(u"   ", 100, 100, text_centre);
    EXPECT_TRUE(engine.runs.empty());
    EXPECT_TRUE(changed(image, 0).empty());

    draw(u"   ", 100, 100, text_box, 0xFF0000FF, 0xFF00FF00);
    const bounds b = changed(image, 0);
    EXPECT_EQ(b.left, 96);
    EXPECT_EQ(b.top, 97);
    EXPECT_EQ(b.right - b.left, 8);
    EXPECT_EQ(b.bottom - b.top, 6);
    EXPECT_EQ(at(image, 96, 97), (pixel{0, 0, 0xFF}));   // border: text colour
    EXPECT_EQ(at(image, 97, 98), (pixel{0, 0xFF, 0}));   // inside: second colour
    EXPECT_TRUE(engine.runs.empty());
}

TEST_F(text_layout, blank_line_takes_its_height_when_drawn) {
    draw(u"a\n\nb", 10, 20, 0);
    ASSERT_EQ(run_texts(), (std::vector<std::u16string>{u"a", u"b"}));
    const bounds b = changed(image, 0);
    EXPECT_EQ(b.left, 11);
    EXPECT_EQ(b.top, 22);
    EXPECT_EQ(b.bottom, 20 + 32 + 12);  // "b" on the third line
    EXPECT_EQ(at(image, 12, 20 + 16 + 5), (pixel{0, 0, 0}));
}

TEST_F(text_layout, a_word_wider_than_the_wrap_is_drawn_whole_and_rendering_wraps_at_the_measured_width) {
    // Measured at 50: "abcdefgh" (64), "ab cd" (40), "ef". The block is then
    // 64 wide, and the rendering passes, wrapping at 64, put "ef" on the
    // second line.
    const text_extent e = measure(u"abcdefgh ab cd ef", 50);
    EXPECT_EQ(e.width, 64);
    EXPECT_EQ(e.height, 48);
    draw(u"abcdefgh ab cd ef", 0, 0, text_centre, 0xFFFFFFFF, 0, 50);
    EXPECT_EQ(run_texts(), (std::vector<std::u16string>{u"abcdefgh", u"ab cd ef"}));

    // Only the first 2048 pixels of a line reach the bitmap.
    engine.runs.clear();
    draw(std::u16string(300, u'x'), 0, 0, 0);
    ASSERT_EQ(engine.runs.size(), 1u);
    EXPECT_EQ(engine.runs[0].right, 2048);
    EXPECT_EQ(engine.runs[0].bottom, 16);
}

TEST_F(text_layout, outline_passes_also_wrap_at_the_measured_width) {
    // As above: measured at 50 the block is 64 wide, and all five passes
    // wrap at 64.
    draw(u"abcdefgh ab cd ef", 0, 0, text_outline, 0xFFFFFFFF, 0xFF000000, 50);
    std::vector<std::u16string> expected;
    for (int pass = 0; pass < 5; ++pass) {
        expected.push_back(u"abcdefgh");
        expected.push_back(u"ab cd ef");
    }
    EXPECT_EQ(run_texts(), expected);
}

TEST_F(text_layout, centres_the_block_on_the_point) {
    draw(u"abcd", 408, 300, text_centre | text_middle);
    const bounds b = changed(image, 0);
    // Block 32 x 16 at (392, 292); glyph boxes span columns 1..30, rows 2..11.
    EXPECT_EQ(b.left, 393);
    EXPECT_EQ(b.right, 423);
    EXPECT_EQ(b.top, 294);
    EXPECT_EQ(b.bottom, 304);
}

TEST_F(text_layout, right_alignment_wins_and_clamping_keeps_the_block_inside) {
    draw(u"ab", 100, 0, text_right | text_centre);
    EXPECT_EQ(changed(image, 0).left, 85);

    frame_image wide(800, 600);
    frame_view wv = wide.view();
    draw_text(wv, bitmap, std::u16string(120, u'w'), 300, 0, 0, f, text_clamp_x, 0xFFFFFFFF, 0);  // 960 > 800
    EXPECT_EQ(changed(wide, 0).left, 1);

    frame_image edge(800, 600);
    frame_view ev = edge.view();
    draw_text(ev, bitmap, u"abcd", 790, 590, 0, f, text_clamp_x | text_clamp_y, 0xFFFFFFFF, 0);
    const bounds b = changed(edge, 0);
    EXPECT_EQ(b.right, 800 - 1);
    EXPECT_EQ(b.bottom, 600 - 4);

    frame_image neg(800, 600);
    frame_view nv = neg.view();
    draw_text(nv, bitmap, u"ab", -50, -50, 0, f, text_clamp_x | text_clamp_y, 0xFFFFFFFF, 0);
    EXPECT_EQ(changed(neg, 0).left, 1);
    EXPECT_EQ(changed(neg, 0).top, 2);
}

TEST_F(text_layout, a_block_taller_than_the_frame_is_clamped_to_the_top) {
    // 40 lines of 16 pixels: 640 > 600, so the block starts at row 0 and
    // its first glyph box at row 2, wherever it was asked for.
    std::u16string tall;
    for (int i = 0; i < 40; ++i) tall += u"ab\n";
    for (const int32_t y : {100, -30, 590}) {
        frame_image clamped(800, 600);
        frame_view cv = clamped.view();
        draw_text(cv, bitmap, tall, 10, y, 0, f, text_clamp_y, 0xFFFFFFFF, 0);
        EXPECT_EQ(changed(clamped, 0).top, 2) << y;
    }
}

TEST_F(text_layout, baseline_flag_puts_the_last_baseline_on_y) {
    draw(u"ab", 0, 200, text_baseline);
    // The boxes stand on the baseline: their last row is y - 1.
    EXPECT_EQ(changed(image, 0).bottom, 200);
    EXPECT_EQ(changed(image, 0).top, 200 - 10);

    frame_image two(800, 600);
    frame_view tv = two.view();
    draw_text(tv, bitmap, u"ab\ncd", 0, 200, 0, f, text_baseline | text_middle, 0xFFFFFFFF, 0);
    EXPECT_EQ(changed(two, 0).bottom, 200);
    EXPECT_EQ(changed(two, 0).top, 200 - 16 - 10);
}

TEST_F(text_layout, text_ignores_opacity_but_the_box_honours_it) {
    draw(u"a", 10, 10, 0, 0x00FFFFFF);
    EXPECT_EQ(at(image, 11, 12), (pixel{254, 254, 254}));

    frame_image boxed(800, 600);
    frame_view bv = boxed.view();
    draw_text(bv, bitmap, u"a", 100, 100, 0, f, text_box, 0xFF0000FF, 0x0000FF00);
    EXPECT_EQ(at(boxed, 96, 97), (pixel{0, 0, 0xFF}));     // border drawn
    EXPECT_EQ(at(boxed, 98, 99), (pixel{0, 0, 0}));        // transparent fill
    EXPECT_EQ(at(boxed, 101, 102), (pixel{0, 0, 254}));    // glyph
}

TEST_F(text_layout, outline_draws_four_offset_passes_in_the_second_colour_first) {
    draw(u"a", 100, 100, text_outline | text_box, 0xFF0000FF, 0xFF00FF00);
    EXPECT_EQ(engine.runs.size(), 5u);
    // Glyph box at columns 101-106, rows 102-111; the outline reaches one
    // pixel further out, the box is not drawn. Every later pass scales what
    // lies under its line by 255/256.
    EXPECT_EQ(at(image, 100, 105), (pixel{0, 252, 0}));
    EXPECT_EQ(at(image, 103, 101), (pixel{0, 250, 0}));
    EXPECT_EQ(at(image, 103, 105), (pixel{0, 0, 254}));
    EXPECT_EQ(at(image, 99, 105), (pixel{0, 0, 0}));
    EXPECT_EQ(at(image, 96, 97), (pixel{0, 0, 0}));
}

TEST(blend_coverage, applies_the_coverage_rule_and_clips) {
    frame_image image(4, 2);
    frame_view view = image.view();
    for (int i = 0; i < 3; ++i) std::fill(image.plane(i), image.plane(i) + 8, 200);
    const uint8_t src[] = {0, 9, 9, 255, 9, 9, 128, 9, 9};
    blend_coverage(src, 3, 1, sizeof src, view, 1, 1, 0x00302010);
    EXPECT_EQ(image.plane(2)[4], 200);                     // outside
    EXPECT_EQ(image.plane(2)[5], (200 * 255) >> 8);        // coverage 0 still scales
    EXPECT_EQ(image.plane(2)[6], (255 * 0x10) >> 8);       // full coverage
    EXPECT_EQ(image.plane(0)[7], (200 * 127 + 128 * 0x30) >> 8);
    blend_coverage(src, 3, 1, sizeof src, view, -3, 0, 0);  // wholly left of the frame
    blend_coverage(src, 3, 1, sizeof src, view, 4, 0, 0);   // wholly right
    blend_coverage(src, 3, 1, sizeof src, view, 0, INT32_MAX, 0);
    blend_coverage(src, 3, 1, sizeof src, view, INT32_MIN, 0, 0);
    EXPECT_EQ(image.plane(2)[0], 200);
}

TEST(blend_coverage, clipping_at_the_left_and_top_skips_the_source_pixels_outside) {
    // A 3 x 2 coverage block with a different value in every pixel, drawn
    // one pixel up and left of the frame: only its lower right 2 x 1 part
    // lands, at (0, 0) and (1, 0).
    const uint8_t src[2][9] = {{10, 0, 0, 20, 0, 0, 30, 0, 0}, {40, 0, 0, 160, 0, 0, 240, 0, 0}};
    for (const bool packed : {true, false}) {
        SCOPED_TRACE(packed ? "packed" : "reference");
        frame_image image(4, 2);
        frame_view view = image.view();
        if (packed)
            blend_coverage(&src[0][0], 3, 2, sizeof src[0], view, -1, -1, 0x00FFFFFF);
        else
            reference::blend_coverage(&src[0][0], 3, 2, sizeof src[0], view, -1, -1, 0x00FFFFFF);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(image.plane(i)[0], (160 * 255) >> 8);
            EXPECT_EQ(image.plane(i)[1], (240 * 255) >> 8);
            for (int n = 2; n < 8; ++n) EXPECT_EQ(image.plane(i)[n], 0) << n;
        }
    }

    // Clipped at the left edge only, on the second row of the frame.
    frame_image image(4, 2);
    frame_view view = image.view();
    blend_coverage(&src[0][0], 3, 2, sizeof src[0], view, -2, 1, 0x00FFFFFF);
    EXPECT_EQ(image.plane(2)[4], (30 * 255) >> 8);
    for (const int n : {0, 1, 2, 3, 5, 6, 7}) EXPECT_EQ(image.plane(2)[n], 0) << n;
}

TEST(blend_coverage, packed_path_matches_the_reference) {
    std::mt19937 rng(12345);
    std::vector<uint8_t> src(text_bitmap_stride * 40);
    for (auto& b : src) b = static_cast<uint8_t>(rng());
    frame_image a(203, 57), b(203, 57);
    for (int i = 0; i < 3; ++i)
        for (size_t n = 0; n < 203 * 57; ++n) a.plane(i)[n] = b.plane(i)[n] = static_cast<uint8_t>(rng());
    frame_view va = a.view(), vb = b.view();
    for (int round = 0; round < 400; ++round) {
        const int32_t w = static_cast<int32_t>(rng() % 260);
        const int32_t h = static_cast<int32_t>(rng() % 40);
        const int32_t x = static_cast<int32_t>(rng() % 320) - 60;
        const int32_t y = static_cast<int32_t>(rng() % 100) - 30;
        const colour c = static_cast<colour>(rng());
        blend_coverage(src.data(), w, h, text_bitmap_stride, va, x, y, c);
        reference::blend_coverage(src.data(), w, h, text_bitmap_stride, vb, x, y, c);
    }
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(std::equal(a.plane(i), a.plane(i) + 203 * 57, b.plane(i))) << i;
}

TEST(widen_bytes, takes_each_byte_as_a_signed_character) {
    EXPECT_EQ(widen_bytes("Ab/"), u"Ab/");
    EXPECT_EQ(widen_bytes("\xE9\x7F"), (std::u16string{char16_t(0xFFE9), u'\x7F'}));
}

}  // namespace
}  // namespace tamber
