// The lobby's frames: every pixel painted, nothing outside the frame
// touched, any frame size, and the visible reactions to the pointer.
#include <climits>

#include "lobby_test_support.h"

namespace lobby_test {
namespace {

using lobby_render = lobby_fixture;

// Renders into two frames pre-filled with different sentinels and returns
// the number of bytes inside width x height that differ between them, that
// is, bytes render left untouched. Padding bytes between width and pitch
// must keep their sentinel.
int untouched_bytes(int32_t width, int32_t height, int32_t pitch, int32_t x, int32_t y) {
    test_frame low(width, height, pitch, 0x00), high(width, height, pitch, 0xFF);
    applet_render(16, &low.view, x, y);
    applet_render(16, &high.view, x, y);
    int untouched = 0;
    for (int p = 0; p < 3; ++p) {
        for (int32_t row = 0; row < height; ++row) {
            for (int32_t col = 0; col < pitch; ++col) {
                const size_t i = size_t(row) * size_t(pitch) + size_t(col);
                if (col >= width) {
                    EXPECT_EQ(low.planes[p][i], 0x00) << "padding written at " << col << "," << row;
                    EXPECT_EQ(high.planes[p][i], 0xFF) << "padding written at " << col << "," << row;
                } else if (low.planes[p][i] != high.planes[p][i]) {
                    ++untouched;
                }
            }
        }
    }
    return untouched;
}

TEST_F(lobby_render, every_pixel_is_painted_in_every_state) {
    EXPECT_EQ(untouched_bytes(800, 600, 800, at::tile[1].x, at::tile[1].y), 0) << "idle, hovering a tile";
    applet_mouse_click(0, at::tile[0].x, at::tile[0].y, 0);
    for (const char *p = "Grace"; *p; ++p) applet_on_wm_char(uint32_t(uint8_t(*p)));
    bet(2);
    bet(4);
    EXPECT_EQ(untouched_bytes(800, 600, 800, at::spot.x, at::spot.y), 0) << "flash, message, stack";
    drag_operation *d = pick_up(3);
    ASSERT_NE(d, nullptr);
    d->vtbl->move(d, at::spot.x, at::spot.y);
    EXPECT_EQ(untouched_bytes(800, 600, 800, -1, -1), 0) << "chip in hand over the spot";
    escape(d);
}

TEST_F(lobby_render, other_frame_sizes_are_filled_and_clipped) {
    struct {
        int32_t width, height, pitch;
    } sizes[] = {
        {1, 1, 1}, {7, 3, 7}, {100, 37, 128}, {640, 480, 640}, {799, 601, 813}, {1024, 768, 1024}, {2000, 40, 2000},
    };
    drag_operation *d = pick_up(0);
    ASSERT_NE(d, nullptr);
    d->vtbl->move(d, 5, 5); // the chip in hand near the corner of every size
    for (const auto &s : sizes) {
        EXPECT_EQ(untouched_bytes(s.width, s.height, s.pitch, 3, 3), 0)
            << s.width << "x" << s.height << " pitch " << s.pitch;
    }
    escape(d);
}

TEST_F(lobby_render, a_larger_frame_shows_the_same_picture_in_its_corner) {
    // 800 x 600 comes from the pre-drawn felt, 1024 x 768 is shaded directly.
    bet(1);
    test_frame small(800, 600, 800, 0), large(1024, 768, 1024, 0);
    applet_render(16, &small.view, at::tile[0].x, at::tile[0].y);
    applet_render(16, &large.view, at::tile[0].x, at::tile[0].y);
    int differing = 0;
    for (int32_t y = 0; y < 600; ++y) {
        for (int32_t x = 0; x < 800; ++x) differing += same(small.at(x, y), large.at(x, y)) ? 0 : 1;
    }
    EXPECT_EQ(differing, 0);
}

TEST_F(lobby_render, unusable_frames_are_left_alone) {
    applet_render(16, nullptr, 0, 0);
    applet_render2(nullptr);
    struct {
        const char *what;
        int32_t width, height, pitch;
        int null_plane;
    } cases[] = {
        {"zero width", 0, 600, 800, -1},   {"negative height", 800, -600, 800, -1},
        {"pitch below width", 800, 600, 799, -1}, {"no green plane", 800, 600, 800, 1},
    };
    for (const auto &c : cases) {
        test_frame frame(800, 600, 800, 0x5A);
        frame.view.width = c.width;
        frame.view.height = c.height;
        frame.view.pitch = c.pitch;
        if (c.null_plane >= 0) frame.view.plane[c.null_plane] = nullptr;
        applet_render(16, &frame.view, 10, 10);
        bool untouched = true;
        for (const auto &plane : frame.planes) {
            for (uint8_t v : plane) untouched = untouched && v == 0x5A;
        }
        EXPECT_TRUE(untouched) << c.what;
    }
}

TEST_F(lobby_render, hover_and_click_are_visible) {
    const lobby::colour accent = lobby_state().look.accent;
    // The second tile's left edge, halfway down: border colour unless the
    // tile is hovered or selected (tile 0 is selected at start).
    auto edge_of_tile = [&](int32_t px, int32_t py) {
        test_frame frame(800, 600, 800, 0);
        applet_render(16, &frame.view, px, py);
        return frame.at(lobby::layout::tiles[1].left + 1, 200);
    };
    EXPECT_FALSE(same(edge_of_tile(at::felt.x, at::felt.y), accent));
    EXPECT_TRUE(same(edge_of_tile(at::tile[1].x, at::tile[1].y), accent));
    applet_key_down(lobby::vk_right);
    EXPECT_TRUE(same(edge_of_tile(at::felt.x, at::felt.y), accent)) << "selected by keyboard";

    // A click flashes the tile: its middle is brighter than before.
    test_frame before(800, 600, 800, 0), after(800, 600, 800, 0);
    applet_render(16, &before.view, -1, -1);
    applet_mouse_click(0, at::tile[2].x, at::tile[2].y, 0);
    applet_render(16, &after.view, -1, -1);
    const lobby::colour a = before.at(at::tile[2].x + 80, at::tile[2].y + 10);
    const lobby::colour b = after.at(at::tile[2].x + 80, at::tile[2].y + 10);
    EXPECT_GT(b.r + b.g + b.b, a.r + a.g + a.b + 150);
    // ...and the flash is gone once its time has passed.
    applet_update(lobby::flash_duration_ms);
    test_frame later(800, 600, 800, 0);
    applet_render(16, &later.view, -1, -1);
    EXPECT_TRUE(same(later.at(at::tile[2].x + 80, at::tile[2].y + 10), a));
}

TEST_F(lobby_render, chip_in_hand_follows_the_pointer) {
    test_frame without(800, 600, 800, 0);
    applet_render(16, &without.view, -1, -1);
    drag_operation *d = pick_up(4);
    ASSERT_NE(d, nullptr);
    d->vtbl->move(d, 120, 500);
    test_frame with(800, 600, 800, 0);
    applet_render(16, &with.view, -1, -1);
    // The purple chip's body lies between its inlay and its edge inserts.
    const lobby::colour body = with.at(120 + 25, 500 + 10);
    EXPECT_FALSE(same(body, without.at(120 + 25, 500 + 10)));
    EXPECT_GT(body.b, body.g);
    escape(d);
}

// The blend works sixteen bytes at a time with a byte-wise tail: every
// alpha, value and byte, at offsets and lengths that put bytes in both, must
// give the exact rounded quotient.
TEST(lobby_blend, every_byte_is_the_rounded_straight_alpha_mix) {
    std::vector<uint8_t> row(256 + 19);
    for (int alpha = 0; alpha < 256; ++alpha) {
        for (int value = 0; value < 256; value += 5) {
            for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 7 + size_t(alpha));
            lobby::blend_row(row.data() + 3, int32_t(row.size()) - 3, uint8_t(value), uint8_t(alpha));
            for (size_t i = 0; i < row.size(); ++i) {
                const int was = uint8_t(i * 7 + size_t(alpha));
                const int want = i < 3 ? was : ((was * (255 - alpha) + value * alpha) * 2 + 255) / 510;
                ASSERT_EQ(row[i], want) << "alpha " << alpha << " value " << value << " byte " << i;
            }
        }
    }
}

// Blits land where a pixel-by-pixel copy would put them, whatever the
// position: off any edge, far off, or at the ends of the coordinate range.
TEST(lobby_blit, clips_to_the_canvas_at_any_position) {
    static lobby::image picture;
    picture.width = 5;
    picture.height = 4;
    const lobby::colour key{255, 0, 255};
    for (int32_t i = 0; i < 20; ++i) {
        picture.pixels[i] = i % 7 == 3 ? key : lobby::colour{uint8_t(i), uint8_t(i + 40), uint8_t(i + 80)};
    }
    const int32_t width = 9, height = 6, pitch = 12;
    const int32_t positions[] = {INT32_MIN, -100, -4, -1, 0, 3, 7, 8, 9, 100, INT32_MAX};
    for (int32_t x : positions) {
        for (int32_t y : positions) {
            test_frame frame(width, height, pitch, 0x11);
            lobby::canvas c(&frame.view);
            c.blit(picture, lobby::rect{-1, 1, 6, 4}, x, y, key); // source clipped too
            for (int32_t row = 0; row < height; ++row) {
                for (int32_t col = 0; col < pitch; ++col) {
                    // Source pixel (sx, sy) of rows 1..3 lands at (x + sx + 1, y + sy - 1).
                    const int64_t sx = int64_t(col) - x - 1, sy = int64_t(row) - y + 1;
                    uint8_t want[3] = {0x11, 0x11, 0x11};
                    if (col < width && sx >= 0 && sx < 5 && sy >= 1 && sy < 4) {
                        const lobby::colour p = picture.pixels[sy * 5 + sx];
                        if (!(p.r == key.r && p.g == key.g && p.b == key.b)) {
                            want[0] = p.b;
                            want[1] = p.g;
                            want[2] = p.r;
                        }
                    }
                    for (int plane = 0; plane < 3; ++plane) {
                        ASSERT_EQ(frame.planes[plane][size_t(row) * pitch + size_t(col)], want[plane])
                            << "blit at " << x << "," << y << ": pixel " << col << "," << row;
                    }
                }
            }
        }
    }
}

TEST(lobby_isqrt, is_the_floor_of_the_root) {
    for (int64_t n = 0; n < (1 << 20); ++n) {
        const int64_t s = lobby::isqrt(n);
        ASSERT_TRUE(s * s <= n && (s + 1) * (s + 1) > n) << n;
    }
    for (int64_t k : {int64_t(1) << 26, int64_t(94906265), int64_t(2147483647)}) {
        EXPECT_EQ(lobby::isqrt(k * k - 1), k - 1);
        EXPECT_EQ(lobby::isqrt(k * k), k);
        EXPECT_EQ(lobby::isqrt(k * k + 1), k);
    }
}

} // namespace
} // namespace lobby_test
