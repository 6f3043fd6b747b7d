// The display device against the DirectDraw stand-in: opening in both modes,
// closing, the shell's switches over it with their fallbacks, surface repair
// and the device check.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "applet/applet.h"
#include "display/display_device.h"
#include "draw/frame_image.h"
#include "fake_directdraw.h"
#include "shell/input_fakes.h"
#include "shell/shell.h"
#include "support/fake_library.h"

namespace tamber {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::fake_display_system;

constexpr display_mode shell_mode{800, 600, 32};

// The shell's ways of telling the user, written to the DirectDraw world's
// log so that tests see them in order with the device's calls.
class world_windows final : public window_system {
public:
    explicit world_windows(fake_display_system& world) : world_(world) {}
    uint32_t time_ms() override { return 0; }
    bool message_waiting() override { return false; }
    bool handle_message(window_handle, int&) override { return false; }
    void sleep_ms(uint32_t) override {}
    point cursor_position(window_handle) override { return {0, 0}; }
    bool is_foreground(window_handle) override { return true; }
    int32_t display_mode_dialog(window_handle) override { return dialog_retry; }
    void post_close(window_handle window) override {
        world_.log.push_back(window == world_.main ? "PostMessage WM_CLOSE main" : "PostMessage WM_CLOSE other");
    }
    void play_sound_alias(const char16_t* alias, uint32_t flags) override {
        std::string name;
        for (; *alias; ++alias) name += static_cast<char>(*alias);
        world_.log.push_back("PlaySound " + name + " " + testing::hex(flags));
    }
    void show_message(window_handle, uint32_t string_id, uint32_t flags) override {
        world_.log.push_back("MessageBox " + std::to_string(string_id) + " " + testing::hex(flags));
    }

private:
    fake_display_system& world_;
};

struct display_device_test : ::testing::Test {
    fake_display_system system;
    display_device device{system, system};
    menu_handle menu = reinterpret_cast<menu_handle>(0x77);

    // The shell whose switches drive the device, with an 800 x 600 frame.
    testing::call_log applet_calls;
    testing::recording_applet bootstrap{applet_calls};
    test::fake_library_loader loader{};
    applet library{loader};
    frame_image frame{800, 600};
    world_windows windows{system};
    shell host{frame, bootstrap, library, windows, device};

    void SetUp() override { system.windows[system.main].menu = menu; }
    // Starts from a windowed device, with a clean log.
    void open_windowed() {
        ASSERT_TRUE(host.open_display(system.main));
        system.log.clear();
    }
};

TEST_F(display_device_test, opens_windowed_in_the_desktop_format) {
    EXPECT_EQ(device.open_windowed(system.main, shell_mode), 0);
    EXPECT_THAT(system.log,
                ElementsAre("size_window_for_client 800x600", "DirectDrawCreateEx", "SetCooperativeLevel 0x8 main",
                            "DirectDrawCreateClipper 0x0", "SetHWnd 0x0 main", "CreateSurface flags 0x1 caps 0x200",
                            "SetClipper primary#1", "CreateSurface flags 0x7 caps 0x40 800x600",
                            "GetSurfaceDesc offscreen#2"));
    EXPECT_TRUE(device.is_open());
    EXPECT_FALSE(device.is_fullscreen());
    EXPECT_EQ(device.window(), system.main);
    EXPECT_EQ(device.mode().width, 800u);
    EXPECT_EQ(device.mode().bits_per_pixel, 32u);
    EXPECT_EQ(device.target_description().format.rgb_bit_count, 32u);
    EXPECT_EQ(device.target_description().width, 800u);
}

TEST_F(display_device_test, opens_fullscreen_with_a_flip_chain_and_a_popup_window) {
    EXPECT_EQ(device.open_fullscreen(system.main, shell_mode), 0);
    EXPECT_THAT(system.log,
                ElementsAre("SetWindowLong style 0x92080000", "SetWindowLong exstyle 0x0", "SetMenu none",
                            "DirectDrawCreateEx", "SetCooperativeLevel 0x13 main", "SetDisplayMode 800x600x32 0 0x0",
                            "DirectDrawCreateClipper 0x0", "SetHWnd 0x0 main",
                            "CreateSurface flags 0x21 caps 0x218 backbuffers 1", "SetClipper primary#1",
                            "GetAttachedSurface primary#1 0x4", "GetSurfaceDesc backbuffer#2"));
    EXPECT_TRUE(device.is_open());
    EXPECT_TRUE(device.is_fullscreen());
    EXPECT_EQ(device.target_description().format.rgb_bit_count, 32u);
    EXPECT_EQ(system.windows[system.main].style, 0x92080000u);
}

TEST_F(display_device_test, toggling_twice_returns_to_windowed_with_a_fresh_directdraw_object) {
    open_windowed();
    host.toggle_display_mode();
    EXPECT_TRUE(device.is_fullscreen());
    EXPECT_TRUE(device.is_open());
    host.toggle_display_mode();
    EXPECT_FALSE(device.is_fullscreen());
    EXPECT_TRUE(device.is_open());

    EXPECT_EQ(system.directdraw_created, 3);
    // Leaving fullscreen: the window gets its styles and menu back, the
    // desktop its mode, and the window its size and centred place.
    const auto& w = system.windows[system.main];
    EXPECT_EQ(w.style, 0x92CA0000u);
    EXPECT_EQ(w.ex_style, 0x00040300u);
    EXPECT_EQ(w.menu, menu);
    EXPECT_THAT(system.lines("FlipToGDISurface"), ::testing::SizeIs(1));
    EXPECT_THAT(system.lines("RestoreDisplayMode"), ::testing::SizeIs(1));
    EXPECT_THAT(system.lines("size_window_for_client"), ::testing::SizeIs(1));
    EXPECT_THAT(system.lines("PlaySound"), IsEmpty());
    EXPECT_THAT(system.lines("MessageBox"), IsEmpty());
    // Nothing of the earlier opens is still held: one DirectDraw object,
    // one clipper, the primary and the off-screen surface.
    EXPECT_EQ(system.live_objects, 4);
}

TEST_F(display_device_test, refused_fullscreen_plays_one_sound_and_stays_windowed_without_a_message) {
    open_windowed();
    system.fail["SetDisplayMode 800x600x32 0 0x0"] = ddraw::err_invalidmode;
    EXPECT_TRUE(host.switch_to_fullscreen());
    EXPECT_THAT(system.lines("PlaySound"), ElementsAre("PlaySound SystemDefault 0x10011"));
    EXPECT_THAT(system.lines("MessageBox"), IsEmpty());
    EXPECT_THAT(system.lines("PostMessage"), IsEmpty());
    EXPECT_TRUE(device.is_open());
    EXPECT_FALSE(device.is_fullscreen());
    EXPECT_EQ(system.windows[system.main].style, 0x92CA0000u);
    EXPECT_EQ(system.windows[system.main].menu, menu);
    EXPECT_EQ(system.live_objects, 4);
}

TEST_F(display_device_test, when_not_even_windowed_mode_opens_string_6_is_shown_and_the_window_closed) {
    open_windowed();
    system.fail["CreateSurface flags 0x21 caps 0x218 backbuffers 1"] = ddraw::err_generic;
    system.fail["CreateSurface flags 0x1 caps 0x200"] = ddraw::err_generic;
    EXPECT_FALSE(host.switch_to_fullscreen());
    EXPECT_THAT(system.lines("PlaySound"), ::testing::SizeIs(1));
    EXPECT_THAT(system.lines("MessageBox"), ElementsAre("MessageBox 6 0x0"));
    EXPECT_THAT(system.lines("PostMessage"), ElementsAre("PostMessage WM_CLOSE main"));
    EXPECT_FALSE(device.is_open());
    EXPECT_EQ(system.live_objects, 0);

    // At start-up: the same message, no sound.
    system.log.clear();
    EXPECT_FALSE(host.open_display(system.main));
    EXPECT_THAT(system.lines("PlaySound"), IsEmpty());
    EXPECT_THAT(system.lines("MessageBox"), ElementsAre("MessageBox 6 0x0"));
    EXPECT_THAT(system.lines("PostMessage"), ElementsAre("PostMessage WM_CLOSE main"));
}

// The device answers a failed open with its result code and nothing else:
// the message, the sound and the close are the shell's (above).
TEST_F(display_device_test, a_failed_open_answers_its_code_and_tells_the_user_nothing) {
    open_windowed();
    system.fail["CreateSurface flags 0x21 caps 0x218 backbuffers 1"] = ddraw::err_generic;
    system.fail["CreateSurface flags 0x1 caps 0x200"] = ddraw::err_generic;
    EXPECT_EQ(device.open_fullscreen(system.main, shell_mode), ddraw::err_generic);
    EXPECT_EQ(device.open_windowed(system.main, shell_mode), ddraw::err_generic);
    EXPECT_EQ(device.open_windowed(reinterpret_cast<window_handle>(0x999), shell_mode), 1400);
    EXPECT_FALSE(device.is_open());
    EXPECT_THAT(system.lines("PlaySound"), IsEmpty());
    EXPECT_THAT(system.lines("MessageBox"), IsEmpty());
    EXPECT_THAT(system.lines("PostMessage"), IsEmpty());
}

// Every step of an open can fail: the open answers that step's result and
// leaves the device closed with nothing held and the window as it was.
TEST_F(display_device_test, a_failure_at_any_step_leaves_the_device_closed) {
    const std::pair<bool, std::string> steps[] = {
        {false, "DirectDrawCreateEx"},
        {false, "SetCooperativeLevel 0x8 main"},
        {false, "DirectDrawCreateClipper 0x0"},
        {false, "SetHWnd 0x0 main"},
        {false, "CreateSurface flags 0x1 caps 0x200"},
        {false, "CreateSurface flags 0x7 caps 0x40 800x600"},
        {false, "GetSurfaceDesc offscreen#2"},
        {true, "DirectDrawCreateEx"},
        {true, "SetCooperativeLevel 0x13 main"},
        {true, "SetDisplayMode 800x600x32 0 0x0"},
        {true, "DirectDrawCreateClipper 0x0"},
        {true, "CreateSurface flags 0x21 caps 0x218 backbuffers 1"},
        {true, "GetAttachedSurface primary#1 0x4"},
        {true, "GetSurfaceDesc backbuffer#2"},
    };
    const hresult failure = static_cast<hresult>(0x88760001);
    for (const auto& [fullscreen, step] : steps) {
        SCOPED_TRACE(step);
        fake_display_system s;
        s.windows[s.main].menu = menu;
        s.fail[step] = failure;
        {
            display_device d(s, s);
            EXPECT_EQ(fullscreen ? d.open_fullscreen(s.main, shell_mode) : d.open_windowed(s.main, shell_mode),
                      failure);
            EXPECT_FALSE(d.is_open());
            EXPECT_FALSE(d.is_fullscreen());
            EXPECT_EQ(d.mode().width, 0u);
            EXPECT_EQ(d.target_description().format.rgb_bit_count, 0u);
            EXPECT_EQ(d.window(), s.main);
            EXPECT_EQ(s.live_objects, 0);
            EXPECT_EQ(s.windows[s.main].style, 0x92CA0000u);
            EXPECT_EQ(s.windows[s.main].ex_style, 0x00040300u);
            EXPECT_EQ(s.windows[s.main].menu, menu);
        }
    }
}

TEST_F(display_device_test, close_releases_in_order_and_a_second_close_does_nothing) {
    // (Destroying the device closes it the same way.)
    ASSERT_EQ(device.open_fullscreen(system.main, shell_mode), 0);
    system.log.clear();
    device.close();
    EXPECT_THAT(system.log,
                ElementsAre("SetWindowLong style 0x92CA0000", "SetWindowLong exstyle 0x40300", "SetMenu menu",
                            "FlipToGDISurface", "RestoreDisplayMode", "SetCooperativeLevel 0x8 main",
                            "Release backbuffer#2", "Release primary#1", "Release clipper", "Release directdraw#1"));
    EXPECT_FALSE(device.is_open());
    EXPECT_FALSE(device.is_fullscreen());
    EXPECT_EQ(device.window(), system.main);  // kept across close
    EXPECT_EQ(system.live_objects, 0);

    system.log.clear();
    device.close();
    EXPECT_THAT(system.log, IsEmpty());
}

TEST_F(display_device_test, an_invalid_window_answers_1400_and_changes_nothing) {
    open_windowed();
    const window_handle gone = reinterpret_cast<window_handle>(0x999);
    EXPECT_EQ(device.open_fullscreen(gone, shell_mode), 1400);
    EXPECT_EQ(device.open_windowed(nullptr, shell_mode), 1400);
    EXPECT_THAT(system.log, IsEmpty());
    EXPECT_TRUE(device.is_open());
    EXPECT_FALSE(device.is_fullscreen());
    EXPECT_EQ(device.window(), system.main);
    EXPECT_EQ(system.live_objects, 4);
}

// 1400 is not negative, yet nothing was opened: the switches treat it as
// the failure it is.
TEST_F(display_device_test, a_switch_on_a_window_that_is_gone_fails) {
    system.main = reinterpret_cast<window_handle>(0x999);
    EXPECT_FALSE(host.open_display(system.main));
    EXPECT_THAT(system.lines("MessageBox"), ElementsAre("MessageBox 6 0x0"));
}

TEST_F(display_device_test, check_device_reports_a_changed_display_mode_as_success) {
    open_windowed();
    system.cooperative_level = ddraw::err_wrongmode;
    EXPECT_EQ(device.check_device(), display_mode_changed);
    EXPECT_GE(device.check_device(), 0);
    system.cooperative_level = ddraw::err_exclusivemodealreadyset;
    EXPECT_EQ(device.check_device(), ddraw::err_exclusivemodealreadyset);
    system.cooperative_level = 0;
    EXPECT_EQ(device.check_device(), 0);
    device.close();
    EXPECT_LT(device.check_device(), 0);
}

TEST_F(display_device_test, desktop_depth_is_supported_at_16_24_and_32_bits) {
    for (int32_t depth : {1, 4, 8, 15, 16, 24, 32, 64}) {
        system.desktop_depth = depth;
        EXPECT_EQ(device.desktop_depth_supported(), depth == 16 || depth == 24 || depth == 32) << depth;
    }
}

TEST_F(display_device_test, lost_windowed_surfaces_are_restored_in_place) {
    open_windowed();
    system.surface_named("primary")->lost = true;
    system.surface_named("offscreen")->lost = true;
    EXPECT_EQ(device.restore_surfaces(), 0);
    EXPECT_THAT(system.log, ElementsAre("IsLost primary#1", "Restore primary#1", "IsLost offscreen#2",
                                        "Restore offscreen#2"));
    EXPECT_EQ(system.live_objects, 4);

    // An off-screen surface that cannot come back is made anew.
    system.log.clear();
    system.surface_named("offscreen")->lost = true;
    system.surface_named("offscreen")->restorable = false;
    EXPECT_EQ(device.restore_surfaces(), 0);
    EXPECT_THAT(system.log,
                ElementsAre("IsLost primary#1", "IsLost offscreen#2", "Restore offscreen#2", "Release offscreen#2",
                            "CreateSurface flags 0x7 caps 0x40 800x600", "GetSurfaceDesc offscreen#3"));
}

TEST_F(display_device_test, a_lost_fullscreen_primary_is_restored_with_its_chain) {
    ASSERT_EQ(device.open_fullscreen(system.main, shell_mode), 0);
    system.log.clear();
    EXPECT_EQ(device.restore_surfaces(), 0);
    EXPECT_THAT(system.log, ElementsAre("IsLost primary#1"));

    system.log.clear();
    system.surface_named("primary")->lost = true;
    EXPECT_EQ(device.restore_surfaces(), 0);
    EXPECT_THAT(system.log, ElementsAre("IsLost primary#1", "Restore primary#1"));

    system.surface_named("primary")->lost = true;
    system.fail["Restore primary#1"] = ddraw::err_noexclusivemode;
    EXPECT_EQ(device.restore_surfaces(), ddraw::err_noexclusivemode);
}

TEST_F(display_device_test, a_desktop_mode_change_rebuilds_both_surfaces_in_the_new_format) {
    open_windowed();
    system.cooperative_level = ddraw::err_wrongmode;
    EXPECT_EQ(device.check_device(), display_mode_changed);
    for (auto* s : system.surfaces) {
        s->lost = true;
        s->restorable = false;
    }
    system.desktop = {ddraw::pf_rgb, 16, 0xF800, 0x07E0, 0x001F, 0};
    system.log.clear();
    EXPECT_EQ(device.restore_surfaces(), 0);
    EXPECT_THAT(system.log,
                ElementsAre("IsLost primary#1", "Restore primary#1", "Release offscreen#2", "Release primary#1",
                            "CreateSurface flags 0x1 caps 0x200", "SetClipper primary#3",
                            "CreateSurface flags 0x7 caps 0x40 800x600", "GetSurfaceDesc offscreen#4"));
    EXPECT_EQ(device.target_description().format.green_mask, 0x07E0u);
    EXPECT_EQ(system.directdraw_created, 1);  // the DirectDraw object and the clipper stay
    EXPECT_EQ(system.live_objects, 4);

    // The next frame is converted into the new format.
    frame_image frame(800, 600);
    std::memset(frame.plane(2), 0xFF, 800 * 600);
    EXPECT_EQ(device.present_frame(frame.view(), present_mode::flip), 0);
    const auto* offscreen = system.surface_named("offscreen");
    EXPECT_EQ(offscreen->pixels[0] | offscreen->pixels[1] << 8, 0xF800);
}

}  // namespace
}  // namespace tamber
