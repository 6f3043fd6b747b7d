// The bootstrap applet: built into the host and current until the lobby
// library is bound. It brings the game files up to date through its updater,
// shows the progress screen meanwhile, then loads "tblobby.dll" into the
// library-backed applet, which hands the whole host over to the lobby. It
// takes no input.
#pragma once

#include <cstdint>

#include "applet/applet.h"
#include "applet/applet_base.h"
#include "draw/progress_screen.h"
#include "update/updater.h"

namespace tamber {

// The lobby library the update ends with.
inline constexpr char root_library_name[] = "tblobby.dll";

class tb_applet final : public applet_base {
public:
    // `library` receives the lobby; `text` draws the status lines.
    tb_applet(http_client& http, applet& library, const text_resources& text);

    // The lobby library to update and load: "tblobby.dll" unless the host
    // names another (the native host's lobby is "tblobby.so"). `name` must
    // outlive the applet.
    void set_root_name(const char* name) { root_name_ = name; }

    // Starts the update with the root name. When it completes, the lobby
    // library is loaded for `main_window` and then told `application_type`:
    // both are kept until that handover.
    void start_update(window_handle main_window, int32_t application_type);

    const updater& update_state() const { return updater_; }
    // A signed host's check of the release (updater::set_release_check).
    void set_release_check(const release_check* check) { updater_.set_release_check(check); }
    int32_t load_result() const { return load_result_; }

    void receive_packet(uint32_t, uint32_t) override {}
    void update(uint32_t elapsed) override;
    void render(uint32_t elapsed, frame_view* frame, int32_t x, int32_t y) override;
    void render2(frame_view*) override {}
    cursor_handle get_cursor(int32_t, int32_t) override { return nullptr; }
    int32_t mouse_down(int32_t, int32_t, int32_t, int32_t) override { return 0; }
    drag_operation* mouse_drag(int32_t, int32_t, int32_t) override { return nullptr; }
    void mouse_click(int32_t, int32_t, int32_t, int32_t) override {}
    void mouse_wheel(int32_t, int32_t, int32_t) override {}
    void mouse_move(int32_t, int32_t) override {}
    void mouse_up(int32_t, int32_t, int32_t) override {}
    void key_down(uint32_t) override {}
    void key_repeat(uint32_t) override {}
    void key_up(uint32_t) override {}
    int32_t get_balance() override { return -1; }
    void set_message(uint32_t) override {}
    int32_t io_state(uint32_t) override { return 0; }
    void on_wm_char(uint32_t) override {}
    void set_server_path(const char* url) override;

private:
    updater updater_;
    int32_t load_result_ = -1;
    const char* root_name_ = root_library_name;

    applet& library_;
    const text_resources& text_;
    window_handle main_window_ = nullptr;
    int32_t application_type_ = 0;
};

// The status message for an updater state and the last load result.
std::string status_message(uint32_t state, int32_t load_result);

}  // namespace tamber
