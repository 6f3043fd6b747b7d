#include "platform/web/web_events.h"

#include "shell/window_procedure.h"

namespace tamber::web {

namespace {

// The page's buttons (0 left, 1 middle, 2 right) in the order of the
// WM_xBUTTON message numbers.
bool page_button(int32_t page, mouse_button& button) {
    switch (page) {
    case 0:
        button = mouse_button::left;
        return true;
    case 1:
        button = mouse_button::middle;
        return true;
    case 2:
        button = mouse_button::right;
        return true;
    default:
        return false;
    }
}

}  // namespace

std::vector<window_message> translate_event(const input_event& event, input_state& state) {
    std::vector<window_message> out;
    switch (event.kind) {
    case event_kind::mouse_move:
        state.x = event.a;
        state.y = event.b;
        out.push_back({wm::mouse_move, state.buttons, pack_point(state.x, state.y)});
        break;
    case event_kind::mouse_down:
    case event_kind::mouse_up: {
        mouse_button button;
        if (!page_button(event.c, button)) break;
        state.x = event.a;
        state.y = event.b;
        const bool down = event.kind == event_kind::mouse_down;
        if (down)
            state.buttons |= button_flag(button);
        else
            state.buttons &= ~button_flag(button);
        out.push_back(button_message(button, down, static_cast<uint32_t>(event.d), state.buttons, state.x, state.y));
        break;
    }
    case event_kind::wheel:
        if (event.a != 0) out.push_back(wheel_message(event.a, state.buttons, state.x, state.y));
        break;
    case event_kind::key_down:
    case event_kind::key_up:
        // Codes above 0xFE are not virtual keys.
        if (event.a > 0 && event.a <= 0xFE)
            key_messages({static_cast<uint32_t>(event.a), event.kind == event_kind::key_down, event.b != 0,
                          (event.c & modifier_alt) != 0, (event.c & modifier_ctrl) != 0},
                         out);
        break;
    case event_kind::character:
        if (event.a > 0 && event.a <= 0xFFFF) out.push_back({wm::character, static_cast<uintptr_t>(event.a), 1});
        break;
    case event_kind::focus:
        if (event.a) {
            out.push_back({extra_wm::set_focus, 0, 0});
        } else {
            out.push_back({extra_wm::kill_focus, 0, 0});
            out.push_back({wm::cancel_mode, 0, 0});
        }
        break;
    case event_kind::close:
        out.push_back({wm::close, 0, 0});
        break;
    }
    return out;
}

}  // namespace tamber::web
