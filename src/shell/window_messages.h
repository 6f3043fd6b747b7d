// Input as the window messages quillon.exe's window procedure receives, for
// the hosts whose input does not come as Win32 messages (tamber's SDL
// events, the browser's DOM events): the Windows message numbers, their
// parameters packed the Windows way, and Windows' rules for which messages
// a key press makes, so that the portable window procedure and mouse router
// route every host's input the same.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

namespace tamber {

// Window messages the translations produce beyond those the window
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

// How far a held press moves before it is a drag, in both directions: the
// Windows default of SM_CXDRAG and SM_CYDRAG, for hosts without such a
// setting.
constexpr int32_t drag_distance = 4;

struct window_message {
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
    bool operator==(const window_message&) const = default;
};

// MAKELPARAM of a client position: two signed 16-bit halves.
intptr_t pack_point(int32_t x, int32_t y);

// A mouse button in the order of the WM_xBUTTON message numbers.
enum class mouse_button : uint32_t { left = 0, right = 1, middle = 2 };
uint32_t button_flag(mouse_button button);

// A press (WM_xBUTTONDOWN; an even click count is WM_xBUTTONDBLCLK, so a
// third click is a plain press again, as on Windows) or a release, at
// (x, y), with `buttons` the MK flags held after it.
window_message button_message(mouse_button button, bool down, uint32_t clicks, uint32_t buttons, int32_t x,
                              int32_t y);

// WM_MOUSEWHEEL: `notches` of wheel_delta (positive away from the user) in
// the high word, the held buttons in the low one, at (x, y).
window_message wheel_message(int32_t notches, uint32_t buttons, int32_t x, int32_t y);

// A key going down (an auto-repeat when `repeat`) or up, with Alt or Ctrl
// held, as the messages Windows makes of it:
//   WM_KEYDOWN (repeat count 1, bit 30 set for an auto-repeat) / WM_KEYUP
//   (bits 30 and 31 set); with Alt held, and for F10, WM_SYSKEYDOWN /
//   WM_SYSKEYUP (bit 29 set while Alt is down), which the procedure leaves
//   alone; Alt+Enter is the accelerator's WM_COMMAND instead (once a
//   press); Backspace, Tab, Enter and Escape are followed by their WM_CHAR,
//   as TranslateMessage does. Nothing for vk 0.
struct key_event {
    uint32_t vk;
    bool down;
    bool repeat;
    bool alt;
    bool ctrl;
};
void key_messages(const key_event& key, std::vector<window_message>& out);

class window_procedure;

// Feeds `m` to `procedure`, then does what Windows' default window procedure
// would do with it where the answer passes it on (call_default), of what
// the hosts that stand in for Windows must do: a closed window is destroyed
// (WM_DESTROY, then it is gone); Alt+F4 closes it at once (WM_CLOSE put at
// the front of `queue`, ahead of whatever input is queued behind the key,
// its key-up among it, however the events were batched). True once the
// window is destroyed.
bool dispatch_message(window_procedure& procedure, const window_message& m, std::deque<window_message>& queue);

}  // namespace tamber
