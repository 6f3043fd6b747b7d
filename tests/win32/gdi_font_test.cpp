#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

#include "draw/text.h"
#include "platform/win32/gdi_font.h"

namespace tamber {
namespace {

using win32::gdi_font_engine;

class gdi_font : public ::testing::Test {
protected:
    gdi_font_engine engine;
    font large{engine, large_font_desc()};
    font small{engine, small_font_desc()};
    render_bitmap bitmap{engine};

    text_extent extent(const font& f, std::u16string_view run) {
        return engine.open(*f.get(), *bitmap.get())->measure(run);
    }
    // The metrics GDI reports for a font, read through a device context of
    // our own.
    TEXTMETRICW metrics(const font& f) {
        TEXTMETRICW tm{};
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(gdi_font_engine::handle(f)));
        GetTextMetricsW(dc, &tm);
        SelectObject(dc, old);
        DeleteDC(dc);
        return tm;
    }
};

TEST_F(gdi_font, makes_the_fonts_and_a_top_down_24_bit_bitmap) {
    ASSERT_NE(gdi_font_engine::handle(large), nullptr);
    ASSERT_NE(gdi_font_engine::handle(small), nullptr);
    ASSERT_NE(bitmap.pixels(), nullptr);
    LOGFONTA lf{};
    ASSERT_NE(GetObjectA(static_cast<HFONT>(gdi_font_engine::handle(large)), sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, -20);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfQuality, ANTIALIASED_QUALITY);
    EXPECT_EQ(lf.lfPitchAndFamily, 0x20);
    EXPECT_STREQ(lf.lfFaceName, "Arial");

    // Arial itself, or under Wine the metric-compatible Liberation Sans.
    wchar_t face[LF_FACESIZE] = {};
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(gdi_font_engine::handle(large)));
    GetTextFaceW(dc, LF_FACESIZE, face);
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_TRUE(std::wstring(face) == L"Arial" || std::wstring(face) == L"Liberation Sans") << face;

    const TEXTMETRICW tm = metrics(large);
    // A metric-compatible Arial: 20 pixels of em in a cell of about 23.
    EXPECT_GE(tm.tmHeight, 22);
    EXPECT_LE(tm.tmHeight, 24);
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 20);
    EXPECT_GE(tm.tmWeight, 700);
}

TEST_F(gdi_font, measures_runs_and_reports_the_descent) {
    const TEXTMETRICW tm = metrics(large);
    const text_extent space = extent(large, u" ");
    EXPECT_EQ(space.height, tm.tmHeight);
    EXPECT_GT(space.width, 0);
    const text_extent word = extent(large, u"Quillon");
    EXPECT_GT(word.width, 40);
    font regular(engine, {-20, 400, false, false, 0x20, "Arial"});
    EXPECT_GT(word.width, extent(regular, u"Quillon").width);
    int32_t d = 0;
    EXPECT_TRUE(engine.open(*large.get(), *bitmap.get())->descent(d));
    EXPECT_EQ(d, tm.tmDescent);
}

TEST_F(gdi_font, renders_white_on_black_inside_the_clip_rectangle) {
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
            lit += p[0] >= 250;
            antialiased = antialiased || (p[0] > 0 && p[0] < 250);
        }
    EXPECT_TRUE(grey);
    EXPECT_GT(lit, 40);
    EXPECT_TRUE(antialiased);
    EXPECT_EQ(px[0], 0);
    EXPECT_EQ(px[3 * e.width], 0x55);
    EXPECT_EQ(px[e.height * text_bitmap_stride], 0x55);
}

TEST_F(gdi_font, progress_line_lands_centred_on_its_point) {
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
    EXPECT_GE(top, 288);
    EXPECT_LE(bottom, 312);
}

}  // namespace
}  // namespace tamber
