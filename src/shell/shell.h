// The shell's heart: which applet is current, the frame step and the message
// loop. The Win32 pieces they need (messages, time, cursor, the display) are
// reached through two small seams so that the same code runs natively
// under test.
#pragma once

#include <cstdint>

#include "applet/applet.h"
#include "applet/applet_base.h"
#include "draw/frame_image.h"
#include "resources/resource_ids.h"

namespace tamber {

struct point {
    int32_t x, y;
};

// Answers of the display-mode dialog: its buttons' ids.
enum : int32_t {
    dialog_retry = IDC_RETRY,
    dialog_fullscreen = IDC_FULLSCREEN,
    dialog_quit = IDC_QUIT,
};

// Presentation modes of present_frame.
enum : int { present_blit = 0, present_blit_no_tearing = 1, present_flip = 2 };

// What the loop and the frame step ask of the windowing system.
class window_system {
public:
    virtual uint32_t time_ms() = 0;  // timeGetTime
    // A message is waiting for any window of the thread (not removed).
    virtual bool message_waiting() = 0;
    // Retrieves one message and handles it (accelerators, translation,
    // dispatch). Returns false for WM_QUIT, with its wParam in exit_code.
    virtual bool handle_message(int& exit_code) = 0;
    virtual void sleep_ms(uint32_t ms) = 0;
    // The pointer position in client coordinates of the main window.
    virtual point cursor_position() = 0;
    virtual bool is_foreground() = 0;
    // Runs the display-mode dialog modally; returns the button id.
    virtual int32_t display_mode_dialog() = 0;
    // Posts WM_CLOSE (0, 0) to the main window.
    virtual void post_close() = 0;

protected:
    ~window_system() = default;
};

// What the frame step asks of the display device.
class display_control {
public:
    virtual int32_t check_device() = 0;  // negative: may not draw now
    virtual bool is_fullscreen() const = 0;
    virtual bool desktop_depth_supported() = 0;
    virtual bool switch_to_fullscreen() = 0;
    virtual int32_t present_frame(const frame_view& view, int mode) = 0;

protected:
    ~display_control() = default;
};

// Told after every presented frame (the host's frame statistics).
class frame_listener {
public:
    virtual void frame_presented(uint32_t now_ms) = 0;

protected:
    ~frame_listener() = default;
};

class shell {
public:
    // Reads the clock: the first frame's elapsed time counts from here.
    shell(frame_image& frame, applet_base& bootstrap, applet& library, window_system& windows,
          display_control& display);

    // The library-backed applet once it holds a library, else the bootstrap
    // applet. Chosen afresh at every use: loading the lobby library is the
    // whole handover.
    applet_base& current_applet();

    // One frame: update, then (when the display may draw) render and
    // present. Returns true when the loop should sleep 20 ms.
    bool run_frame();

    // Every waiting message first, one per pass; a frame whenever the queue
    // is empty. Returns WM_QUIT's code.
    int run_message_loop();

    void set_frame_listener(frame_listener* listener) { listener_ = listener; }

    void set_in_menu_loop(bool on) { in_menu_loop_ = on; }
    bool in_menu_loop() const { return in_menu_loop_; }

private:
    frame_image& frame_;
    applet_base& bootstrap_;
    applet& library_;
    window_system& windows_;
    display_control& display_;
    uint32_t last_frame_time_;
    bool in_menu_loop_ = false;
    frame_listener* listener_ = nullptr;
};

}  // namespace tamber
