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

// Presentation modes of present_frame: a blit into the window, the same
// without tearing, or a flip (a blit without tearing in windowed mode).
enum class present_mode : int { blit = 0, blit_no_tearing = 1, flip = 2 };

// What the loop, the frame step and the display-mode switches ask of the
// windowing system. Calls about the main window are handed it.
class window_system {
public:
    virtual uint32_t time_ms() = 0;  // timeGetTime
    // A message is waiting for any window of the thread (not removed).
    virtual bool message_waiting() = 0;
    // Retrieves one message and handles it (accelerators for the main
    // window, translation, dispatch). Returns false for WM_QUIT, with its
    // wParam in exit_code.
    virtual bool handle_message(window_handle main_window, int& exit_code) = 0;
    virtual void sleep_ms(uint32_t ms) = 0;
    // The pointer position in client coordinates of the main window.
    virtual point cursor_position(window_handle main_window) = 0;
    virtual bool is_foreground(window_handle main_window) = 0;
    // Runs the display-mode dialog modally; returns the button id.
    virtual int32_t display_mode_dialog(window_handle main_window) = 0;
    // Posts WM_CLOSE (0, 0) to the main window.
    virtual void post_close(window_handle main_window) = 0;
    // PlaySoundW with a system sound alias.
    virtual void play_sound_alias(const char16_t* alias, uint32_t flags) = 0;
    // A string-table text in a message box owned by the main window.
    virtual void show_message(window_handle main_window, uint32_t string_id, uint32_t flags) = 0;

protected:
    ~window_system() = default;
};

// What the display device is asked to open: a client area (or display
// mode) of width x height, and in fullscreen mode its colour depth.
struct display_mode {
    uint32_t width;
    uint32_t height;
    uint32_t bits_per_pixel;  // used in fullscreen mode only
};

// What the frame step and the display-mode switches ask of the display
// device. Its answers are result codes; what the user is told of a failure
// is the shell's decision.
class display_control {
public:
    virtual int32_t check_device() = 0;  // negative: may not draw now
    virtual bool is_fullscreen() const = 0;
    virtual bool is_open() const = 0;
    virtual bool desktop_depth_supported() = 0;
    virtual int32_t present_frame(const frame_view& view, present_mode mode) = 0;
    // Opens the display on `window`, closing what was open. An invalid
    // window answers 1400, which is not negative but opens nothing.
    virtual int32_t open_windowed(window_handle window, display_mode mode) = 0;
    virtual int32_t open_fullscreen(window_handle window, display_mode mode) = 0;

protected:
    ~display_control() = default;
};

// The frame every host draws, and what it tells the lobby library it runs in.
constexpr int32_t host_frame_width = 800;
constexpr int32_t host_frame_height = 600;
constexpr int32_t lobby_application_type = 2;

// The system sound of a refused switch to fullscreen mode, and PlaySoundW's
// SND_ALIAS | SND_ASYNC | SND_NOSTOP.
constexpr char16_t fullscreen_refused_sound[] = u"SystemDefault";
constexpr uint32_t fullscreen_refused_sound_flags = 0x10011;
// Fullscreen mode's colour depth; its size is the frame's.
constexpr uint32_t fullscreen_bits_per_pixel = 32;

// Told after every presented frame (the host's frame statistics).
class frame_listener {
public:
    virtual void frame_presented(uint32_t now_ms) = 0;

protected:
    ~frame_listener() = default;
};

class shell {
public:
    // Reads the clock: the first frame's elapsed time counts from here. The
    // display opens with the frame's size (and 32 bits per pixel in
    // fullscreen mode).
    shell(frame_image& frame, applet_base& bootstrap, applet& library, window_system& windows,
          display_control& display);

    // The library-backed applet once it holds a library, else the bootstrap
    // applet. Chosen afresh at every use: loading the lobby library is the
    // whole handover.
    applet_base& current_applet();

    // The main window, once it exists: opens the display in windowed mode
    // on it (as switch_to_windowed). Every later switch, message and call
    // about the main window uses this window.
    bool open_display(window_handle main_window);
    window_handle main_window() const { return main_window_; }

    // The display-mode switches, on the main window. switch_to_windowed:
    // on failure, string 6 and WM_CLOSE. switch_to_fullscreen: on failure,
    // the system sound and windowed mode again (string 6 and WM_CLOSE if
    // even that fails).
    bool switch_to_windowed();
    bool switch_to_fullscreen();
    void toggle_display_mode();

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
    // An open counts as done when it answered success and left the display
    // open.
    bool opened(int32_t result) const { return result >= 0 && display_.is_open(); }
    // Windowed mode could not be had: the user is told and the window closed.
    void windowed_failed();

    frame_image& frame_;
    applet_base& bootstrap_;
    applet& library_;
    window_system& windows_;
    display_control& display_;
    display_mode mode_;
    window_handle main_window_ = nullptr;
    uint32_t last_frame_time_;
    bool in_menu_loop_ = false;
    frame_listener* listener_ = nullptr;
};

}  // namespace tamber
