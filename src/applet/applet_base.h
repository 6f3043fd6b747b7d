// The nineteen operations every applet offers, in virtual-table slot order.
// The host drives exactly one applet at a time through this interface: the
// bootstrap applet until the lobby library is bound, then the library.
#pragma once

#include <cstdint>

#include "tamber_applet.h"

namespace tamber {

using cursor_handle = void*;  // null: the host's arrow cursor
using window_handle = void*;  // the main window, as the platform names it

class applet_base {
public:
    /* 0 */ virtual void receive_packet(uint32_t a, uint32_t b) = 0;
    /* 1 */ virtual void update(uint32_t elapsed) = 0;
    /* 2 */ virtual void render(uint32_t elapsed, frame_view* frame, int32_t x, int32_t y) = 0;
    /* 3 */ virtual void render2(frame_view* frame) = 0;
    /* 4 */ virtual cursor_handle get_cursor(int32_t x, int32_t y) = 0;
    /* 5 */ virtual int32_t mouse_down(int32_t button, int32_t x, int32_t y, int32_t double_click) = 0;
    /* 6 */ virtual drag_operation* mouse_drag(int32_t button, int32_t x, int32_t y) = 0;
    /* 7 */ virtual void mouse_click(int32_t button, int32_t x, int32_t y, int32_t double_click) = 0;
    /* 8 */ virtual void mouse_wheel(int32_t x, int32_t y, int32_t delta) = 0;
    /* 9 */ virtual void mouse_move(int32_t x, int32_t y) = 0;
    /* 10 */ virtual void mouse_up(int32_t button, int32_t x, int32_t y) = 0;
    /* 11 */ virtual void key_down(uint32_t vk) = 0;
    /* 12 */ virtual void key_repeat(uint32_t vk) = 0;
    /* 13 */ virtual void key_up(uint32_t vk) = 0;
    /* 14 */ virtual int32_t get_balance() = 0;
    /* 15 */ virtual void set_message(uint32_t message) = 0;
    /* 16 */ virtual int32_t io_state(uint32_t value) = 0;
    /* 17 */ virtual void on_wm_char(uint32_t character) = 0;
    /* 18 */ virtual void set_server_path(const char* url) = 0;

protected:
    // Applets are objects of static storage duration destroyed by their own
    // class; the interface itself is never deleted through.
    ~applet_base() = default;
};

}  // namespace tamber
