// The browser's input records as window messages: the rules the window
// procedure and mouse router rely on, as the Win32 and SDL hosts give them.
#include <gtest/gtest.h>

#include <vector>

#include "platform/web/web_events.h"
#include "shell/window_procedure.h"

namespace tamber::web {
namespace {

std::vector<window_message> translate(event_kind kind, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0) {
    static input_state state;
    return translate_event({kind, a, b, c, d}, state);
}

TEST(web_events, buttons_clicks_and_the_wheel_carry_the_held_buttons_and_the_last_position) {
    input_state state;
    auto run = [&](event_kind kind, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0) {
        return translate_event({kind, a, b, c, d}, state);
    };
    EXPECT_EQ(run(event_kind::mouse_move, 10, 20), (std::vector<window_message>{{wm::mouse_move, 0, pack_point(10, 20)}}));
    // The page's right button is 2, the message order's 1.
    EXPECT_EQ(run(event_kind::mouse_down, 11, 21, 2, 1),
              (std::vector<window_message>{{wm::right_button_down, mk_right, pack_point(11, 21)}}));
    EXPECT_EQ(run(event_kind::mouse_down, 12, 22, 0, 2),
              (std::vector<window_message>{{wm::left_button_double_click, mk_left | mk_right, pack_point(12, 22)}}));
    // A third click is a plain press again, as on Windows.
    EXPECT_EQ(run(event_kind::mouse_down, 12, 22, 0, 3)[0].message, wm::left_button_down);
    EXPECT_EQ(run(event_kind::mouse_up, 13, 23, 2)[0], (window_message{wm::right_button_up, mk_left, pack_point(13, 23)}));
    // The wheel has no position of its own: the last one, and -120 a notch
    // towards the player in the high word.
    const auto wheel = run(event_kind::wheel, -1);
    ASSERT_EQ(wheel.size(), 1u);
    EXPECT_EQ(wheel[0].wparam, (uintptr_t{0xFF88} << 16) | mk_left);
    EXPECT_EQ(wheel[0].lparam, pack_point(13, 23));
    EXPECT_EQ(run(event_kind::mouse_up, 13, 23, 0)[0].wparam, 0u);
    // Positions off the canvas (a captured drag) keep their sign.
    EXPECT_EQ(run(event_kind::mouse_move, -5, 700)[0].lparam, pack_point(-5, 700));
    EXPECT_EQ(static_cast<int16_t>(static_cast<uint32_t>(pack_point(-5, 700)) & 0xFFFF), -5);
    // Other buttons and a still wheel give nothing.
    EXPECT_TRUE(run(event_kind::mouse_down, 1, 1, 3, 1).empty());
    EXPECT_TRUE(run(event_kind::wheel, 0).empty());
}

TEST(web_events, keys_follow_translate_message_and_the_accelerator) {
    constexpr int32_t vk_a = 'A', vk_return = 0x0D, vk_escape = 0x1B, vk_f4 = 0x73, vk_f10 = 0x79;
    EXPECT_EQ(translate(event_kind::key_down, vk_a), (std::vector<window_message>{{wm::key_down, 'A', 1}}));
    EXPECT_EQ(translate(event_kind::key_down, vk_a, 1)[0].lparam, 1 | (1 << 30));
    EXPECT_EQ(translate(event_kind::key_up, vk_a), (std::vector<window_message>{{wm::key_up, 'A', static_cast<intptr_t>(0xC0000001u)}}));
    // Escape and Enter bring their WM_CHAR; with Ctrl they do not.
    EXPECT_EQ(translate(event_kind::key_down, vk_escape),
              (std::vector<window_message>{{wm::key_down, 0x1B, 1}, {wm::character, 0x1B, 1}}));
    EXPECT_EQ(translate(event_kind::key_down, vk_return, 0, modifier_ctrl).size(), 1u);
    // Alt+Enter is the display toggle's command, once per press.
    EXPECT_EQ(translate(event_kind::key_down, vk_return, 0, modifier_alt),
              (std::vector<window_message>{{wm::command, (uintptr_t{1} << 16) | command_toggle_display_mode, 0}}));
    EXPECT_TRUE(translate(event_kind::key_down, vk_return, 1, modifier_alt).empty());
    // Alt+F4 and F10 are system keys, which the default procedure acts on.
    EXPECT_EQ(translate(event_kind::key_down, vk_f4, 0, modifier_alt),
              (std::vector<window_message>{{extra_wm::system_key_down, 0x73, 1 | (1 << 29)}}));
    EXPECT_EQ(translate(event_kind::key_down, vk_f10)[0].message, extra_wm::system_key_down);
    EXPECT_EQ(translate(event_kind::key_up, vk_f10)[0].message, extra_wm::system_key_up);
    // Keys without a code, and codes out of range, give nothing.
    EXPECT_TRUE(translate(event_kind::key_down, 0).empty());
    EXPECT_TRUE(translate(event_kind::key_down, 0x1FF).empty());
}

TEST(web_events, characters_focus_and_close) {
    EXPECT_EQ(translate(event_kind::character, 0xD83C), (std::vector<window_message>{{wm::character, 0xD83C, 1}}));
    EXPECT_TRUE(translate(event_kind::character, 0x10000).empty());
    EXPECT_TRUE(translate(event_kind::character, 0).empty());
    EXPECT_EQ(translate(event_kind::focus, 0),
              (std::vector<window_message>{{extra_wm::kill_focus, 0, 0}, {wm::cancel_mode, 0, 0}}));
    EXPECT_EQ(translate(event_kind::focus, 1), (std::vector<window_message>{{extra_wm::set_focus, 0, 0}}));
    EXPECT_EQ(translate(event_kind::close), (std::vector<window_message>{{wm::close, 0, 0}}));
    EXPECT_TRUE(translate(static_cast<event_kind>(42)).empty());
}

}  // namespace
}  // namespace tamber::web
