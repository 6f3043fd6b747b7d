#include "shell/window_messages.h"

#include "shell/window_procedure.h"

namespace tamber {

namespace {

constexpr uint32_t vk_back = 0x08, vk_tab = 0x09, vk_return = 0x0D, vk_escape = 0x1B, vk_alt = 0x12,
                   vk_f4 = 0x73, vk_f10 = 0x79;

// The character TranslateMessage adds after WM_KEYDOWN of a key that types
// a control character; 0 for the others (their text comes on its own).
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

}  // namespace

intptr_t pack_point(int32_t x, int32_t y) {
    const uint32_t packed = (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) | static_cast<uint16_t>(x);
    return static_cast<intptr_t>(packed);
}

uint32_t button_flag(mouse_button button) {
    switch (button) {
    case mouse_button::left:
        return mk_left;
    case mouse_button::right:
        return mk_right;
    case mouse_button::middle:
        return mk_middle;
    }
    return 0;
}

window_message button_message(mouse_button button, bool down, uint32_t clicks, uint32_t buttons, int32_t x,
                              int32_t y) {
    const uint32_t index = static_cast<uint32_t>(button);
    uint32_t message;
    if (down) {
        const bool double_click = clicks >= 2 && clicks % 2 == 0;
        message = (double_click ? wm::left_button_double_click : wm::left_button_down) + 3 * index;
    } else {
        message = wm::left_button_up + 3 * index;
    }
    return {message, buttons, pack_point(x, y)};
}

window_message wheel_message(int32_t notches, uint32_t buttons, int32_t x, int32_t y) {
    const int32_t delta = notches * wheel_delta;
    const uintptr_t wparam = (static_cast<uintptr_t>(static_cast<uint16_t>(delta)) << 16) | buttons;
    return {wm::mouse_wheel, wparam, pack_point(x, y)};
}

void key_messages(const key_event& key, std::vector<window_message>& out) {
    const uint32_t vk = key.vk;
    if (vk == 0) return;
    const bool alt_down = key.alt || vk == vk_alt;
    const bool alt = alt_down || vk == vk_f10;
    const uint32_t context = alt_down ? 1u << 29 : 0;
    if (key.down) {
        if (vk == vk_return && alt && !key.ctrl) {
            // The accelerator table's Alt+Enter; an auto-repeat does not
            // toggle the display again and again.
            if (!key.repeat) out.push_back({wm::command, (uintptr_t{1} << 16) | command_toggle_display_mode, 0});
            return;
        }
        uint32_t lparam = 1;
        if (key.repeat) lparam |= 1u << 30;
        if (alt && !key.ctrl) {
            out.push_back({extra_wm::system_key_down, vk, static_cast<intptr_t>(lparam | context)});
            return;
        }
        out.push_back({wm::key_down, vk, static_cast<intptr_t>(lparam)});
        if (const uint32_t c = control_character(vk); c != 0 && !key.ctrl)
            out.push_back({wm::character, c, static_cast<intptr_t>(lparam)});
        return;
    }
    const uint32_t lparam = 1u | (1u << 30) | (1u << 31);
    if (alt && !key.ctrl)
        out.push_back({extra_wm::system_key_up, vk, static_cast<intptr_t>(lparam | context)});
    else
        out.push_back({wm::key_up, vk, static_cast<intptr_t>(lparam)});
}

bool dispatch_message(window_procedure& procedure, const window_message& m, std::deque<window_message>& queue) {
    const message_answer answer = procedure.handle(m.message, m.wparam, m.lparam);
    if (!answer.call_default) return false;
    if (m.message == wm::close) {
        procedure.handle(wm::destroy, 0, 0);
        return true;
    }
    if (m.message == extra_wm::system_key_down && m.wparam == vk_f4) queue.push_front({wm::close, 0, 0});
    return false;
}

}  // namespace tamber
