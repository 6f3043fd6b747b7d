// The display of tamber's routing and loop tests: always open and
// windowed, presenting nothing, logging its close and its opens of
// fullscreen mode (which, from windowed mode, only a toggle makes).
#pragma once

#include "input_fakes.h"
#include "shell/shell.h"
#include "shell/window_procedure.h"

namespace tamber::sdl {

class logging_display final : public display_control, public window_display {
public:
    explicit logging_display(testing::call_log& log) : log_(log) {}
    void close() override { log_.push_back("display.close"); }
    int32_t blit_to_screen(blit_mode) override { return 0; }
    bool is_fullscreen() const override { return false; }
    bool is_open() const override { return true; }
    int32_t check_device() override { return 0; }
    bool desktop_depth_supported() override { return true; }
    int32_t present_frame(const frame_view&, present_mode) override { return 0; }
    int32_t open_windowed(window_handle, display_mode) override { return 0; }
    int32_t open_fullscreen(window_handle, display_mode) override {
        log_.push_back("display.toggle_display_mode");
        return 0;
    }

private:
    testing::call_log& log_;
};

}  // namespace tamber::sdl
