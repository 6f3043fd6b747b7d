// The frame step, the message loop and the current-applet rule, driven
// through fakes of the windowing system and the display.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "shell/frame_stats.h"
#include "input_fakes.h"
#include "shell/shell.h"
#include "support/fake_library.h"
#include "update/update_test_support.h"

namespace tamber {
namespace {

std::vector<std::string>* calls = nullptr;  // what the fakes and applets saw, in order

void record(const std::string& call) { calls->push_back(call); }

struct fake_windows final : window_system {
    uint32_t clock = 1000;
    std::deque<int> queue;  // message codes; a negative entry is WM_QUIT with -code
    bool foreground = true;
    int32_t dialog_answer = dialog_retry;

    uint32_t time_ms() override { return clock; }
    bool message_waiting() override { return !queue.empty(); }
    bool handle_message(window_handle, int& exit_code) override {
        const int m = queue.front();
        queue.pop_front();
        if (m < 0) {
            exit_code = -m - 1;
            return false;
        }
        record("dispatch " + std::to_string(m));
        return true;
    }
    void sleep_ms(uint32_t ms) override { record("sleep " + std::to_string(ms)); }
    point cursor_position(window_handle) override { return {-5, 700}; }
    bool is_foreground(window_handle) override { return foreground; }
    int32_t display_mode_dialog(window_handle) override {
        record("dialog");
        return dialog_answer;
    }
    window_handle closed = nullptr;  // the window WM_CLOSE was last posted to
    void post_close(window_handle window) override {
        record("post_close");
        closed = window;
    }
    void play_sound_alias(const char16_t* alias, uint32_t flags) override {
        record("sound " + std::string(alias, alias + std::char_traits<char16_t>::length(alias)) + " " +
               std::to_string(flags));
    }
    void show_message(window_handle, uint32_t string_id, uint32_t flags) override {
        record("message " + std::to_string(string_id) + " " + std::to_string(flags));
    }
};

struct fake_display final : display_control {
    int32_t device = 0;
    bool fullscreen = false;
    bool depth_ok = true;
    bool open = true;
    // What the opens answer; an open that answers no failure opens.
    int32_t windowed_answer = 0, fullscreen_answer = 0;
    int32_t check_device() override { return device; }
    bool is_fullscreen() const override { return fullscreen; }
    bool is_open() const override { return open; }
    bool desktop_depth_supported() override { return depth_ok; }
    // The display is asked to switch by opening in the other mode.
    window_handle window = nullptr;  // the window of the last open
    int32_t open_windowed(window_handle w, display_mode mode) override {
        record("switch_to_windowed" + describe(mode));
        return opened(w, windowed_answer);
    }
    int32_t open_fullscreen(window_handle w, display_mode mode) override {
        record("switch_to_fullscreen" + describe(mode));
        return opened(w, fullscreen_answer);
    }
    // Nothing for the shell's mode: the frame's size at 32 bits per pixel.
    static std::string describe(display_mode mode) {
        if (mode.width == 800 && mode.height == 600 && mode.bits_per_pixel == 32) return "";
        return " " + std::to_string(mode.width) + "x" + std::to_string(mode.height) + "x" +
               std::to_string(mode.bits_per_pixel);
    }
    int32_t opened(window_handle w, int32_t answer) {
        window = w;
        open = answer >= 0 && answer != 1400;  // an invalid window opens nothing
        return answer;
    }
    frame_view presented{};
    int32_t present_frame(const frame_view& view, present_mode mode) override {
        presented = view;
        record("present " + std::to_string(static_cast<int>(mode)));
        return 0;
    }
};

// A library whose only entry points are the three required ones plus
// update and render, so the test can tell it from the bootstrap applet.
tamber_result TAMBER_CALL lib_load(tamber_handle, tamber_handle, uint32_t) { return 0; }
int32_t TAMBER_CALL lib_get_balance() { return 7; }
void TAMBER_CALL lib_receive_packet(uint32_t, uint32_t) {}
void TAMBER_CALL lib_update(uint32_t elapsed) { record("library.update " + std::to_string(elapsed)); }
void TAMBER_CALL lib_render(uint32_t, frame_view*, int32_t, int32_t) { record("library.render"); }

class shell_test : public ::testing::Test {
protected:
    void SetUp() override { calls = &log; }
    void TearDown() override { calls = nullptr; }

    std::vector<std::string> log;
    frame_image frame{800, 600};
    testing::recording_applet bootstrap{log, "bootstrap"};
    test::fake_library_loader loader{{"load", test::as_symbol(&lib_load)},
                                     {"get_balance", test::as_symbol(&lib_get_balance)},
                                     {"receive_packet", test::as_symbol(&lib_receive_packet)},
                                     {"update", test::as_symbol(&lib_update)},
                                     {"render", test::as_symbol(&lib_render)}};
    applet library{loader};
    fake_windows windows;
    fake_display display;
};

TEST_F(shell_test, a_frame_updates_renders_and_presents_in_order) {
    shell host(frame, bootstrap, library, windows, display);
    windows.clock += 16;
    EXPECT_FALSE(host.run_frame());  // foreground: no sleep
    EXPECT_EQ(log, (std::vector<std::string>{"bootstrap.update 16", "bootstrap.render 16 -5 700", "present 2"}));

    // The view describes the frame image: pitch = width, other words 0.
    const frame_view& v = bootstrap.view;
    EXPECT_EQ(v.width, 800);
    EXPECT_EQ(v.height, 600);
    EXPECT_EQ(v.pitch, 800);
    EXPECT_EQ(v.plane[0], frame.plane(0));
    EXPECT_EQ(v.plane[2], frame.plane(2));
    EXPECT_EQ(v.reserved3 | v.reserved4 | v.reserved5 | v.reserved9 | v.reserved10, 0);
}

TEST_F(shell_test, elapsed_counts_from_construction_and_survives_the_timer_wrap) {
    windows.clock = 0xFFFFFFF0u;
    shell host(frame, bootstrap, library, windows, display);
    windows.clock = 0x10;  // wrapped: 0x20 ms later
    host.run_frame();
    windows.clock = 0x15;
    host.run_frame();
    EXPECT_EQ(log[0], "bootstrap.update 32");
    EXPECT_EQ(log[1], "bootstrap.render 32 -5 700");
    EXPECT_EQ(log[3], "bootstrap.update 5");
}

TEST_F(shell_test, a_background_window_sleeps_after_every_frame_but_keeps_working) {
    windows.foreground = false;
    shell host(frame, bootstrap, library, windows, display);
    EXPECT_TRUE(host.run_frame());
    EXPECT_EQ(log.size(), 3u);  // update, render and present still ran
}

TEST_F(shell_test, a_lost_display_or_a_menu_loop_runs_only_update) {
    shell host(frame, bootstrap, library, windows, display);
    display.device = -1;
    EXPECT_TRUE(host.run_frame());
    display.device = 0x00049204;  // a success code: the frame goes ahead
    host.set_in_menu_loop(true);
    EXPECT_TRUE(host.run_frame());
    host.set_in_menu_loop(false);
    EXPECT_FALSE(host.run_frame());
    EXPECT_EQ(log, (std::vector<std::string>{"bootstrap.update 0", "bootstrap.update 0", "bootstrap.update 0",
                                             "bootstrap.render 0 -5 700", "present 2"}));
}

TEST_F(shell_test, an_unsupported_desktop_depth_asks_the_user_before_drawing) {
    shell host(frame, bootstrap, library, windows, display);
    display.depth_ok = false;

    windows.dialog_answer = dialog_retry;
    EXPECT_TRUE(host.run_frame());
    windows.dialog_answer = dialog_fullscreen;
    EXPECT_TRUE(host.run_frame());
    windows.dialog_answer = dialog_quit;
    EXPECT_TRUE(host.run_frame());
    windows.dialog_answer = -1;  // the dialog could not be made: a retry
    EXPECT_TRUE(host.run_frame());
    EXPECT_EQ(log, (std::vector<std::string>{"bootstrap.update 0", "dialog", "bootstrap.update 0", "dialog",
                                             "switch_to_fullscreen", "bootstrap.update 0", "dialog", "post_close",
                                             "bootstrap.update 0", "dialog"}));

    // In fullscreen mode the desktop's depth does not matter.
    log.clear();
    display.fullscreen = true;
    EXPECT_FALSE(host.run_frame());
    EXPECT_EQ(log.back(), "present 2");
}

TEST_F(shell_test, every_waiting_message_is_handled_before_the_next_frame) {
    windows.queue = {1, 2, 3};
    windows.foreground = false;
    // After the first frame the loop finds WM_QUIT with code 0.
    struct quitting_display final : display_control {
        fake_windows* w;
        fake_display* inner;
        int32_t check_device() override { return inner->check_device(); }
        bool is_fullscreen() const override { return false; }
        bool is_open() const override { return true; }
        bool desktop_depth_supported() override { return true; }
        int32_t open_windowed(window_handle, display_mode) override { return 0; }
        int32_t open_fullscreen(window_handle, display_mode) override { return 0; }
        int32_t present_frame(const frame_view& v, present_mode mode) override {
            w->queue = {4, -1};
            return inner->present_frame(v, mode);
        }
    } quitting;
    quitting.w = &windows;
    quitting.inner = &display;
    shell looping(frame, bootstrap, library, windows, quitting);
    EXPECT_EQ(looping.run_message_loop(), 0);
    EXPECT_EQ(log, (std::vector<std::string>{"dispatch 1", "dispatch 2", "dispatch 3", "bootstrap.update 0",
                                             "bootstrap.render 0 -5 700", "present 2", "sleep 20", "dispatch 4"}));
}

TEST_F(shell_test, the_loop_returns_the_code_of_wm_quit) {
    shell host(frame, bootstrap, library, windows, display);
    windows.queue = {-8};  // WM_QUIT with wParam 7
    EXPECT_EQ(host.run_message_loop(), 7);
}

TEST_F(shell_test, an_applet_that_rewrites_its_view_changes_nothing_the_host_presents) {
    shell host(frame, bootstrap, library, windows, display);
    bootstrap.scribble = true;
    host.run_frame();
    ASSERT_EQ(log.back(), "present 2");
    const frame_view& shown = display.presented;
    EXPECT_EQ(shown.width, 800);
    EXPECT_EQ(shown.height, 600);
    EXPECT_EQ(shown.pitch, 800);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(shown.plane[i], frame.plane(i)) << "plane " << i;

    // The next frame hands the applet a fresh, whole view again.
    bootstrap.scribble = false;
    host.run_frame();
    EXPECT_EQ(bootstrap.view.width, 800);
    EXPECT_EQ(bootstrap.view.plane[1], frame.plane(1));
}

TEST_F(shell_test, a_loaded_library_becomes_the_current_applet_with_no_other_switch) {
    shell host(frame, bootstrap, library, windows, display);
    EXPECT_EQ(&host.current_applet(), static_cast<applet_base*>(&bootstrap));
    ASSERT_EQ(library.load("tblobby.dll", nullptr, 0), 0);
    EXPECT_EQ(&host.current_applet(), static_cast<applet_base*>(&library));
    windows.clock += 3;
    host.run_frame();
    EXPECT_EQ(log, (std::vector<std::string>{"library.update 3", "library.render", "present 2"}));
    library.unload();
    EXPECT_EQ(&host.current_applet(), static_cast<applet_base*>(&bootstrap));
}

TEST_F(shell_test, frame_statistics_report_the_first_frame_then_once_per_interval) {
    const std::string path = ::testing::TempDir() + "tamber_frame_stats.txt";
    test::fake_http http;
    updater update(http);
    windows.clock = 1000;
    {
        frame_stats stats(path.c_str(), 900, update, library);
        ASSERT_TRUE(stats.is_open());
        shell host(frame, bootstrap, library, windows, display);
        host.set_frame_listener(&stats);
        for (int i = 0; i < 30; ++i) {  // 10 ms apart: 300 ms of frames
            windows.clock += 10;
            host.run_frame();
        }
        ASSERT_EQ(library.load("tblobby.dll", nullptr, 0), 0);
        windows.clock += 250;
        host.run_frame();

        // A frame that is not presented (the display is lost) is not counted.
        display.device = -1;
        windows.clock += 300;
        host.run_frame();
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    // At 1010 (the first frame), at 1260 (250 ms later, frame 26), and at
    // 1550 with the lobby loaded (frame 31).
    EXPECT_EQ(text.str(), "110 1 0 0 0 0\n360 26 0 0 0 0\n650 31 1 0 0 0\n");
    std::remove(path.c_str());

    frame_stats nowhere("", 0, update, library);
    EXPECT_FALSE(nowhere.is_open());
    nowhere.frame_presented(5);  // harmless
}

// The display answers with result codes; what the user is told of a failed
// switch is the shell's decision: the sound for a refused fullscreen mode,
// string 6 and WM_CLOSE when not even windowed mode opens.
TEST_F(shell_test, the_shell_tells_the_user_of_a_failed_display_switch) {
    window_handle const main_window = reinterpret_cast<window_handle>(0x100);
    shell host(frame, bootstrap, library, windows, display);
    ASSERT_TRUE(host.open_display(main_window));
    EXPECT_EQ(host.main_window(), main_window);
    EXPECT_EQ(display.window, main_window);

    // Refused fullscreen mode: one sound, windowed mode again, no message.
    log.clear();
    display.fullscreen_answer = static_cast<int32_t>(0x88760078);  // DDERR_INVALIDMODE
    EXPECT_TRUE(host.switch_to_fullscreen());
    EXPECT_EQ(log, (std::vector<std::string>{"switch_to_fullscreen", "sound SystemDefault 65553", "switch_to_windowed"}));
    EXPECT_TRUE(display.open);

    // Not even windowed mode: string 6, then WM_CLOSE to the main window.
    log.clear();
    display.windowed_answer = static_cast<int32_t>(0x80004005);
    EXPECT_FALSE(host.switch_to_fullscreen());
    EXPECT_EQ(log, (std::vector<std::string>{"switch_to_fullscreen", "sound SystemDefault 65553",
                                             "switch_to_windowed", "message 6 0", "post_close"}));
    EXPECT_EQ(windows.closed, main_window);

    // The toggle from windowed mode is the switch to fullscreen mode; from
    // fullscreen mode the switch back, whose failure plays no sound.
    log.clear();
    display.fullscreen_answer = 0;
    host.toggle_display_mode();
    display.fullscreen = true;
    host.toggle_display_mode();
    EXPECT_EQ(log, (std::vector<std::string>{"switch_to_fullscreen", "switch_to_windowed", "message 6 0",
                                             "post_close"}));
}

// An invalid window answers 1400: not negative, yet nothing opened. The
// shell counts it as the failure it is.
TEST_F(shell_test, a_success_code_that_leaves_the_display_closed_is_a_failed_switch) {
    shell host(frame, bootstrap, library, windows, display);
    display.windowed_answer = 1400;
    EXPECT_FALSE(host.open_display(nullptr));
    EXPECT_EQ(log, (std::vector<std::string>{"switch_to_windowed", "message 6 0", "post_close"}));

    // Success is the display being open, whatever positive code came with it.
    log.clear();
    display.windowed_answer = 0x00049204;
    EXPECT_TRUE(host.switch_to_windowed());
    EXPECT_EQ(log, std::vector<std::string>{"switch_to_windowed"});
}

}  // namespace
}  // namespace tamber
