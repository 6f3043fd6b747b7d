// Stand-ins for input routing's tests: an applet that records every call,
// a drag_operation in the component object model's layout that records its
// calls and counts its references, the window-system calls and an idle
// windowing system. All of them
// write to one shared log, so tests can check the order across them.
#pragma once

#include <string>
#include <vector>

#include "applet/applet_base.h"
#include "shell/shell.h"
#include "shell/window_procedure.h"

namespace tamber::testing {

using call_log = std::vector<std::string>;

inline std::string args(std::initializer_list<int64_t> values) {
    std::string out;
    for (int64_t v : values) out += (out.empty() ? "" : " ") + std::to_string(v);
    return out;
}

class recording_applet final : public applet_base {
public:
    explicit recording_applet(call_log& log, std::string name = "applet") : log_(log), name_(std::move(name)) {}

    // Knobs.
    int32_t press_answer = TAMBER_PRESS_CLICK;
    drag_operation* drag = nullptr;
    cursor_handle cursor = nullptr;
    bool log_cursor = false;  // get_cursor is called after every event; logged only on request
    bool scribble = false;    // render rewrites the view it is handed
    frame_view view{};        // the view the last render was handed

    void receive_packet(uint32_t a, uint32_t b) override { put("receive_packet", {a, b}); }
    void update(uint32_t elapsed) override { put("update", {elapsed}); }
    void render(uint32_t elapsed, frame_view* frame, int32_t x, int32_t y) override {
        put("render", {elapsed, x, y});
        view = *frame;
        if (scribble) {
            // What a faulty library may do to the view it was handed.
            frame->width = 1600;
            frame->height = 1200;
            frame->pitch = 1600;
            frame->plane[0] = frame->plane[2];
            frame->plane[1] = nullptr;
        }
    }
    void render2(frame_view*) override { put("render2", {}); }
    cursor_handle get_cursor(int32_t x, int32_t y) override {
        if (log_cursor) put("get_cursor", {x, y});
        return cursor;
    }
    int32_t mouse_down(int32_t button, int32_t x, int32_t y, int32_t double_click) override {
        put("mouse_down", {button, x, y, double_click});
        return press_answer;
    }
    drag_operation* mouse_drag(int32_t button, int32_t x, int32_t y) override {
        put("mouse_drag", {button, x, y});
        return drag;
    }
    void mouse_click(int32_t button, int32_t x, int32_t y, int32_t double_click) override {
        put("mouse_click", {button, x, y, double_click});
    }
    void mouse_wheel(int32_t x, int32_t y, int32_t delta) override { put("mouse_wheel", {x, y, delta}); }
    void mouse_move(int32_t x, int32_t y) override { put("mouse_move", {x, y}); }
    void mouse_up(int32_t button, int32_t x, int32_t y) override { put("mouse_up", {button, x, y}); }
    void key_down(uint32_t vk) override { put("key_down", {vk}); }
    void key_repeat(uint32_t vk) override { put("key_repeat", {vk}); }
    void key_up(uint32_t vk) override { put("key_up", {vk}); }
    int32_t get_balance() override { return 0; }
    void set_message(uint32_t) override {}
    int32_t io_state(uint32_t) override { return 0; }
    void on_wm_char(uint32_t character) override { put("on_wm_char", {character}); }
    void set_server_path(const char*) override {}

private:
    void put(const char* what, std::initializer_list<int64_t> values) {
        std::string line = name_ + "." + what;
        if (values.size()) line += " " + args(values);
        log_.push_back(line);
    }
    call_log& log_;
    std::string name_;
};

// A drag operation in the layout a game library hands out: the first word
// points to the table of eight standard-call functions.
struct recording_drag {
    drag_operation object;
    call_log* log;
    uint32_t references = 1;  // the library's own
    cursor_handle cursor = nullptr;

    explicit recording_drag(call_log& l) : object{&table}, log(&l) {}

    static recording_drag& of(drag_operation* d) { return *reinterpret_cast<recording_drag*>(d); }
    static void put(drag_operation* d, const std::string& line) { of(d).log->push_back("drag." + line); }

    static int32_t TAMBER_CALL query_interface(drag_operation* d, const void*, void**) {
        put(d, "QueryInterface");
        return static_cast<int32_t>(0x80004002);
    }
    static uint32_t TAMBER_CALL add_ref(drag_operation* d) {
        put(d, "AddRef");
        return ++of(d).references;
    }
    static uint32_t TAMBER_CALL release(drag_operation* d) {
        put(d, "Release");
        return --of(d).references;
    }
    static void TAMBER_CALL begin(drag_operation* d, int32_t x, int32_t y) { put(d, "begin " + args({x, y})); }
    static void TAMBER_CALL move(drag_operation* d, int32_t x, int32_t y) { put(d, "move " + args({x, y})); }
    static tamber_handle TAMBER_CALL get_cursor(drag_operation* d, int32_t, int32_t) { return of(d).cursor; }
    static void TAMBER_CALL drop(drag_operation* d, int32_t x, int32_t y) { put(d, "drop " + args({x, y})); }
    static void TAMBER_CALL cancel(drag_operation* d) { put(d, "cancel"); }

    static constexpr drag_operation_vtbl table{query_interface, add_ref, release, begin, move, get_cursor, drop, cancel};
};

class recording_window_calls final : public window_calls {
public:
    explicit recording_window_calls(call_log& log) : log_(log) {}

    point cursor{0, 0};          // client coordinates GetCursorPos + ScreenToClient give
    point client_origin{100, 50};  // where the client area lies on the screen
    cursor_handle shown = nullptr;

    void set_capture() override { log_.push_back("SetCapture"); }
    void release_capture() override { log_.push_back("ReleaseCapture"); }
    void set_cursor(cursor_handle c) override { shown = c; }
    point cursor_position() override { return cursor; }
    point screen_to_client(point p) override { return {p.x - client_origin.x, p.y - client_origin.y}; }
    void hide_window() override { log_.push_back("ShowWindow SW_HIDE"); }
    void window_destroyed() override { log_.push_back("destroyed"); }
    void begin_paint() override { log_.push_back("BeginPaint"); }
    void fill_paint_black() override { log_.push_back("FillRect black"); }
    void end_paint() override { log_.push_back("EndPaint"); }

private:
    call_log& log_;
};

// The loop's windowing system where nothing happens: no messages, the
// window in front, nothing shown or played.
class idle_windows final : public window_system {
public:
    uint32_t time_ms() override { return 0; }
    bool message_waiting() override { return false; }
    bool handle_message(window_handle, int&) override { return false; }
    void sleep_ms(uint32_t) override {}
    point cursor_position(window_handle) override { return {0, 0}; }
    bool is_foreground(window_handle) override { return true; }
    int32_t display_mode_dialog(window_handle) override { return dialog_retry; }
    void post_close(window_handle) override {}
    void play_sound_alias(const char16_t*, uint32_t) override {}
    void show_message(window_handle, uint32_t, uint32_t) override {}
};

}  // namespace tamber::testing
