// The main window's procedure, message by message: what reaches the applets,
// the display and the window system, and what goes on to the default
// procedure. Also the centring of the window rectangle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "applet/applet.h"
#include "draw/frame_image.h"
#include "input_fakes.h"
#include "shell/window_procedure.h"
#include "support/fake_library.h"

namespace tamber {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::call_log;
using testing::idle_windows;
using testing::recording_applet;
using testing::recording_drag;
using testing::recording_window_calls;

// ---- a game library made of this file's functions ------------------------

call_log* library_log = nullptr;
void library_put(const std::string& line) { library_log->push_back("library." + line); }

tamber_result TAMBER_CALL lib_load(tamber_handle, tamber_handle, uint32_t) { return 0; }
int32_t TAMBER_CALL lib_get_balance() { return 0; }
void TAMBER_CALL lib_receive_packet(uint32_t, uint32_t) {}
void TAMBER_CALL lib_key_up(uint32_t vk) { library_put("key_up " + std::to_string(vk)); }
void TAMBER_CALL lib_mouse_move(int32_t x, int32_t y) { library_put("mouse_move " + testing::args({x, y})); }
void TAMBER_CALL lib_on_wm_close() { library_put("on_wm_close"); }
void TAMBER_CALL lib_on_wm_lobby() { library_put("on_wm_lobby"); }
void TAMBER_CALL lib_on_wm_async_select(uint32_t error) { library_put("on_wm_async_select " + std::to_string(error)); }

// ---- the shell's other seams -------------------------------------------

class recording_display final : public display_control, public window_display {
public:
    explicit recording_display(call_log& log) : log_(log) {}
    bool fullscreen = false;
    int32_t blit_result = 0;

    void close() override { log_.push_back("display.close"); }
    int32_t blit_to_screen(blit_mode mode) override {
        log_.push_back(std::string("display.blit_to_screen ") + (mode == blit_mode::no_tearing ? "1" : "0"));
        return blit_result;
    }
    bool is_fullscreen() const override { return fullscreen; }
    bool is_open() const override { return true; }
    int32_t check_device() override { return 0; }
    bool desktop_depth_supported() override { return true; }
    int32_t present_frame(const frame_view&, present_mode) override { return 0; }
    // A window message opens the display only through the shell's toggle
    // of the display mode.
    int32_t open_windowed(window_handle, display_mode) override { return toggled(); }
    int32_t open_fullscreen(window_handle, display_mode) override { return toggled(); }

private:
    int32_t toggled() {
        log_.push_back("display.toggle_display_mode");
        return 0;
    }
    call_log& log_;
};

cursor_handle const arrow = reinterpret_cast<cursor_handle>(0xA0);

struct window_procedure_test : ::testing::Test {
    call_log log;
    frame_image frame{8, 8};
    recording_applet bootstrap{log, "bootstrap"};
    test::fake_library_loader loader{{"load", test::as_symbol(&lib_load)},
                                     {"get_balance", test::as_symbol(&lib_get_balance)},
                                     {"receive_packet", test::as_symbol(&lib_receive_packet)},
                                     {"key_up", test::as_symbol(&lib_key_up)},
                                     {"mouse_move", test::as_symbol(&lib_mouse_move)},
                                     {"on_wm_close", test::as_symbol(&lib_on_wm_close)},
                                     {"on_wm_lobby", test::as_symbol(&lib_on_wm_lobby)},
                                     {"on_wm_async_select", test::as_symbol(&lib_on_wm_async_select)}};
    applet library{loader};
    idle_windows windows;
    recording_display display{log};
    shell host{frame, bootstrap, library, windows, display};
    recording_window_calls calls{log};
    mouse_router mouse{calls, 4, 4, arrow};
    window_procedure procedure{host, library, display, mouse, calls};

    void SetUp() override { library_log = &log; }
    void TearDown() override { library_log = nullptr; }
    void load_library() { ASSERT_EQ(library.load("lobby", nullptr, 0), 0); }

    message_answer send(uint32_t message, uintptr_t wparam = 0, intptr_t lparam = 0) {
        return procedure.handle(message, wparam, lparam);
    }
};

// lParam of a mouse message: x in the low half, y in the high half.
intptr_t at(int16_t x, int16_t y) {
    return static_cast<intptr_t>(static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16 |
                                                      static_cast<uint16_t>(x)));
}

void expect_default(const message_answer& a) { EXPECT_TRUE(a.call_default); }
void expect_answer(const message_answer& a, intptr_t result) {
    EXPECT_FALSE(a.call_default);
    EXPECT_EQ(a.result, result);
}

TEST_F(window_procedure_test, destroy_erasing_and_menu_loops) {
    expect_default(send(wm::destroy));
    EXPECT_THAT(log, ElementsAre("destroyed"));
    expect_answer(send(wm::erase_background), 1);  // nothing is erased
    expect_default(send(wm::enter_menu_loop));
    EXPECT_TRUE(host.in_menu_loop());
    expect_default(send(wm::exit_menu_loop));
    EXPECT_FALSE(host.in_menu_loop());
}

TEST_F(window_procedure_test, paint_shows_the_last_frame_or_black) {
    expect_answer(send(wm::paint), 0);
    EXPECT_THAT(log, ElementsAre("BeginPaint", "display.blit_to_screen 0", "EndPaint"));
    log.clear();
    display.blit_result = static_cast<int32_t>(0x80004005);
    expect_answer(send(wm::paint), 0);
    EXPECT_THAT(log, ElementsAre("BeginPaint", "display.blit_to_screen 0", "FillRect black", "EndPaint"));
}

TEST_F(window_procedure_test, close_tells_the_library_closes_the_display_and_hides_the_window) {
    load_library();
    expect_default(send(wm::close));  // the default procedure destroys the window
    EXPECT_THAT(log, ElementsAre("library.on_wm_close", "display.close", "ShowWindow SW_HIDE"));
}

TEST_F(window_procedure_test, library_messages_are_dropped_without_a_library) {
    expect_default(send(wm::close));
    expect_default(send(wm::lobby));
    expect_default(send(wm::async_select, 0, at(0, 10053)));
    EXPECT_THAT(log, ElementsAre("display.close", "ShowWindow SW_HIDE"));
}

TEST_F(window_procedure_test, lobby_and_socket_notifications_reach_the_library) {
    load_library();
    expect_default(send(wm::lobby, 1, 2));
    expect_default(send(wm::async_select, 0x1234, at(1, 10061)));
    EXPECT_THAT(log, ElementsAre("library.on_wm_lobby", "library.on_wm_async_select 10061"));
}

TEST_F(window_procedure_test, keys_go_to_the_current_applet) {
    // Repeat count 2, previous-state bit set.
    expect_answer(send(wm::key_down, 'X', 0x40000002), 0);
    expect_answer(send(wm::key_down, 'Y', 1), 0);
    expect_answer(send(wm::key_up, 'Y', static_cast<intptr_t>(0xC0000001u)), 0);
    expect_default(send(wm::character, 0x263A));
    EXPECT_THAT(log, ElementsAre("bootstrap.key_repeat 88", "bootstrap.key_repeat 88", "bootstrap.key_down 89",
                                 "bootstrap.key_up 89", "bootstrap.on_wm_char 9786"));

    log.clear();
    load_library();
    send(wm::key_up, 'Z');
    EXPECT_THAT(log, ElementsAre("library.key_up 90"));
}

TEST_F(window_procedure_test, key_up_arrives_during_a_drag_and_escape_cancels_it) {
    recording_drag drag(log);
    bootstrap.press_answer = TAMBER_PRESS_DRAG;
    bootstrap.drag = &drag.object;
    send(wm::left_button_down, 0, at(1, 1));
    log.clear();
    send(wm::key_down, 'A', 1);
    send(wm::key_up, 'A', static_cast<intptr_t>(0xC0000001u));
    send(wm::key_down, vk_escape, 1);
    EXPECT_THAT(log, ElementsAre("bootstrap.key_up 65", "drag.cancel", "drag.Release", "ReleaseCapture",
                                 "bootstrap.mouse_move 0 0"));
}

TEST_F(window_procedure_test, alt_enter_and_message_8003_toggle_the_display_mode) {
    expect_default(send(wm::command, 1u << 16 | command_toggle_display_mode));
    expect_default(send(wm::command, 40111));
    expect_default(send(wm::toggle_display_mode));
    EXPECT_THAT(log, ElementsAre("display.toggle_display_mode", "display.toggle_display_mode"));
}

TEST_F(window_procedure_test, fullscreen_refuses_menus_screen_saver_and_monitor_power_down) {
    const uint32_t refused[] = {0xF090, 0xF100, 0xF140, 0xF170, 0xF142, 0xF17F};
    for (uint32_t command : refused) expect_default(send(wm::system_command, command));  // windowed: default
    display.fullscreen = true;
    for (uint32_t command : refused) expect_answer(send(wm::system_command, command), 0);
    expect_default(send(wm::system_command, 0xF060));  // SC_CLOSE
    expect_default(send(wm::system_command, 0xF020));  // SC_MINIMIZE
}

TEST_F(window_procedure_test, mouse_messages_carry_signed_client_coordinates_and_button_numbers) {
    bootstrap.press_answer = 7;  // no clicks: just the presses
    send(wm::left_button_down, 0, at(5, -2));
    send(wm::right_button_down, 0, at(-300, 600));
    send(wm::middle_button_down, 0, at(1, 2));
    send(wm::left_button_double_click, 0, at(3, 4));
    send(wm::right_button_double_click, 0, at(3, 4));
    send(wm::middle_button_double_click, 0, at(3, 4));
    send(wm::left_button_up, 0, at(9, 9));
    send(wm::right_button_up, 0, at(9, 9));
    expect_default(send(wm::middle_button_up, 0, at(9, 9)));
    expect_default(send(wm::mouse_move, 0, at(-1, -1)));
    EXPECT_THAT(log, ElementsAre("bootstrap.mouse_down 0 5 -2 0", "bootstrap.mouse_down 1 -300 600 0",
                                 "bootstrap.mouse_down 2 1 2 0", "bootstrap.mouse_down 0 3 4 1",
                                 "bootstrap.mouse_down 1 3 4 1", "bootstrap.mouse_down 2 3 4 1",
                                 "bootstrap.mouse_up 0 9 9", "bootstrap.mouse_up 1 9 9", "bootstrap.mouse_up 2 9 9",
                                 "bootstrap.mouse_move -1 -1"));
    EXPECT_EQ(calls.shown, arrow);
}

TEST_F(window_procedure_test, the_wheel_point_is_converted_from_screen_coordinates) {
    const uintptr_t minus_two_notches = static_cast<uintptr_t>(static_cast<uint16_t>(-240)) << 16;
    expect_default(send(wm::mouse_wheel, minus_two_notches, at(150, 80)));
    EXPECT_THAT(log, ElementsAre("bootstrap.mouse_wheel 50 30 -240"));
}

TEST_F(window_procedure_test, input_goes_to_the_library_once_it_is_loaded) {
    load_library();
    send(wm::mouse_move, 0, at(4, 5));
    EXPECT_THAT(log, ElementsAre("library.mouse_move 4 5"));
}

TEST_F(window_procedure_test, cancel_mode_ends_a_drag_and_other_messages_go_to_the_default) {
    expect_default(send(wm::cancel_mode));
    EXPECT_THAT(log, ElementsAre("bootstrap.mouse_move 0 0"));
    log.clear();
    for (uint32_t message : {0x0001u, 0x0005u, 0x0104u, 0x0105u, 0x8000u, 0x8001u, 0x8004u, 0xC123u})
        expect_default(send(message, 1, 2));
    EXPECT_THAT(log, IsEmpty());
}

// ---- the window rectangle ------------------------------------------------

TEST(fit_window_rect, centres_the_window_in_the_work_area_truncating_odd_leftovers) {
    // An 800 x 600 client grown by a frame to 806 x 631, on 1024 x 738 at (0, 30).
    const rect r = fit_window_rect({-3, -28, 803, 603}, {0, 30, 1024, 768});
    EXPECT_EQ(r.left, 109);  // (1024 - 806) / 2
    EXPECT_EQ(r.top, 30 + 53);  // (738 - 631) / 2 = 53.5
    EXPECT_EQ(r.right - r.left, 806);
    EXPECT_EQ(r.bottom - r.top, 631);
}

TEST(fit_window_rect, shrinks_a_window_that_does_not_fit_to_the_work_area) {
    const rect r = fit_window_rect({-3, -28, 803, 603}, {10, 0, 650, 480});
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 650);
    EXPECT_EQ(r.bottom, 480);
    // Only one direction too large: that one is shrunk, the other centred.
    const rect tall = fit_window_rect({0, 0, 800, 900}, {0, 0, 1280, 720});
    EXPECT_EQ(tall.left, 240);
    EXPECT_EQ(tall.top, 0);
    EXPECT_EQ(tall.bottom, 720);
}

}  // namespace
}  // namespace tamber
