// SDL events as window messages, table by table, and the same events driven
// through the portable window procedure and mouse router: the routing rules
// of quillon.exe hold for tamber's input.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input_fakes.h"
#include "logging_display.h"
#include "platform/sdl/sdl_events.h"
#include "shell/window_procedure.h"
#include "support/fake_library.h"

namespace tamber::sdl {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

SDL_Event button(uint32_t type, uint8_t which, int32_t x, int32_t y, uint8_t clicks = 1) {
    SDL_Event e{};
    e.type = type;
    e.button.button = which;
    e.button.x = x;
    e.button.y = y;
    e.button.clicks = clicks;
    return e;
}
SDL_Event motion(int32_t x, int32_t y) {
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    return e;
}
SDL_Event wheel(int32_t y, uint32_t direction = SDL_MOUSEWHEEL_NORMAL) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = y;
    e.wheel.direction = direction;
    return e;
}
SDL_Event key(uint32_t type, SDL_Keycode sym, uint16_t mod = KMOD_NONE, uint8_t repeat = 0) {
    SDL_Event e{};
    e.type = type;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mod;
    e.key.repeat = repeat;
    return e;
}
SDL_Event text(const char* utf8) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    std::snprintf(e.text.text, sizeof e.text.text, "%s", utf8);
    return e;
}
SDL_Event window_event(uint8_t what) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.event = what;
    return e;
}

constexpr intptr_t key_up_bits = static_cast<intptr_t>(0xC0000001u);
constexpr intptr_t repeat_bits = static_cast<intptr_t>(0x40000001u);

struct event_case {
    const char* what;
    SDL_Event event;
    std::vector<window_message> expected;
};

TEST(translate_event, mouse_buttons_clicks_motion_and_wheel) {
    const event_case cases[] = {
        {"left press", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20), {{wm::left_button_down, mk_left, pack_point(10, 20)}}},
        {"left release", button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 10, 20), {{wm::left_button_up, 0, pack_point(10, 20)}}},
        {"second click is a double click", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20, 2),
         {{wm::left_button_double_click, mk_left, pack_point(10, 20)}}},
        {"third click is a plain press", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20, 3),
         {{wm::left_button_down, mk_left, pack_point(10, 20)}}},
        {"fourth click is a double click", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 20, 4),
         {{wm::left_button_double_click, mk_left, pack_point(10, 20)}}},
        {"right press", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 2), {{wm::right_button_down, mk_right, pack_point(1, 2)}}},
        {"middle double click", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE, 1, 2, 2),
         {{wm::middle_button_double_click, mk_middle, pack_point(1, 2)}}},
        {"side buttons have no message", button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1, 1, 2), {}},
        {"motion left of and above the window", motion(-3, -4), {{wm::mouse_move, 0, pack_point(-3, -4)}}},
        {"wheel away: +120", wheel(1), {{wm::mouse_wheel, 120u << 16, pack_point(0, 0)}}},
        {"two notches towards the user", wheel(-2), {{wm::mouse_wheel, static_cast<uint16_t>(-240) * 0x10000u, pack_point(0, 0)}}},
        {"flipped wheel", wheel(1, SDL_MOUSEWHEEL_FLIPPED),
         {{wm::mouse_wheel, static_cast<uint16_t>(-120) * 0x10000u, pack_point(0, 0)}}},
        {"sideways only: nothing", wheel(0), {}},
    };
    for (const event_case& c : cases) {
        input_state state;
        EXPECT_THAT(translate_event(c.event, state), ElementsAreArray(c.expected)) << c.what;
    }
}

TEST(translate_event, the_wheel_turns_where_the_pointer_was_last_seen) {
    input_state state;
    translate_event(motion(-3, -4), state);
    EXPECT_THAT(translate_event(wheel(1), state), ElementsAre(window_message{wm::mouse_wheel, 120u << 16, pack_point(-3, -4)}));
}

TEST(translate_event, held_buttons_ride_on_later_mouse_messages) {
    input_state state;
    translate_event(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 0, 0), state);
    translate_event(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 0, 0), state);
    EXPECT_THAT(translate_event(motion(5, 6), state), ElementsAre(window_message{wm::mouse_move, mk_left | mk_right, pack_point(5, 6)}));
    translate_event(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 5, 6), state);
    EXPECT_THAT(translate_event(motion(7, 8), state), ElementsAre(window_message{wm::mouse_move, mk_right, pack_point(7, 8)}));
}

TEST(translate_event, keys_as_virtual_keys_with_repeat_and_system_keys) {
    const event_case cases[] = {
        {"letter", key(SDL_KEYDOWN, SDLK_a), {{wm::key_down, 'A', 1}}},
        {"letter repeat", key(SDL_KEYDOWN, SDLK_a, KMOD_NONE, 1), {{wm::key_down, 'A', repeat_bits}}},
        {"letter up", key(SDL_KEYUP, SDLK_a), {{wm::key_up, 'A', key_up_bits}}},
        {"digit", key(SDL_KEYDOWN, SDLK_7), {{wm::key_down, '7', 1}}},
        {"F1", key(SDL_KEYDOWN, SDLK_F1), {{wm::key_down, 0x70, 1}}},
        {"keypad 5", key(SDL_KEYDOWN, SDLK_KP_5), {{wm::key_down, 0x65, 1}}},
        {"left arrow", key(SDL_KEYDOWN, SDLK_LEFT), {{wm::key_down, 0x25, 1}}},
        {"right shift is VK_SHIFT", key(SDL_KEYDOWN, SDLK_RSHIFT, KMOD_RSHIFT), {{wm::key_down, 0x10, 1}}},
        {"escape types its character", key(SDL_KEYDOWN, SDLK_ESCAPE), {{wm::key_down, 0x1B, 1}, {wm::character, 0x1B, 1}}},
        {"enter types a carriage return", key(SDL_KEYDOWN, SDLK_RETURN), {{wm::key_down, 0x0D, 1}, {wm::character, 0x0D, 1}}},
        {"backspace repeats its character", key(SDL_KEYDOWN, SDLK_BACKSPACE, KMOD_NONE, 1),
         {{wm::key_down, 0x08, repeat_bits}, {wm::character, 0x08, repeat_bits}}},
        {"ctrl+enter types nothing", key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LCTRL), {{wm::key_down, 0x0D, 1}}},
        {"alt+enter is the accelerator", key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LALT),
         {{wm::command, (1u << 16) | command_toggle_display_mode, 0}}},
        {"alt+enter held does not toggle again", key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LALT, 1), {}},
        {"alt itself is a system key", key(SDL_KEYDOWN, SDLK_LALT), {{extra_wm::system_key_down, 0x12, 0x20000001}}},
        {"alt+f4", key(SDL_KEYDOWN, SDLK_F4, KMOD_RALT), {{extra_wm::system_key_down, 0x73, 0x20000001}}},
        {"f10 is a system key without alt", key(SDL_KEYDOWN, SDLK_F10), {{extra_wm::system_key_down, 0x79, 1}}},
        {"f10 up", key(SDL_KEYUP, SDLK_F10), {{extra_wm::system_key_up, 0x79, key_up_bits}}},
        {"alt+x up", key(SDL_KEYUP, SDLK_x, KMOD_LALT), {{extra_wm::system_key_up, 'X', static_cast<intptr_t>(0xE0000001u)}}},
        {"a key Windows has no code for", key(SDL_KEYDOWN, SDLK_AUDIOPLAY), {}},
    };
    input_state state;
    for (const event_case& c : cases) EXPECT_THAT(translate_event(c.event, state), ElementsAreArray(c.expected)) << c.what;
}

TEST(translate_event, text_as_utf16_units_and_window_events) {
    const event_case cases[] = {
        {"ascii", text("ab"), {{wm::character, 'a', 1}, {wm::character, 'b', 1}}},
        {"e acute", text("\xC3\xA9"), {{wm::character, 0xE9, 1}}},
        {"outside the basic plane: a surrogate pair", text("\xF0\x9F\x98\x80"), {{wm::character, 0xD83D, 1}, {wm::character, 0xDE00, 1}}},
        {"stray byte", text("\x80" "a"), {{wm::character, 0xFFFD, 1}, {wm::character, 'a', 1}}},
        {"cut-off sequence", text("\xE2\x82"), {{wm::character, 0xFFFD, 1}}},
        {"overlong slash", text("\xC0\xAF"), {{wm::character, 0xFFFD, 1}}},
        {"focus gained", window_event(SDL_WINDOWEVENT_FOCUS_GAINED), {{extra_wm::set_focus, 0, 0}}},
        {"focus lost cancels a drag", window_event(SDL_WINDOWEVENT_FOCUS_LOST), {{extra_wm::kill_focus, 0, 0}, {wm::cancel_mode, 0, 0}}},
        {"exposed", window_event(SDL_WINDOWEVENT_EXPOSED), {{wm::paint, 0, 0}}},
        {"close box", window_event(SDL_WINDOWEVENT_CLOSE), {{wm::close, 0, 0}}},
        {"minimised: no message", window_event(SDL_WINDOWEVENT_MINIMIZED), {}},
    };
    input_state state;
    for (const event_case& c : cases) EXPECT_THAT(translate_event(c.event, state), ElementsAreArray(c.expected)) << c.what;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_THAT(translate_event(quit, state), ElementsAre(window_message{wm::close, 0, 0}));
}

// ---- the events through the window procedure and the mouse router ------

struct routing_test : ::testing::Test {
    testing::call_log log;
    frame_image frame{8, 8};
    testing::recording_applet bootstrap{log, "applet"};
    test::fake_library_loader loader{};  // no library is ever loaded
    applet library{loader};
    testing::idle_windows windows;
    logging_display display{log};
    shell host{frame, bootstrap, library, windows, display};
    testing::recording_window_calls calls{log};
    mouse_router mouse{calls, drag_distance, drag_distance, nullptr};
    window_procedure procedure{host, library, display, mouse, calls};
    input_state state;

    void feed(const SDL_Event& e) {
        calls.client_origin = {0, 0};  // tamber's wheel messages carry client positions
        for (const window_message& m : translate_event(e, state)) procedure.handle(m.message, m.wparam, m.lparam);
    }
};

TEST_F(routing_test, a_held_press_becomes_a_drag_beyond_four_pixels_and_escape_cancels_it) {
    testing::recording_drag drag(log);
    bootstrap.press_answer = TAMBER_PRESS_HOLD;
    bootstrap.drag = &drag.object;
    feed(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 100, 100));
    feed(motion(104, 96));  // within the drag distance: still a press
    EXPECT_FALSE(mouse.dragging());
    feed(motion(105, 100));
    EXPECT_TRUE(mouse.dragging());
    log.clear();
    feed(key(SDL_KEYDOWN, SDLK_ESCAPE));
    EXPECT_THAT(log, ElementsAre("drag.cancel", "drag.Release", "ReleaseCapture", "applet.mouse_move 0 0",
                                 "applet.on_wm_char 27"));
    EXPECT_FALSE(mouse.dragging());
}

TEST_F(routing_test, a_double_click_a_wheel_turn_keys_and_text_reach_the_applet) {
    feed(motion(30, 40));
    feed(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 30, 40));
    feed(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 30, 40));
    feed(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 30, 40, 2));
    feed(button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 30, 40));
    feed(wheel(-1));
    feed(key(SDL_KEYDOWN, SDLK_a));
    feed(key(SDL_KEYDOWN, SDLK_a, KMOD_NONE, 1));
    feed(text("a"));
    feed(key(SDL_KEYUP, SDLK_a));
    EXPECT_THAT(log, ElementsAre("applet.mouse_move 30 40", "applet.mouse_down 0 30 40 0", "applet.mouse_click 0 30 40 0",
                                 "applet.mouse_up 0 30 40", "applet.mouse_down 0 30 40 1",
                                 "applet.mouse_click 0 30 40 1", "applet.mouse_up 0 30 40",
                                 "applet.mouse_wheel 30 40 -120", "applet.key_down 65", "applet.key_repeat 65",
                                 "applet.on_wm_char 97", "applet.key_up 65"));
}

TEST_F(routing_test, alt_enter_toggles_the_display_and_losing_focus_ends_a_drag) {
    testing::recording_drag drag(log);
    bootstrap.press_answer = TAMBER_PRESS_DRAG;
    bootstrap.drag = &drag.object;
    feed(key(SDL_KEYDOWN, SDLK_RETURN, KMOD_LALT));
    feed(button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 10, 10));
    ASSERT_TRUE(mouse.dragging());
    log.clear();
    feed(window_event(SDL_WINDOWEVENT_FOCUS_LOST));
    EXPECT_FALSE(mouse.dragging());
    EXPECT_THAT(log, ::testing::Contains("drag.cancel"));
}

}  // namespace
}  // namespace tamber::sdl
