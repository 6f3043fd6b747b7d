// Mouse and keyboard routing: the shell decides between a click and a drag,
// holds the drag operation an applet lends it, and keeps the cursor shape up
// to date after every mouse event. Every event goes to the applet the caller
// names (the current applet at the time of the event).
#pragma once

#include <cstdint>

#include "applet/applet_base.h"
#include "shell/shell.h"

namespace tamber {

// The window-system calls input routing makes (on the main window).
class input_system {
public:
    virtual void set_capture() = 0;
    virtual void release_capture() = 0;
    virtual void set_cursor(cursor_handle cursor) = 0;
    // GetCursorPos, converted to client coordinates of the main window.
    virtual point cursor_position() = 0;

protected:
    ~input_system() = default;
};

constexpr uint32_t vk_escape = 0x1B;

// The mouse-routing state: idle, a pending press (mouse_down answered
// "hold" for a single press), or dragging (a drag_operation is held and
// the mouse is captured).
class mouse_router {
public:
    // drag_width and drag_height: how far a held press may move before it
    // becomes a drag (SM_CXDRAG, SM_CYDRAG). arrow: the cursor shown when
    // nobody names one.
    mouse_router(input_system& system, int32_t drag_width, int32_t drag_height, cursor_handle arrow);
    // Releases an active drag (without cancelling it).
    ~mouse_router();
    mouse_router(const mouse_router&) = delete;
    mouse_router& operator=(const mouse_router&) = delete;

    void button_down(applet_base& target, int32_t button, int32_t x, int32_t y, int32_t double_click);
    void begin_drag(applet_base& target, int32_t button, int32_t x, int32_t y);
    void pointer_moved(applet_base& target, int32_t x, int32_t y);
    void button_up(applet_base& target, int32_t button, int32_t x, int32_t y);
    void wheel_turned(applet_base& target, int32_t x, int32_t y, int32_t delta);
    // Ends an active drag with `cancel`, then tells the applet where the
    // pointer is. The pending press is left as it is.
    void cancel_drag(applet_base& target);
    // WM_KEYDOWN: the virtual key, the repeat count and whether the key was
    // already down.
    void key_pressed(applet_base& target, uint32_t vk, uint32_t repeat_count, bool was_down);
    void update_cursor(applet_base& target, int32_t x, int32_t y);

    bool dragging() const { return drag_ != nullptr; }
    bool press_pending() const { return pending_; }

private:
    input_system& system_;
    drag_operation* drag_ = nullptr;  // one counted reference while set
    int32_t drag_button_ = 0;
    bool pending_ = false;
    int32_t pending_button_ = 0, pending_x_ = 0, pending_y_ = 0;
    int32_t drag_width_, drag_height_;
    cursor_handle arrow_;
};

}  // namespace tamber
