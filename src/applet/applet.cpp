#include "applet/applet.h"

#include <cstring>

namespace tamber {

namespace {
template <typename F>
F entry_cast(void* p) {
    F f;
    static_assert(sizeof(f) == sizeof(p));
    std::memcpy(&f, &p, sizeof(f));
    return f;
}

void fill_planes(frame_view* frame, uint8_t blue, uint8_t green, uint8_t red) {
    const size_t bytes = static_cast<size_t>(frame->width) * static_cast<size_t>(frame->height);
    std::memset(frame->plane[0], blue, bytes);
    std::memset(frame->plane[1], green, bytes);
    std::memset(frame->plane[2], red, bytes);
}
}  // namespace

applet::applet(library_loader& loader) : loader_(loader) {}

applet::~applet() { unload(); }

hresult applet::load(const char* path, void* window, uint32_t reserved) {
    uint32_t error = 0;
    void* module = loader_.open(path, error);
    // A loader that fails without a code must still report a failure.
    if (!module) return error ? hresult_from_error(error) : hresult_from_error(error_mod_not_found);

    const entry_points entry = bind_entry_points(loader_, module);
    bool complete = true;
#define TAMBER_REQUIRE(operation, bytes, required) \
    if (required && !entry.operation) complete = false;
    TAMBER_APPLET_ENTRY_POINTS(TAMBER_REQUIRE)
#undef TAMBER_REQUIRE
    if (!complete) {
        loader_.close(module);
        return hresult_from_error(error_bad_format);
    }

    // The new library is acceptable: let go of the old one. The object stays
    // empty while the new library initialises, so a call that reaches the
    // host export from inside applet_load does nothing.
    unload();
    const hresult r = entry.load(module, window, reserved);
    if (r < 0) {
        loader_.close(module);
        return r;
    }
    module_ = module;
    entry_ = entry;
    return r;
}

applet::entry_points applet::bind_entry_points(library_loader& loader, void* module) {
    entry_points entry{};
#define TAMBER_BIND(operation, bytes, required) \
    entry.operation = entry_cast<applet_##operation##_fn>(loader.symbol(module, TAMBER_ENTRY_NAME(operation, bytes)));
    TAMBER_APPLET_ENTRY_POINTS(TAMBER_BIND)
#undef TAMBER_BIND
    return entry;
}

void applet::unload() {
    if (entry_.unload) entry_.unload();
    entry_ = {};
    if (module_) {
        loader_.close(module_);
        module_ = nullptr;
    }
}

// Both are bound whenever a library is held; while the applet is empty they
// answer like the other operations rather than calling through null.
void applet::receive_packet(uint32_t a, uint32_t b) {
    if (entry_.receive_packet) entry_.receive_packet(a, b);
}
int32_t applet::get_balance() { return entry_.get_balance ? entry_.get_balance() : 0; }

void applet::update(uint32_t elapsed) {
    if (entry_.update) entry_.update(elapsed);
}

void applet::render(uint32_t elapsed, frame_view* frame, int32_t x, int32_t y) {
    if (entry_.render)
        entry_.render(elapsed, frame, x, y);
    else
        fill_planes(frame, 0, 0, 0);
}

void applet::render2(frame_view* frame) {
    if (entry_.render2)
        entry_.render2(frame);
    else
        fill_planes(frame, 0x80, 0x80, 0x90);
}

cursor_handle applet::get_cursor(int32_t x, int32_t y) { return entry_.get_cursor ? entry_.get_cursor(x, y) : nullptr; }

int32_t applet::mouse_down(int32_t button, int32_t x, int32_t y, int32_t double_click) {
    return entry_.mouse_down ? entry_.mouse_down(button, x, y, double_click) : 0;
}

drag_operation* applet::mouse_drag(int32_t button, int32_t x, int32_t y) {
    return entry_.mouse_drag ? entry_.mouse_drag(button, x, y) : nullptr;
}

void applet::mouse_click(int32_t button, int32_t x, int32_t y, int32_t double_click) {
    if (entry_.mouse_click) entry_.mouse_click(button, x, y, double_click);
}
void applet::mouse_wheel(int32_t x, int32_t y, int32_t delta) {
    if (entry_.mouse_wheel) entry_.mouse_wheel(x, y, delta);
}
void applet::mouse_move(int32_t x, int32_t y) {
    if (entry_.mouse_move) entry_.mouse_move(x, y);
}
void applet::mouse_up(int32_t button, int32_t x, int32_t y) {
    if (entry_.mouse_up) entry_.mouse_up(button, x, y);
}
void applet::key_down(uint32_t vk) {
    if (entry_.key_down) entry_.key_down(vk);
}
void applet::key_repeat(uint32_t vk) {
    if (entry_.key_repeat) entry_.key_repeat(vk);
}
void applet::key_up(uint32_t vk) {
    if (entry_.key_up) entry_.key_up(vk);
}
void applet::set_message(uint32_t message) {
    if (entry_.set_message) entry_.set_message(message);
}
int32_t applet::io_state(uint32_t value) { return entry_.io_state ? entry_.io_state(value) : 0; }
void applet::on_wm_char(uint32_t character) {
    if (entry_.on_wm_char) entry_.on_wm_char(character);
}
void applet::set_server_path(const char* url) {
    if (entry_.set_server_path) entry_.set_server_path(url);
}
void applet::on_wm_lobby() {
    if (entry_.on_wm_lobby) entry_.on_wm_lobby();
}
void applet::on_wm_async_select(uint32_t error) {
    if (entry_.on_wm_async_select) entry_.on_wm_async_select(error);
}
void applet::send_packet(uint32_t a, uint32_t b) {
    if (entry_.send_packet) entry_.send_packet(a, b);
}
void applet::on_wm_close() {
    if (entry_.on_wm_close) entry_.on_wm_close();
}
void applet::set_application_type(int32_t type) {
    if (entry_.set_application_type) entry_.set_application_type(type);
}

}  // namespace tamber
