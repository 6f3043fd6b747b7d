#include "platform/sdl/sdl_shell.h"

#include "platform/sdl/string_table.h"

namespace tamber::sdl {

namespace {

bool is_mouse_message(uint32_t m) { return m >= wm::mouse_move && m <= wm::mouse_wheel; }
}  // namespace

SDL_SystemCursor system_cursor_for(cursor_handle handle) {
    switch (reinterpret_cast<uintptr_t>(handle)) {
    case 32513:
        return SDL_SYSTEM_CURSOR_IBEAM;
    case 32514:
        return SDL_SYSTEM_CURSOR_WAIT;
    case 32515:
        return SDL_SYSTEM_CURSOR_CROSSHAIR;
    case 32642:
        return SDL_SYSTEM_CURSOR_SIZENWSE;
    case 32643:
        return SDL_SYSTEM_CURSOR_SIZENESW;
    case 32644:
        return SDL_SYSTEM_CURSOR_SIZEWE;
    case 32645:
        return SDL_SYSTEM_CURSOR_SIZENS;
    case 32646:
        return SDL_SYSTEM_CURSOR_SIZEALL;
    case 32648:
        return SDL_SYSTEM_CURSOR_NO;
    case 32649:
        return SDL_SYSTEM_CURSOR_HAND;
    case 32650:
        return SDL_SYSTEM_CURSOR_WAITARROW;
    default:
        return SDL_SYSTEM_CURSOR_ARROW;
    }
}

sdl_windows::~sdl_windows() { release_cursor(); }

void sdl_windows::release_cursor() {
    if (cursor_) SDL_FreeCursor(cursor_);
    cursor_ = nullptr;
}

uint32_t sdl_windows::time_ms() { return frame_clock_ ? frame_time_ : SDL_GetTicks(); }

void sdl_windows::frame_presented() {
    if (frame_clock_) frame_time_ += frame_clock_ms;
    if (!lobby_started_ && library_ && library_->is_loaded()) {
        lobby_started_ = true;
        lobby_start_ms_ = time_ms();
    }
}

bool sdl_windows::post_from_library(void* target, const window_message& m) {
    if (posted_type_ == static_cast<uint32_t>(-1) || !target || target != window_) return false;
    SDL_Event event{};
    event.type = posted_type_;
    event.user.code = static_cast<int32_t>(m.message);
    event.user.data1 = reinterpret_cast<void*>(m.wparam);
    event.user.data2 = reinterpret_cast<void*>(m.lparam);
    return SDL_PushEvent(&event) == 1;
}

void sdl_windows::pump_events() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (event.type == posted_type_) {
            // A library's message: not input, so never recorded (a replay
            // makes the library post it again).
            queue_.push_back({static_cast<uint32_t>(event.user.code), reinterpret_cast<uintptr_t>(event.user.data1),
                              reinterpret_cast<intptr_t>(event.user.data2)});
            continue;
        }
        for (const window_message& m : translate_event(event, input_)) {
            if (record_ && lobby_started_ && m.message != wm::paint) {
                const std::string line = format_input_line({time_ms() - lobby_start_ms_, m});
                std::fputs(line.c_str(), record_.get());
                std::fflush(record_.get());
            }
            queue_.push_back(m);
        }
    }
}

void sdl_windows::queue_due_replay() {
    if (!lobby_started_) return;
    const uint32_t now = time_ms() - lobby_start_ms_;
    while (!replay_.empty() && replay_.front().time_ms <= now) {
        queue_.push_back(replay_.front().message);
        replay_.pop_front();
    }
}

bool sdl_windows::message_waiting() {
    pump_events();
    queue_due_replay();
    return quit_ || !queue_.empty();
}

bool sdl_windows::handle_message(window_handle, int& exit_code) {
    if (quit_) {
        exit_code = exit_code_;
        return false;
    }
    if (queue_.empty()) return true;
    const window_message m = queue_.front();
    queue_.pop_front();
    dispatch(m);
    return true;
}

void sdl_windows::dispatch(const window_message& m) {
    if (destroyed_ || !procedure_) return;
    if (is_mouse_message(m.message) && m.message != wm::mouse_wheel) {
        const auto lp = static_cast<uint32_t>(m.lparam);
        pointer_ = {static_cast<int16_t>(lp & 0xFFFF), static_cast<int16_t>(lp >> 16)};
    }
    if (dispatch_message(*procedure_, m, queue_)) destroyed_ = true;
}

void sdl_windows::sleep_ms(uint32_t ms) {
    if (!frame_clock_) SDL_Delay(ms);
}

bool sdl_windows::is_foreground(window_handle main_window) {
    if (frame_clock_) return true;
    auto* window = static_cast<SDL_Window*>(main_window);
    return window && (SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

void sdl_windows::show_message(window_handle main_window, uint32_t string_id, uint32_t) {
    show_string(static_cast<SDL_Window*>(main_window), string_id);
}

void sdl_windows::set_capture() { SDL_CaptureMouse(SDL_TRUE); }

void sdl_windows::release_capture() { SDL_CaptureMouse(SDL_FALSE); }

void sdl_windows::set_cursor(cursor_handle cursor) {
    const SDL_SystemCursor shape = system_cursor_for(cursor);
    if (cursor_ && shape == cursor_shape_) return;
    SDL_Cursor* created = SDL_CreateSystemCursor(shape);
    if (!created) return;  // no cursors here (a headless driver): nothing to show
    SDL_SetCursor(created);
    if (cursor_) SDL_FreeCursor(cursor_);
    cursor_ = created;
    cursor_shape_ = shape;
}

void sdl_windows::hide_window() {
    if (window_) SDL_HideWindow(window_);
}

void sdl_windows::window_destroyed() {
    destroyed_ = true;
    quit_ = true;
    exit_code_ = 0;
}

}  // namespace tamber::sdl
