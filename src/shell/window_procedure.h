// The main window's procedure as decisions: a window message (with its
// Windows number and parameters) becomes calls on the current applet, the
// library-backed applet, the mouse router, the display and the shell's
// display-mode switch, plus an answer for the system. The Win32 window
// procedure feeds every message through handle() and calls DefWindowProcW
// when the answer asks for it.
#pragma once

#include <cstdint>

#include "applet/applet.h"
#include "draw/frame_image.h"
#include "shell/input.h"
#include "shell/shell.h"

namespace tamber {

// Window message numbers.
namespace wm {
constexpr uint32_t destroy = 0x0002;
constexpr uint32_t paint = 0x000F;
constexpr uint32_t close = 0x0010;
constexpr uint32_t erase_background = 0x0014;
constexpr uint32_t cancel_mode = 0x001F;
constexpr uint32_t key_down = 0x0100;
constexpr uint32_t key_up = 0x0101;
constexpr uint32_t character = 0x0102;
constexpr uint32_t command = 0x0111;
constexpr uint32_t system_command = 0x0112;
constexpr uint32_t mouse_move = 0x0200;
constexpr uint32_t left_button_down = 0x0201;
constexpr uint32_t left_button_up = 0x0202;
constexpr uint32_t left_button_double_click = 0x0203;
constexpr uint32_t right_button_down = 0x0204;
constexpr uint32_t right_button_up = 0x0205;
constexpr uint32_t right_button_double_click = 0x0206;
constexpr uint32_t middle_button_down = 0x0207;
constexpr uint32_t middle_button_up = 0x0208;
constexpr uint32_t middle_button_double_click = 0x0209;
constexpr uint32_t mouse_wheel = 0x020A;
constexpr uint32_t enter_menu_loop = 0x0211;
constexpr uint32_t exit_menu_loop = 0x0212;
constexpr uint32_t lobby = TAMBER_WM_LOBBY;                // WM_APP + 2
constexpr uint32_t toggle_display_mode = TAMBER_WM_TOGGLE_MODE;  // WM_APP + 3
constexpr uint32_t async_select = TAMBER_WM_ASYNC_SELECT;  // WM_APP + 0x101
}  // namespace wm

// The accelerator command of Alt+Enter.
constexpr uint32_t command_toggle_display_mode = ID_TOGGLE_DISPLAY_MODE;

// System commands refused in fullscreen mode (low four bits cleared).
constexpr uint32_t sc_mouse_menu = 0xF090;
constexpr uint32_t sc_key_menu = 0xF100;
constexpr uint32_t sc_screen_save = 0xF140;
constexpr uint32_t sc_monitor_power = 0xF170;

// How blit_to_screen copies: as soon as it can, or waiting so as not to tear.
enum class blit_mode { plain, no_tearing };

// What the window procedure asks of the display device.
class window_display {
public:
    virtual void close() = 0;
    virtual int32_t blit_to_screen(blit_mode mode) = 0;
    virtual bool is_fullscreen() const = 0;

protected:
    ~window_display() = default;
};

// The window-system calls of the window procedure beyond input routing.
class window_calls : public input_system {
public:
    virtual point screen_to_client(point screen) = 0;
    virtual void hide_window() = 0;  // ShowWindow SW_HIDE
    // WM_DESTROY: the main window is gone; PostQuitMessage(0).
    virtual void window_destroyed() = 0;
    // BeginPaint; filling the paint rectangle with the black stock brush;
    // EndPaint.
    virtual void begin_paint() = 0;
    virtual void fill_paint_black() = 0;
    virtual void end_paint() = 0;

protected:
    ~window_calls() = default;
};

struct message_answer {
    bool call_default;  // pass the message on to DefWindowProcW
    intptr_t result;    // the procedure's result when not passed on
};

class window_procedure {
public:
    window_procedure(shell& host, applet& library, window_display& display, mouse_router& mouse,
                     window_calls& calls)
        : host_(host), library_(library), display_(display), mouse_(mouse), calls_(calls) {}

    message_answer handle(uint32_t message, uintptr_t wparam, intptr_t lparam);

private:
    shell& host_;
    applet& library_;
    window_display& display_;
    mouse_router& mouse_;
    window_calls& calls_;
};

// A window rectangle (already grown from the client rectangle by the
// window's frame) of width w and height h, shrunk to the work area where it
// does not fit and centred in it; odd leftovers are truncated.
rect fit_window_rect(const rect& window, const rect& work_area);

}  // namespace tamber
