// Browser input as the window messages quillon.exe's window procedure
// receives: the page's listeners (web_host.js) hand over each DOM event as
// a small record, and these rules turn it into Windows message numbers with
// their parameters packed the Windows way, so the portable window procedure
// and mouse router route it exactly as they route Win32 input. Plain C++:
// the rules are tested natively.
#pragma once

#include <cstdint>
#include <vector>

namespace tamber::web {

// Window messages the translation produces beyond those the window
// procedure names (it passes these on untouched, as Windows' would).
namespace extra_wm {
constexpr uint32_t set_focus = 0x0007;
constexpr uint32_t kill_focus = 0x0008;
constexpr uint32_t system_key_down = 0x0104;
constexpr uint32_t system_key_up = 0x0105;
}  // namespace extra_wm

// Mouse-button flags of mouse messages' wParam (MK_*).
constexpr uint32_t mk_left = 0x0001;
constexpr uint32_t mk_right = 0x0002;
constexpr uint32_t mk_middle = 0x0010;

// One wheel notch, as Windows counts it (WHEEL_DELTA).
constexpr int32_t wheel_delta = 120;

// How far a held press moves before it is a drag: the Windows default of
// SM_CXDRAG and SM_CYDRAG, as the native host uses.
constexpr int32_t drag_distance = 4;

struct window_message {
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
    bool operator==(const window_message&) const = default;
};

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
//   key_down     WM_KEYDOWN (repeat count 1, bit 30 set for an auto-repeat);
//                with Alt held, and for F10, WM_SYSKEYDOWN; Alt+Enter is
//                the accelerator's WM_COMMAND instead; Backspace, Tab,
//                Enter and Escape are followed by their WM_CHAR, as
//                TranslateMessage does
//   key_up       WM_KEYUP / WM_SYSKEYUP (bits 30 and 31 set)
//   character    WM_CHAR
//   focus        WM_SETFOCUS; WM_KILLFOCUS then WM_CANCELMODE
//   close        WM_CLOSE
// Unknown kinds and keys without a virtual-key code give nothing.
std::vector<window_message> translate_event(const input_event& event, input_state& state);

// MAKELPARAM of a client position: two signed 16-bit halves.
intptr_t pack_point(int32_t x, int32_t y);

}  // namespace tamber::web
