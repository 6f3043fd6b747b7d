// SDL events as the window messages quillon.exe's window procedure receives:
// the same Windows message numbers, parameters packed the Windows way, so the
// portable window procedure and mouse router (shell/window_procedure.h) route
// them exactly as they route Win32 input.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shell/window_messages.h"

namespace tamber::sdl {

// The message records and packing rules every non-Windows host shares.
using tamber::drag_distance;
using tamber::mk_left;
using tamber::mk_middle;
using tamber::mk_right;
using tamber::pack_point;
using tamber::wheel_delta;
using tamber::window_message;
namespace extra_wm = tamber::extra_wm;

// What translation remembers between events: where the pointer was last
// seen (a wheel message carries the pointer position, an SDL wheel event
// does not) and which buttons are held (the MK_* flags of mouse messages).
struct input_state {
    int32_t x = 0, y = 0;
    uint32_t buttons = 0;
};

// The Windows virtual-key code for an SDL key (VK_*, letters and digits as
// their upper-case ASCII codes); 0 for keys Windows has no code for.
uint32_t virtual_key(SDL_Keycode key);

// The messages one SDL event stands for, in the order the window procedure
// is to receive them; none for events it has no message for.
//   mouse buttons  WM_xBUTTONDOWN / WM_xBUTTONUP; a press whose click count
//                  is even is WM_xBUTTONDBLCLK (a third click is a plain
//                  press again, as on Windows)
//   motion         WM_MOUSEMOVE
//   wheel          WM_MOUSEWHEEL, +-120 per notch (positive away from the
//                  user), at the last pointer position
//   keys           WM_KEYDOWN (repeat count 1, bit 30 set for an
//                  auto-repeat) / WM_KEYUP; with Alt held, and for F10,
//                  WM_SYSKEYDOWN / WM_SYSKEYUP, which the procedure leaves
//                  alone;
//                  Alt+Enter is the accelerator's WM_COMMAND instead;
//                  Backspace, Tab, Enter and Escape are followed by their
//                  WM_CHAR, as TranslateMessage does
//   text           one WM_CHAR per UTF-16 code unit
//   focus          WM_SETFOCUS; WM_KILLFOCUS then WM_CANCELMODE (a drag
//                  does not survive losing the pointer to another window)
//   exposed        WM_PAINT
//   close request  WM_CLOSE (SDL_QUIT too: a signal closes like the window)
std::vector<window_message> translate_event(const SDL_Event& event, input_state& state);

// UTF-8 text as UTF-16 code units; malformed sequences become U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);

}  // namespace tamber::sdl
