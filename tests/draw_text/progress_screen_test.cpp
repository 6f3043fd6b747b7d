#include <gtest/gtest.h>

#include <algorithm>

#include "draw/progress_screen.h"
#include "draw/text.h"
#include "fake_font_engine.h"

namespace tamber {
namespace {

using testing::fake_font_engine;

class progress_screen : public ::testing::Test {
protected:
    fake_font_engine engine;
    font large{engine, large_font_desc()};
    font small{engine, small_font_desc()};
    render_bitmap bitmap{engine};
    text_resources text{large, small, bitmap};
    frame_image image{800, 600};
    frame_view view = image.view();

    // The bootstrap background, then the screen.
    void draw(const progress_status& status, std::u16string_view message = u"Downloading Quillon...") {
        draw_rect(view, {0, 0, 800, 600}, 0xFF000025, 0xFF000025);
        draw_progress_screen(status, view, 400, 300, message, text);
    }
    uint8_t plane(int i, int32_t x, int32_t y) const { return image.plane(i)[y * 800 + x]; }
    bool is_highlight(int32_t x, int32_t y) const {
        return plane(2, x, y) == 0xFE && plane(1, x, y) == 0xD8 && plane(0, x, y) == 0x90;
    }
    bool is_shade(int32_t x, int32_t y) const {
        return plane(2, x, y) == 0x65 && plane(1, x, y) == 0x40 && plane(0, x, y) == 0x2B;
    }
    // Which of the five bars is lit, checked over every pixel of each bar.
    int lit_bar() const {
        int lit = -1;
        for (int i = 0; i < 5; ++i) {
            bool all_lit = true, all_shade = true;
            for (int32_t y = 291 + 4 * i; y < 293 + 4 * i; ++y)
                for (int32_t x = 180; x < 196; ++x) {
                    all_lit = all_lit && is_highlight(x, y);
                    all_shade = all_shade && is_shade(x, y);
                }
            EXPECT_TRUE(all_lit || all_shade) << "bar " << i;
            if (all_lit) lit = lit == -1 ? i : -2;
        }
        return lit;
    }
};

TEST_F(progress_screen, panel_darkens_the_background_inside_its_border) {
    draw({});
    // Red 0x25 under 0xC0000000: (37 * 63) >> 8 = 9.
    for (auto [x, y] : {std::pair{161, 253}, {638, 346}, {300, 340}, {600, 260}}) {
        EXPECT_EQ(plane(2, x, y), 9) << x << "," << y;
        EXPECT_EQ(plane(1, x, y), 0);
        EXPECT_EQ(plane(0, x, y), 0);
    }
    for (auto [x, y] : {std::pair{160, 252}, {639, 252}, {160, 347}, {639, 347}, {400, 252}, {160, 300}, {639, 300}})
        EXPECT_TRUE(is_highlight(x, y)) << x << "," << y;
    EXPECT_EQ(plane(2, 159, 300), 0x25);  // outside the panel
    EXPECT_EQ(plane(2, 400, 348), 0x25);
    // The bars sit 2 pixels apart: the gaps show the panel.
    EXPECT_EQ(plane(2, 188, 293), 9);
}

TEST_F(progress_screen, each_bar_is_exactly_16_by_2_pixels) {
    draw({});
    // Bars at columns 180-195, rows 291-292, 295-296, ... 307-308; the panel
    // everywhere around and between them.
    for (int32_t y = 288; y < 313; ++y)
        for (int32_t x = 177; x < 199; ++x) {
            const bool bar = x >= 180 && x < 196 && y >= 291 && y < 309 && (y - 291) % 4 < 2;
            const bool panel = plane(2, x, y) == 9 && plane(1, x, y) == 0 && plane(0, x, y) == 0;
            if (bar)
                EXPECT_TRUE(is_highlight(x, y) || is_shade(x, y)) << x << "," << y;
            else
                EXPECT_TRUE(panel) << x << "," << y;
        }
}

TEST_F(progress_screen, the_lit_bar_follows_the_step_count) {
    const std::pair<uint32_t, int> cases[] = {{0, 0}, {5, 4}, {7, 2}, {4, 4}, {9, 0}, {13, 3}, {0xFFFFFFFFu, 4}};
    for (auto [steps, bar] : cases) {
        progress_status status;
        status.state = downloading;
        status.step_count = steps;
        draw(status);
        EXPECT_EQ(lit_bar(), bar) << steps;
    }
}

TEST_F(progress_screen, status_line_gets_the_percentage_while_checking_or_downloading) {
    progress_status status;
    status.state = downloading;
    status.done_bytes = 1;
    status.total_bytes = 3;
    draw(status);
    ASSERT_EQ(engine.runs.size(), 1u);
    EXPECT_EQ(engine.runs[0].text, u"Downloading Quillon... 33%");
    EXPECT_EQ(engine.runs[0].font_height, -20);

    // Counters are unsigned; a file larger than listed goes past 100.
    status.state = checking;
    status.done_bytes = 0xFFFFFFFFu;
    status.total_bytes = 0x80000000u;
    EXPECT_EQ(progress_status_line(status, u"x"), u"x 200%");
    status.done_bytes = 1;
    status.total_bytes = 8;  // 12.5: halves round away from zero
    EXPECT_EQ(progress_status_line(status, u"x"), u"x 13%");

    status.total_bytes = 0;
    EXPECT_EQ(progress_status_line(status, u"x"), u"x");
    for (uint32_t state : {0u, 1u, 2u, 5u, 6u, 10u}) {
        status.state = state;
        status.total_bytes = 3;
        EXPECT_EQ(progress_status_line(status, u"x"), u"x") << state;
    }
}

TEST_F(progress_screen, status_line_is_centred_on_the_point_right_of_the_centre) {
    draw({}, u"Loading");
    // 7 units: block 56 x 16 centred on (408, 300) at (380, 292).
    int32_t left = 800, right = 0, top = 600, bottom = 0;
    for (int32_t y = 253; y < 347; ++y)
        for (int32_t x = 200; x < 639; ++x)
            if (plane(0, x, y) != 0) {
                left = std::min(left, x), right = std::max(right, x + 1);
                top = std::min(top, y), bottom = std::max(bottom, y + 1);
            }
    EXPECT_EQ(left, 381);
    EXPECT_EQ(right, 435);
    EXPECT_EQ(top, 294);
    EXPECT_EQ(bottom, 304);
    EXPECT_EQ(plane(2, 381, 294), (255 * 0xFE) >> 8);
}

TEST_F(progress_screen, an_empty_message_draws_only_panel_and_bars) {
    progress_status status;
    status.state = failed_transfer;
    status.total_bytes = 3;
    status.current_name = "a/b.dat";
    draw(status, u"");
    EXPECT_TRUE(engine.runs.empty());
    EXPECT_TRUE(is_highlight(160, 252));
}

TEST_F(progress_screen, file_line_names_the_root_or_the_current_file_after_a_failure) {
    progress_status status;
    status.root_name = "tblobby.dll";
    status.current_name = "a/b.dat";
    for (uint32_t state = 0; state <= 12; ++state) {
        engine.runs.clear();
        status.state = state;
        draw(status, u"Error downloading Quillon");
        const char16_t* expected = state == 6 || state == 7 ? u"File: tblobby.dll"
                                   : state >= 8 && state <= 11 ? u"File: a/b.dat"
                                                               : nullptr;
        ASSERT_EQ(engine.runs.size(), expected ? 2u : 1u) << state;
        if (expected) {
            EXPECT_EQ(engine.runs[1].text, expected) << state;
            EXPECT_EQ(engine.runs[1].font_height, -13);
        }
    }
    // The file line, 13 units, is centred on (408, 330) in the shade colour.
    status.state = failed_write;
    draw(status, u"Error downloading Quillon");
    EXPECT_EQ(plane(2, 408 - 52 + 1, 330 - 8 + 2), (255 * 0x65) >> 8);

    engine.runs.clear();
    status.current_name.clear();
    draw(status, u"Error downloading Quillon");
    EXPECT_EQ(engine.runs.size(), 1u);
}

TEST_F(progress_screen, names_are_widened_byte_by_byte) {
    progress_status status;
    status.state = failed_open;
    status.current_name = "d\xE9j\xE0.dat";
    draw(status, u"x");
    ASSERT_EQ(engine.runs.size(), 2u);
    EXPECT_EQ(engine.runs[1].text, (std::u16string{u'F', u'i', u'l', u'e', u':', u' ', u'd', char16_t(0xFFE9), u'j',
                                                   char16_t(0xFFE0), u'.', u'd', u'a', u't'}));
}

}  // namespace
}  // namespace tamber
