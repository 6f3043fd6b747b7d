#include "platform/web/web_events.h"

#include "shell/window_procedure.h"

namespace tamber::web {

namespace {

constexpr uint32_t vk_back = 0x08;
constexpr uint32_t vk_tab = 0x09;
constexpr uint32_t vk_return = 0x0D;
constexpr uint32_t vk_alt = 0x12;
constexpr uint32_t vk_escape = 0x1B;
constexpr uint32_t vk_f10 = 0x79;

// The WM_CHAR that TranslateMessage adds after these keys' WM_KEYDOWN.
uint32_t control_character(uint32_t vk) {
    switch (vk) {
    case vk_back:
    case vk_tab:
    case vk_return:
    case vk_escape:
        return vk;
    default:
        return 0;
    }
}

// The page's buttons (0 left, 1 middle, 2 right) as the order of the
// WM_xBUTTON message numbers (0 left, 1 right, 2 middle) and their MK flag.
bool button(int32_t page_button, uint32_t& index, uint32_t& flag) {
    switch (page_button) {
    case 0:
        index = 0, flag = mk_left;
        return true;
    case 1:
        index = 2, flag = mk_middle;
        return true;
    case 2:
        index = 1, flag = mk_right;
        return true;
    default:
        return false;
    }
}

void translate_key(const input_event& event, std::vector<window_message>& out) {
    const auto vk = static_cast<uint32_t>(event.a);
    if (vk == 0 || vk > 0xFE) return;
    // Windows makes system keys of Alt, of keys pressed with it, and of F10;
    // bit 29 of lParam says Alt is down.
    const bool alt_down = (event.c & modifier_alt) != 0 || vk == vk_alt;
    const bool alt = alt_down || vk == vk_f10;
    const uint32_t context = alt_down ? 1u << 29 : 0;
    const bool ctrl = (event.c & modifier_ctrl) != 0;
    if (event.kind == event_kind::key_down) {
        const bool repeat = event.b != 0;
        if (vk == vk_return && alt && !ctrl) {
            // The accelerator table's Alt+Enter; an auto-repeat does not
            // toggle the display again and again.
            if (!repeat) out.push_back({wm::command, (uintptr_t{1} << 16) | command_toggle_display_mode, 0});
            return;
        }
        uint32_t lparam = 1;
        if (repeat) lparam |= 1u << 30;
        if (alt && !ctrl) {
            out.push_back({extra_wm::system_key_down, vk, static_cast<intptr_t>(lparam | context)});
            return;
        }
        out.push_back({wm::key_down, vk, static_cast<intptr_t>(lparam)});
        if (const uint32_t c = control_character(vk); c != 0 && !ctrl)
            out.push_back({wm::character, c, static_cast<intptr_t>(lparam)});
        return;
    }
    const uint32_t lparam = 1u | (1u << 30) | (1u << 31);
    if (alt && !ctrl)
        out.push_back({extra_wm::system_key_up, vk, static_cast<intptr_t>(lparam | context)});
    else
        out.push_back({wm::key_up, vk, static_cast<intptr_t>(lparam)});
}

}  // namespace

intptr_t pack_point(int32_t x, int32_t y) {
    const uint32_t packed = (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) | static_cast<uint16_t>(x);
    return static_cast<intptr_t>(packed);
}

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
        uint32_t index = 0, flag = 0;
        if (!button(event.c, index, flag)) break;
        state.x = event.a;
        state.y = event.b;
        uint32_t message;
        if (event.kind == event_kind::mouse_down) {
            state.buttons |= flag;
            const bool double_click = event.d >= 2 && event.d % 2 == 0;
            message = (double_click ? wm::left_button_double_click : wm::left_button_down) + 3 * index;
        } else {
            state.buttons &= ~flag;
            message = wm::left_button_up + 3 * index;
        }
        out.push_back({message, state.buttons, pack_point(state.x, state.y)});
        break;
    }
    case event_kind::wheel: {
        if (event.a == 0) break;
        const int32_t delta = event.a * wheel_delta;
        const uintptr_t wparam = (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16) | state.buttons;
        out.push_back({wm::mouse_wheel, wparam, pack_point(state.x, state.y)});
        break;
    }
    case event_kind::key_down:
    case event_kind::key_up:
        translate_key(event, out);
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
