// The SDL side of the shell's loop and of the window procedure: SDL events
// become window messages (sdl_events.h) queued for the loop, which feeds
// them one at a time to the portable window procedure and does what its
// answers ask of the window (the default procedure's part: a closed window
// is destroyed, Alt+F4 closes). Headless runs replace the clock by the
// frame count and replay recorded input; any run can record its input.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "applet/applet.h"
#include "draw/frame_image.h"
#include "platform/sdl/input_script.h"
#include "platform/sdl/sdl_events.h"
#include "shell/window_procedure.h"
#include "shell/shell.h"
#include "update/updater.h"

namespace tamber::sdl {

// Milliseconds a frame lasts on the frame clock.
constexpr uint32_t frame_clock_ms = 20;

// SDL's system cursor for a cursor handle: a Windows system cursor id
// (IDC_ARROW 32512, IDC_IBEAM 32513, IDC_HAND 32649, ...) as the handle's
// value picks the matching shape; anything else is the arrow. A library's
// handle is never dereferenced.
SDL_SystemCursor system_cursor_for(cursor_handle handle);

struct file_closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

class sdl_windows final : public tamber::window_system, public tamber::window_calls {
public:
    // With the frame clock the time is frame_clock_ms per presented frame
    // and the loop never waits; it is chosen before the window exists.
    sdl_windows() = default;
    ~sdl_windows();
    sdl_windows(const sdl_windows&) = delete;
    sdl_windows& operator=(const sdl_windows&) = delete;

    void use_frame_clock(bool on) { frame_clock_ = on; }
    // The main window, once created (null again before it is destroyed):
    // the window of capture, cursor and hiding, and the only target
    // libraries may post to.
    void set_window(SDL_Window* window) { window_ = window; }

    // Set once both exist; messages are dropped until then.
    void attach(window_procedure& procedure, applet& library) {
        procedure_ = &procedure;
        library_ = &library;
    }
    // The messages to replay, timed from the lobby's first frame.
    void replay(std::vector<timed_message> messages) { replay_.assign(messages.begin(), messages.end()); }
    // Records every SDL input message the lobby receives to `file`.
    void record_to(std::unique_ptr<std::FILE, file_closer> file) { record_ = std::move(file); }
    // Called after every presented frame: advances the frame clock and
    // notes the lobby's first frame.
    void frame_presented();
    // Gives the cursor back to SDL; before SDL_Quit, which frees it too.
    void release_cursor();
    // Queues a message as if posted to the main window (the loop's thread).
    void post(const window_message& m) { queue_.push_back(m); }
    // Sets up posting from game libraries (after SDL_Init).
    void enable_posting() { posted_type_ = SDL_RegisterEvents(1); }
    // PostMessage for game libraries, from any thread: queues `m` for the
    // main window through SDL's event queue. False when `target` is not the
    // main window or the queue refuses.
    bool post_from_library(void* target, const window_message& m);
    uint32_t pending_replay() const { return static_cast<uint32_t>(replay_.size()); }

    // window_system
    uint32_t time_ms() override;
    bool message_waiting() override;
    bool handle_message(window_handle main_window, int& exit_code) override;
    void sleep_ms(uint32_t ms) override;
    point cursor_position(window_handle) override { return pointer_; }
    bool is_foreground(window_handle main_window) override;
    int32_t display_mode_dialog(window_handle) override { return dialog_retry; }
    void post_close(window_handle) override { post({wm::close, 0, 0}); }
    // Linux desktops have no system sound aliases: nothing is played.
    void play_sound_alias(const char16_t*, uint32_t) override {}
    // The string-table text in SDL's message box, and on standard error,
    // where a headless run shows it.
    void show_message(window_handle main_window, uint32_t string_id, uint32_t flags) override;

    // window_calls
    point cursor_position() override { return pointer_; }
    void set_capture() override;
    void release_capture() override;
    void set_cursor(cursor_handle cursor) override;
    // Mouse messages carry client positions already.
    point screen_to_client(point screen) override { return screen; }
    void hide_window() override;
    void window_destroyed() override;
    void begin_paint() override {}
    void fill_paint_black() override {}
    void end_paint() override {}

    // Feeds one message to the window procedure (and, where its answer
    // asks for it, the default behaviour). Nothing once the window is gone.
    void dispatch(const window_message& m);

private:
    void pump_events();
    void queue_due_replay();

    SDL_Window* window_ = nullptr;
    bool frame_clock_ = false;
    window_procedure* procedure_ = nullptr;
    applet* library_ = nullptr;
    input_state input_{};
    std::deque<window_message> queue_;
    std::deque<timed_message> replay_;
    std::unique_ptr<std::FILE, file_closer> record_;
    uint32_t frame_time_ = 0;
    uint32_t lobby_start_ms_ = 0;
    bool lobby_started_ = false;
    bool destroyed_ = false;
    bool quit_ = false;
    int exit_code_ = 0;
    point pointer_{0, 0};
    SDL_SystemCursor cursor_shape_ = SDL_SYSTEM_CURSOR_ARROW;
    SDL_Cursor* cursor_ = nullptr;
    uint32_t posted_type_ = static_cast<uint32_t>(-1);
};

}  // namespace tamber::sdl
