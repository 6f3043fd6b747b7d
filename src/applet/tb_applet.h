// The bootstrap applet: built into the host and current until the lobby
// library is bound. It takes no input.
#pragma once

#include <cstdint>
#include <string>

#include "applet/applet_base.h"

namespace tamber {

class tb_applet final : public applet_base {
public:
    tb_applet() = default;

    // Starts bringing the game files up to date, ending with the lobby
    // library "tblobby.dll".
    void start_update();
    int32_t load_result() const { return load_result_; }
    const std::string& base_url() const { return base_url_; }

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
    void set_server_path(const char* url) override { base_url_ = url ? url : ""; }

private:
    std::string base_url_;
    int32_t load_result_ = -1;
    uint32_t step_count_ = 0;
};

}  // namespace tamber
