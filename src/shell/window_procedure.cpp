#include "shell/window_procedure.h"

#include <algorithm>

namespace tamber {

namespace {
constexpr message_answer pass_on{true, 0};
constexpr message_answer answer(intptr_t result) { return {false, result}; }

// The signed 16-bit halves of a message parameter.
int32_t low_signed(uintptr_t value) { return static_cast<int16_t>(static_cast<uint16_t>(value & 0xFFFF)); }
int32_t high_signed(uintptr_t value) { return static_cast<int16_t>(static_cast<uint16_t>((value >> 16) & 0xFFFF)); }
uint32_t low_word(uintptr_t value) { return static_cast<uint32_t>(value & 0xFFFF); }
uint32_t high_word(uintptr_t value) { return static_cast<uint32_t>((value >> 16) & 0xFFFF); }
}  // namespace

message_answer window_procedure::handle(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    const auto lp = static_cast<uintptr_t>(lparam);
    const int32_t x = low_signed(lp), y = high_signed(lp);
    switch (message) {
    case wm::destroy:
        calls_.window_destroyed();
        return pass_on;
    case wm::paint:
        calls_.begin_paint();
        if (display_.blit_to_screen(blit_mode::plain) < 0) calls_.fill_paint_black();
        calls_.end_paint();
        return answer(0);
    case wm::close:
        library_.on_wm_close();
        display_.close();
        calls_.hide_window();
        return pass_on;  // the default procedure destroys the window
    case wm::erase_background:
        return answer(1);
    case wm::cancel_mode:
        mouse_.cancel_drag(host_.current_applet());
        return pass_on;
    case wm::key_down:
        mouse_.key_pressed(host_.current_applet(), static_cast<uint32_t>(wparam), low_word(lp),
                           (high_word(lp) & 0x4000) != 0);
        return answer(0);
    case wm::key_up:
        host_.current_applet().key_up(static_cast<uint32_t>(wparam));
        return answer(0);
    case wm::character:
        host_.current_applet().on_wm_char(static_cast<uint32_t>(wparam));
        return pass_on;
    case wm::command:
        if (low_word(wparam) == command_toggle_display_mode) host_.toggle_display_mode();
        return pass_on;
    case wm::system_command:
        if (display_.is_fullscreen()) {
            switch (wparam & 0xFFF0) {
            case sc_mouse_menu:
            case sc_key_menu:
            case sc_screen_save:
            case sc_monitor_power:
                return answer(0);  // nothing interrupts fullscreen mode
            default:
                break;
            }
        }
        return pass_on;
    case wm::mouse_move:
        mouse_.pointer_moved(host_.current_applet(), x, y);
        return pass_on;
    case wm::left_button_down:
    case wm::right_button_down:
    case wm::middle_button_down:
        mouse_.button_down(host_.current_applet(), static_cast<int32_t>((message - wm::left_button_down) / 3), x, y,
                           0);
        return pass_on;
    case wm::left_button_double_click:
    case wm::right_button_double_click:
    case wm::middle_button_double_click:
        mouse_.button_down(host_.current_applet(),
                           static_cast<int32_t>((message - wm::left_button_double_click) / 3), x, y, 1);
        return pass_on;
    case wm::left_button_up:
    case wm::right_button_up:
    case wm::middle_button_up:
        mouse_.button_up(host_.current_applet(), static_cast<int32_t>((message - wm::left_button_up) / 3), x, y);
        return pass_on;
    case wm::mouse_wheel: {
        const point p = calls_.screen_to_client({x, y});
        mouse_.wheel_turned(host_.current_applet(), p.x, p.y, high_signed(wparam));
        return pass_on;
    }
    case wm::enter_menu_loop:
        host_.set_in_menu_loop(true);
        return pass_on;
    case wm::exit_menu_loop:
        host_.set_in_menu_loop(false);
        return pass_on;
    case wm::lobby:
        library_.on_wm_lobby();
        return pass_on;
    case wm::toggle_display_mode:
        host_.toggle_display_mode();
        return pass_on;
    case wm::async_select:
        library_.on_wm_async_select(high_word(lp));
        return pass_on;
    default:
        return pass_on;
    }
}

rect fit_window_rect(const rect& window, const rect& work_area) {
    const int64_t work_width = int64_t{work_area.right} - work_area.left;
    const int64_t work_height = int64_t{work_area.bottom} - work_area.top;
    const int64_t w = std::min<int64_t>(int64_t{window.right} - window.left, work_width);
    const int64_t h = std::min<int64_t>(int64_t{window.bottom} - window.top, work_height);
    rect out;
    out.left = static_cast<int32_t>(work_area.left + (work_width - w) / 2);
    out.top = static_cast<int32_t>(work_area.top + (work_height - h) / 2);
    out.right = static_cast<int32_t>(out.left + w);
    out.bottom = static_cast<int32_t>(out.top + h);
    return out;
}

}  // namespace tamber
