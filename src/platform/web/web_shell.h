// The browser side of the shell's loop and of the window procedure. The
// page's listeners (web_host.js) hand DOM events over as input records
// (web_events.h); they become window messages queued here, and each
// animation frame feeds the waiting ones to the portable window procedure,
// does what its answers ask of the window (a closed window is destroyed,
// Alt+F4 closes), then runs one frame step. Nothing here blocks: the
// browser owns the loop.
#pragma once

#include <cstdint>
#include <deque>

#include "applet/applet.h"
#include "platform/web/web_events.h"
#include "shell/window_procedure.h"
#include "shell/shell.h"

namespace tamber::web {

// The CSS cursor for a cursor handle: a Windows system cursor id
// (IDC_ARROW 32512, IDC_IBEAM 32513, IDC_HAND 32649, ...) as the handle's
// value picks the matching shape; anything else is the arrow. A library's
// handle is never dereferenced.
const char* css_cursor_for(cursor_handle handle);

class web_windows final : public tamber::window_system, public tamber::window_calls {
public:
    web_windows() = default;
    web_windows(const web_windows&) = delete;
    web_windows& operator=(const web_windows&) = delete;

    // Set once both exist; messages are dropped until then.
    void attach(window_procedure& procedure, applet& library) {
        procedure_ = &procedure;
        library_ = &library;
    }
    // The main window's handle (the canvas stands for it): the only target
    // libraries may post to.
    void set_window(window_handle window) { window_ = window; }

    // One input record from the page.
    void input(const input_event& event);
    // Queues a message as if posted to the main window.
    void post(const window_message& m) { queue_.push_back(m); }
    // PostMessage for game libraries: false unless `target` is the main
    // window.
    bool post_from_library(void* target, const window_message& m);
    // Every waiting message, in order, through the window procedure.
    // False once the window is destroyed.
    bool dispatch_waiting();
    bool destroyed() const { return destroyed_; }

    // window_system
    uint32_t time_ms() override;
    bool message_waiting() override { return !queue_.empty(); }
    bool handle_message(window_handle main_window, int& exit_code) override;
    void sleep_ms(uint32_t) override {}
    point cursor_position(window_handle) override { return {input_.x, input_.y}; }
    bool is_foreground(window_handle main_window) override;
    int32_t display_mode_dialog(window_handle) override { return dialog_retry; }
    void post_close(window_handle) override { post({wm::close, 0, 0}); }
    // A page has no system sound aliases: nothing is played.
    void play_sound_alias(const char16_t*, uint32_t) override {}
    // The string-table text over the canvas and on the console.
    void show_message(window_handle main_window, uint32_t string_id, uint32_t flags) override;

    // window_calls
    point cursor_position() override { return {input_.x, input_.y}; }
    void set_capture() override;
    void release_capture() override;
    void set_cursor(cursor_handle cursor) override;
    // Mouse messages carry canvas positions already.
    point screen_to_client(point screen) override { return screen; }
    void hide_window() override;
    void window_destroyed() override { destroyed_ = true; }
    void begin_paint() override {}
    void fill_paint_black() override {}
    void end_paint() override {}

private:
    void dispatch(const window_message& m);

    window_handle window_ = nullptr;
    window_procedure* procedure_ = nullptr;
    applet* library_ = nullptr;
    input_state input_{};
    std::deque<window_message> queue_;
    const char* cursor_ = nullptr;
    bool destroyed_ = false;
};

}  // namespace tamber::web
