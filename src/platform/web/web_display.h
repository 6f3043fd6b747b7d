// The display in the browser: an 800 x 600 canvas. Each frame is converted
// from the three planes with the pixel converters (WebAssembly SIMD where
// the build has it) into one buffer of four bytes a pixel, which the page
// presents (web_host.js: putImageData on a 2D context, or a WebGL texture).
// Fullscreen is the Fullscreen API on the canvas's frame: the browser
// answers later, so a refusal, or the player leaving fullscreen with Esc,
// comes back as a notice that puts the host in windowed mode again, as a
// refused switch does on Windows. A hidden tab presents nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "display/pixel_convert.h"
#include "shell/window_procedure.h"
#include "shell/shell.h"

namespace tamber::web {

// The byte order the page's presenters take: red, green, blue, then a
// fourth byte (alpha for the 2D presenter, ignored by WebGL).
ddraw::pixel_format rgbx_format();

class web_display final : public display_control, public window_display {
public:
    web_display() = default;
    ~web_display() { close(); }
    web_display(const web_display&) = delete;
    web_display& operator=(const web_display&) = delete;

    int32_t open_windowed(window_handle window, display_mode mode) override { return open(window, mode, false); }
    int32_t open_fullscreen(window_handle window, display_mode mode) override { return open(window, mode, true); }
    // Leaves fullscreen and lets go of the buffer.
    void close() override;
    bool is_open() const override { return open_; }
    bool is_fullscreen() const override { return fullscreen_; }

    int32_t check_device() override;
    bool desktop_depth_supported() override { return true; }
    // Converts `view` and presents it. 1 while the page cannot be seen:
    // nothing is converted or presented then.
    int32_t present_frame(const frame_view& view, present_mode mode) override;
    // WM_PAINT: presents the last frame again.
    int32_t blit_to_screen(blit_mode mode) override;

    // The browser left fullscreen, or never entered it: the display says
    // windowed from now on. True when it had been fullscreen.
    bool fullscreen_ended();

private:
    int32_t open(window_handle window, display_mode mode, bool fullscreen);

    bool open_ = false;
    bool fullscreen_ = false;
    bool has_frame_ = false;
    int32_t width_ = 0, height_ = 0;
    converter convert_{};
    std::vector<uint8_t> pixels_;
};

}  // namespace tamber::web
