// Browser input as the window messages quillon.exe's window procedure
// receives: the page's listeners (web_host.js) hand over each DOM event as
// a small record, and these rules turn it into Windows message numbers with
// their parameters packed the Windows way, so the portable window procedure
// and mouse router route it exactly as they route Win32 input. Plain C++:
// the rules are tested natively.
#pragma once

#include <cstdint>
#include <vector>

#include "shell/window_messages.h"

namespace tamber::web {

// The message records and packing rules every non-Windows host shares.
using tamber::drag_distance;
using tamber::pack_point;
using tamber::window_message;

// The kinds of record the page hands over (web_host.js uses the same
// numbers).
enum class event_kind : int32_t {
    mouse_move = 1,   // x, y
    mouse_down = 2,   // x, y, button (0 left, 1 middle, 2 right), click count
    mouse_up = 3,     // x, y, button
    wheel = 4,        // notches (positive away from the user)
    key_down = 5,     // virtual key, repeat (0 or 1), modifiers
    key_up = 6,       // virtual key, 0, modifiers
    character = 7,    // one UTF-16 code unit
    focus = 8,        // 1 gained, 0 lost
    close = 9,        // the page asks the host to close
};

// Modifier bits of key records.
constexpr int32_t modifier_alt = 1;
constexpr int32_t modifier_ctrl = 2;

struct input_event {
    event_kind kind;
    int32_t a = 0, b = 0, c = 0, d = 0;
};

// What translation remembers between events: where the pointer was last
// seen (a wheel message carries the pointer position, a wheel event does
// not) and which buttons are held (the MK_* flags of mouse messages).
struct input_state {
    int32_t x = 0, y = 0;
    uint32_t buttons = 0;
};

// The messages one event stands for, in the order the window procedure is
// to receive them:
//   mouse_move   WM_MOUSEMOVE
//   mouse_down   WM_xBUTTONDOWN; an even click count is WM_xBUTTONDBLCLK
//                (a third click is a plain press again, as on Windows)
//   mouse_up     WM_xBUTTONUP
//   wheel        WM_MOUSEWHEEL, +-120 per notch, at the last position
//   key_down     as key_messages (shell/window_messages.h) makes it
//   key_up       the same
//   character    WM_CHAR
//   focus        WM_SETFOCUS; WM_KILLFOCUS then WM_CANCELMODE
//   close        WM_CLOSE
// Unknown kinds and keys without a virtual-key code give nothing.
std::vector<window_message> translate_event(const input_event& event, input_state& state);

}  // namespace tamber::web
