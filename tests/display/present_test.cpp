// Presentation: converting the frame into the target surface and showing it
// by blit or flip, against the DirectDraw stand-in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "display/display_device.h"
#include "display/present.h"
#include "draw/frame_image.h"
#include "fake_directdraw.h"

namespace tamber {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::fake_display_system;
using testing::fake_surface;

constexpr display_mode shell_mode{800, 600, 32};

// The frame with planes (10, 20, 30) everywhere except pixel (x, y) = (5, 1),
// which is (7, 3, 7).
struct test_frame {
    frame_image image{800, 600};
    test_frame() {
        for (int p = 0; p < 3; ++p) std::memset(image.plane(p), 10 * (p + 1), 800 * 600);
        image.plane(0)[805] = 7;
        image.plane(1)[805] = 3;
        image.plane(2)[805] = 7;
    }
    frame_view view() { return image.view(); }
};

const uint8_t* pixel(const fake_surface& s, uint32_t x, uint32_t y) {
    return s.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(s.pitch) + x * (s.format.rgb_bit_count / 8);
}

struct present_test : ::testing::Test {
    fake_display_system system;
    display_device device{system, system};
    test_frame frame;

    void open(bool fullscreen) {
        ASSERT_EQ(fullscreen ? device.open_fullscreen(system.main, shell_mode)
                             : device.open_windowed(system.main, shell_mode),
                  0);
        system.log.clear();
    }
};

TEST_F(present_test, windowed_frames_are_converted_and_blitted_into_the_client_area) {
    open(false);
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), 0);
    EXPECT_THAT(system.log, ElementsAre("IsLost primary#1", "IsLost offscreen#2", "Lock offscreen#2 0x1",
                                        "Unlock offscreen#2",
                                        "Blt primary#1 112,84,912,684 from offscreen#2 flags 0x1000A00 fx 0x8"));
    const fake_surface& target = *system.surface_named("offscreen");
    EXPECT_THAT(std::vector<uint8_t>(pixel(target, 0, 0), pixel(target, 0, 0) + 8),
                ElementsAre(10, 20, 30, 0, 10, 20, 30, 0));
    EXPECT_THAT(std::vector<uint8_t>(pixel(target, 5, 1), pixel(target, 5, 1) + 4), ElementsAre(7, 3, 7, 0));
    EXPECT_THAT(std::vector<uint8_t>(pixel(target, 799, 599), pixel(target, 799, 599) + 4), ElementsAre(10, 20, 30, 0));
    // The padding past each row is left alone.
    EXPECT_EQ(pixel(target, 800, 0)[0], 0xEE);

    system.log.clear();
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::blit), 0);
    EXPECT_THAT(system.lines("Blt"), ElementsAre("Blt primary#1 112,84,912,684 from offscreen#2 flags 0x1000200 fx 0x8"));
    system.log.clear();
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::blit_no_tearing), 0);
    EXPECT_THAT(system.lines("Blt"), ElementsAre("Blt primary#1 112,84,912,684 from offscreen#2 flags 0x1000A00 fx 0x8"));
    // Any other mode converts and shows nothing.
    system.log.clear();
    EXPECT_EQ(device.present_frame(frame.view(), static_cast<present_mode>(7)), 0);
    EXPECT_THAT(system.lines("Lock"), ::testing::SizeIs(1));
    EXPECT_THAT(system.lines("Blt"), IsEmpty());
}

TEST_F(present_test, the_whole_frame_is_blitted_into_a_client_area_of_any_size) {
    // A window the user has resized, or one shrunk to fit the work area:
    // the whole frame is scaled into its client area, wherever it lies.
    open(false);
    const rect areas[] = {{50, 60, 450, 360}, {-20, 10, 1260, 1034}, {0, 0, 801, 599}};
    for (const rect& area : areas) {
        system.windows[system.main].client_on_screen = area;
        system.log.clear();
        EXPECT_EQ(device.present_frame(frame.view(), present_mode::blit), 0);
        EXPECT_THAT(system.lines("Blt"), ElementsAre("Blt primary#1 " + std::to_string(area.left) + "," +
                                                     std::to_string(area.top) + "," + std::to_string(area.right) +
                                                     "," + std::to_string(area.bottom) +
                                                     " from offscreen#2 flags 0x1000200 fx 0x8"));
    }
    // The off-screen surface stays the frame's size: 800 x 600.
    const fake_surface& target = *system.surface_named("offscreen");
    EXPECT_THAT(std::vector<uint8_t>(pixel(target, 799, 599), pixel(target, 799, 599) + 4), ElementsAre(10, 20, 30, 0));
}

TEST_F(present_test, fullscreen_frames_go_into_the_back_buffer_and_are_flipped) {
    open(true);
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), 0);
    EXPECT_THAT(system.log, ElementsAre("IsLost primary#1", "Lock backbuffer#2 0x1", "Unlock backbuffer#2",
                                        "Flip primary#1 0x1"));
    const fake_surface& target = *system.surface_named("backbuffer");
    EXPECT_THAT(std::vector<uint8_t>(pixel(target, 0, 0), pixel(target, 0, 0) + 4), ElementsAre(10, 20, 30, 0));

    system.log.clear();
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::blit), 0);
    EXPECT_THAT(system.lines("Blt"), ElementsAre("Blt primary#1 whole from backbuffer#2 flags 0x1000200 fx 0x8"));
}

TEST_F(present_test, a_closed_device_presents_nothing) {
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), err_display_not_open);
    EXPECT_EQ(device.blit_to_screen(blit_mode::plain), err_no_primary_surface);
    EXPECT_THAT(system.log, IsEmpty());
}

TEST_F(present_test, a_minimised_window_is_converted_into_but_not_drawn) {
    open(false);
    system.windows[system.main].iconic = true;
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), 1);
    EXPECT_THAT(system.lines("Lock"), ::testing::SizeIs(1));
    EXPECT_THAT(system.lines("Blt"), IsEmpty());
    EXPECT_EQ(device.blit_to_screen(blit_mode::plain), 1);
    // A window that is gone gets nothing either.
    system.windows.clear();
    EXPECT_EQ(device.blit_to_screen(blit_mode::plain), 1400);
    EXPECT_THAT(system.lines("Blt"), IsEmpty());
}

TEST_F(present_test, a_failed_repair_drops_the_frame) {
    open(false);
    for (auto* s : system.surfaces) {
        s->lost = true;
        s->restorable = false;
    }
    system.fail["CreateSurface flags 0x1 caps 0x200"] = ddraw::err_generic;
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), ddraw::err_generic);
    EXPECT_THAT(system.lines("Lock"), IsEmpty());
    // Showing the last frame again has nothing to show.
    EXPECT_EQ(device.blit_to_screen(blit_mode::plain), err_no_primary_surface);
}

TEST_F(present_test, an_8_bit_desktop_fails_every_frame_without_touching_the_surface) {
    system.desktop = {ddraw::pf_paletteindexed8 | ddraw::pf_rgb, 8, 0, 0, 0, 0};
    open(false);
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), ddraw::err_invalidpixelformat);
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), ddraw::err_invalidpixelformat);
    EXPECT_THAT(system.lines("Lock"), IsEmpty());
    EXPECT_THAT(system.lines("Blt"), IsEmpty());
}

// convert_frame on its own, on surfaces of any size.
struct convert_frame_test : ::testing::Test {
    fake_display_system system;
    test_frame frame;
    static constexpr ddraw::pixel_format bgrx{ddraw::pf_rgb, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
};

TEST_F(convert_frame_test, a_surface_larger_than_the_frame_is_refused_and_unlocked) {
    fake_surface wide(system, "wide", 804, 600, bgrx);
    EXPECT_EQ(convert_frame(frame.view(), wide, bgrx), ddraw::err_invalidarg);
    EXPECT_FALSE(wide.locked);
    EXPECT_EQ(wide.pixels[0], 0xEE);
    fake_surface tall(system, "tall", 800, 601, bgrx);
    EXPECT_EQ(convert_frame(frame.view(), tall, bgrx), ddraw::err_invalidarg);
    EXPECT_EQ(tall.pixels[0], 0xEE);
}

TEST_F(convert_frame_test, a_smaller_surface_gets_the_top_left_of_the_frame) {
    fake_surface small(system, "small", 8, 2, bgrx);
    EXPECT_EQ(convert_frame(frame.view(), small, bgrx), 0);
    EXPECT_THAT(std::vector<uint8_t>(pixel(small, 5, 1), pixel(small, 5, 1) + 4), ElementsAre(7, 3, 7, 0));
    EXPECT_EQ(pixel(small, 8, 0)[0], 0xEE);
}

TEST_F(convert_frame_test, a_lock_failure_is_returned_without_unlocking) {
    fake_surface s(system, "s", 800, 600, bgrx);
    system.fail["Lock s 0x1"] = ddraw::err_surfacelost;
    EXPECT_EQ(convert_frame(frame.view(), s, bgrx), ddraw::err_surfacelost);
    EXPECT_THAT(system.lines("Unlock"), IsEmpty());
}

}  // namespace
}  // namespace tamber
