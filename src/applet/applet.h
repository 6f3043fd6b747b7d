// The library-backed applet: a game library mapped at run time whose
// exported entry points implement the applet operations. Operations whose
// entry point the library does not export fall back to fixed defaults.
#pragma once

#include <cstdint>

#include "applet/applet_base.h"
#include "applet/library.h"

namespace tamber {

class applet final : public applet_base {
public:
    explicit applet(library_loader& loader);
    ~applet();
    applet(const applet&) = delete;
    applet& operator=(const applet&) = delete;

    bool is_loaded() const { return module_ != nullptr; }

    // Maps and binds the library at `path`. Failures to map it or a missing
    // required export leave the object as it was; once the new library is
    // accepted the old one is unloaded, and a failing applet_load leaves the
    // object empty. Returns the library's applet_load result or the failure.
    hresult load(const char* path, void* window, uint32_t reserved);
    // Whether load(path) can be called now without waiting for the platform
    // (library_loader::prepare); call again on a later frame until it is.
    bool prepare(const char* path) { return loader_.prepare(path); }
    // Calls the library's applet_unload, then unmaps it.
    void unload();

    void receive_packet(uint32_t a, uint32_t b) override;
    void update(uint32_t elapsed) override;
    void render(uint32_t elapsed, frame_view* frame, int32_t x, int32_t y) override;
    void render2(frame_view* frame) override;
    cursor_handle get_cursor(int32_t x, int32_t y) override;
    int32_t mouse_down(int32_t button, int32_t x, int32_t y, int32_t double_click) override;
    drag_operation* mouse_drag(int32_t button, int32_t x, int32_t y) override;
    void mouse_click(int32_t button, int32_t x, int32_t y, int32_t double_click) override;
    void mouse_wheel(int32_t x, int32_t y, int32_t delta) override;
    void mouse_move(int32_t x, int32_t y) override;
    void mouse_up(int32_t button, int32_t x, int32_t y) override;
    void key_down(uint32_t vk) override;
    void key_repeat(uint32_t vk) override;
    void key_up(uint32_t vk) override;
    int32_t get_balance() override;
    void set_message(uint32_t message) override;
    int32_t io_state(uint32_t value) override;
    void on_wm_char(uint32_t character) override;
    void set_server_path(const char* url) override;

    // Library-only operations, called by the shell directly.
    void on_wm_lobby();
    void on_wm_async_select(uint32_t error);
    void send_packet(uint32_t a, uint32_t b);
    void on_wm_close();
    void set_application_type(int32_t type);

private:
    // Every entry point of the SDK header's table, in its order; null where
    // the library does not export it.
    struct entry_points {
#define TAMBER_ENTRY_MEMBER(operation, bytes, required) applet_##operation##_fn operation;
        TAMBER_APPLET_ENTRY_POINTS(TAMBER_ENTRY_MEMBER)
#undef TAMBER_ENTRY_MEMBER
    };

    static entry_points bind_entry_points(library_loader& loader, void* module);

    library_loader& loader_;
    void* module_ = nullptr;
    entry_points entry_{};
};

}  // namespace tamber
