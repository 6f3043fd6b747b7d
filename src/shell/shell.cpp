#include "shell/shell.h"

namespace tamber {

shell::shell(frame_image& frame, applet_base& bootstrap, applet& library, window_system& windows,
             display_control& display)
    : frame_(frame),
      bootstrap_(bootstrap),
      library_(library),
      windows_(windows),
      display_(display),
      mode_{static_cast<uint32_t>(frame.width()), static_cast<uint32_t>(frame.height()), fullscreen_bits_per_pixel},
      last_frame_time_(windows.time_ms()) {}

applet_base& shell::current_applet() {
    if (library_.is_loaded()) return library_;
    return bootstrap_;
}

bool shell::open_display(window_handle main_window) {
    main_window_ = main_window;
    return switch_to_windowed();
}

bool shell::switch_to_windowed() {
    if (opened(display_.open_windowed(main_window_, mode_))) return true;
    windowed_failed();
    return false;
}

bool shell::switch_to_fullscreen() {
    if (opened(display_.open_fullscreen(main_window_, mode_))) return true;
    windows_.play_sound_alias(fullscreen_refused_sound, fullscreen_refused_sound_flags);
    if (opened(display_.open_windowed(main_window_, mode_))) return true;
    windowed_failed();
    return false;
}

void shell::toggle_display_mode() {
    if (display_.is_fullscreen())
        switch_to_windowed();
    else
        switch_to_fullscreen();
}

void shell::windowed_failed() {
    windows_.show_message(main_window_, IDS_WINDOWED_FAILED, 0);
    windows_.post_close(main_window_);
}

bool shell::run_frame() {
    // Unsigned difference: the timer's wrap is harmless.
    const uint32_t now = windows_.time_ms();
    const uint32_t elapsed = now - last_frame_time_;
    last_frame_time_ = now;

    // Always update, so an applet keeps working (downloading) while the
    // display cannot draw.
    current_applet().update(elapsed);

    if (display_.check_device() < 0 || in_menu_loop_) return true;

    if (!display_.is_fullscreen() && !display_.desktop_depth_supported()) {
        switch (windows_.display_mode_dialog(main_window_)) {
        case dialog_fullscreen:
            switch_to_fullscreen();
            break;
        case dialog_quit:
            windows_.post_close(main_window_);
            break;
        default:  // Retry, or no dialog at all: test again next frame.
            break;
        }
        return true;
    }

    // The applet is handed a view of its own, which it may write to; what is
    // presented is a fresh view of the host's frame, so nothing the applet
    // writes into its copy (a larger width, another plane) can make
    // presentation read outside the planes.
    frame_view view = frame_.view();
    const point cursor = windows_.cursor_position(main_window_);
    current_applet().render(elapsed, &view, cursor.x, cursor.y);
    display_.present_frame(frame_.view(), present_mode::flip);  // a failed frame is simply lost
    if (listener_) listener_->frame_presented(now);

    return !windows_.is_foreground(main_window_);
}

int shell::run_message_loop() {
    for (;;) {
        if (windows_.message_waiting()) {
            int exit_code = 0;
            if (!windows_.handle_message(main_window_, exit_code)) return exit_code;
            continue;
        }
        if (run_frame()) windows_.sleep_ms(20);
    }
}

}  // namespace tamber
