#include "platform/web/web_shell.h"

#include <emscripten.h>


#include "platform/web/web_host.h"
#include "shell/string_table.h"

namespace tamber::web {

const char* css_cursor_for(cursor_handle handle) {
    switch (reinterpret_cast<uintptr_t>(handle)) {
    case 32513:
        return "text";
    case 32514:
        return "wait";
    case 32515:
        return "crosshair";
    case 32642:
        return "nwse-resize";
    case 32643:
        return "nesw-resize";
    case 32644:
        return "ew-resize";
    case 32645:
        return "ns-resize";
    case 32646:
        return "move";
    case 32648:
        return "not-allowed";
    case 32649:
        return "pointer";
    case 32650:
        return "progress";
    default:
        return "default";
    }
}

void web_windows::input(const input_event& event) {
    for (const window_message& m : translate_event(event, input_)) queue_.push_back(m);
}

bool web_windows::post_from_library(void* target, const window_message& m) {
    if (!target || target != window_ || destroyed_) return false;
    queue_.push_back(m);
    return true;
}

uint32_t web_windows::time_ms() { return static_cast<uint32_t>(static_cast<uint64_t>(emscripten_get_now())); }

bool web_windows::handle_message(window_handle, int& exit_code) {
    if (destroyed_) {
        exit_code = 0;
        return false;
    }
    if (queue_.empty()) return true;
    const window_message m = queue_.front();
    queue_.pop_front();
    dispatch(m);
    return true;
}

bool web_windows::dispatch_waiting() {
    // Only what was waiting when the frame began: a message posted while
    // one is handled waits for the next frame, as the loop takes one per
    // pass.
    for (size_t waiting = queue_.size(); waiting > 0 && !queue_.empty() && !destroyed_; --waiting) {
        const window_message m = queue_.front();
        queue_.pop_front();
        dispatch(m);
    }
    return !destroyed_;
}

void web_windows::dispatch(const window_message& m) {
    if (destroyed_ || !procedure_) return;
    if (dispatch_message(*procedure_, m, queue_)) destroyed_ = true;
}

bool web_windows::is_foreground(window_handle) { return tamber_web_page_visible() != 0; }

void web_windows::show_message(window_handle, uint32_t string_id, uint32_t) {
    tamber_web_show_message(string_text(string_id).c_str());
}

void web_windows::set_capture() { tamber_web_set_capture(1); }

void web_windows::release_capture() { tamber_web_set_capture(0); }

void web_windows::set_cursor(cursor_handle cursor) {
    const char* shape = css_cursor_for(cursor);
    if (shape == cursor_) return;
    cursor_ = shape;
    tamber_web_set_cursor(shape);
}

void web_windows::hide_window() { tamber_web_hide_canvas(); }

}  // namespace tamber::web
