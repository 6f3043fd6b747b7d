#include "platform/web/web_display.h"

#include <cstdio>

#include "display/display_device.h"
#include "platform/web/web_host.h"

namespace tamber::web {

namespace {
// ERROR_INVALID_WINDOW_HANDLE: no window to open on.
constexpr int32_t invalid_window = 1400;

}  // namespace

ddraw::pixel_format rgbx_format() { return {ddraw::pf_rgb, 32, 0x000000FF, 0x0000FF00, 0x00FF0000, 0}; }

void web_display::close() {
    if (fullscreen_) tamber_web_exit_fullscreen();
    fullscreen_ = false;
    open_ = false;
    has_frame_ = false;
    pixels_.clear();
    pixels_.shrink_to_fit();
}

int32_t web_display::open(window_handle window, display_mode mode, bool fullscreen) {
    const bool was_fullscreen = fullscreen_;
    if (!window) {
        close();
        return invalid_window;
    }
    width_ = static_cast<int32_t>(mode.width);
    height_ = static_cast<int32_t>(mode.height);
    if (!tamber_web_open_presenter(width_, height_)) {
        close();
        return ddraw::err_generic;
    }
    // The 2D presenter takes alpha, WebGL ignores the fourth byte.
    convert_ = tamber_web_presenter_needs_alpha() ? rgba_converter() : select_converter(rgbx_format());
    if (!convert_) {
        close();
        return ddraw::err_generic;
    }
    pixels_.assign(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 4, 0);
    has_frame_ = false;
    open_ = true;
    // The browser answers the request later; until it refuses, the display
    // counts as fullscreen, as a switch that went through.
    if (fullscreen && !was_fullscreen) tamber_web_request_fullscreen();
    if (!fullscreen && was_fullscreen) tamber_web_exit_fullscreen();
    fullscreen_ = fullscreen;
    std::printf("tamber: %s mode, %d x %d, frames converted with %s (%s)\n", fullscreen ? "fullscreen" : "windowed",
                width_, height_, convert_.name, active_converters().name);
    return 0;
}

bool web_display::fullscreen_ended() {
    const bool was = fullscreen_;
    fullscreen_ = false;
    return was;
}

int32_t web_display::check_device() { return open_ ? 0 : err_display_not_open; }

int32_t web_display::present_frame(const frame_view& view, present_mode) {
    if (!open_) return err_display_not_open;
    if (!tamber_web_page_visible()) return 1;
    if (view.width < width_ || view.height < height_ || !view.plane[0] || !view.plane[1] || !view.plane[2])
        return ddraw::err_invalidarg;
    uint8_t* out = pixels_.data();
    const size_t stride = static_cast<size_t>(view.width);
    const size_t row_bytes = static_cast<size_t>(width_) * 4;
    for (int32_t y = 0; y < height_; ++y) {
        const size_t offset = static_cast<size_t>(y) * stride;
        convert_.row(view.plane[0] + offset, view.plane[1] + offset, view.plane[2] + offset,
                     out + static_cast<size_t>(y) * row_bytes, static_cast<size_t>(width_), convert_.layout);
    }
    has_frame_ = true;
    tamber_web_present(out, width_, height_);
    return 0;
}

int32_t web_display::blit_to_screen(blit_mode) {
    if (!open_) return err_display_not_open;
    if (has_frame_ && tamber_web_page_visible()) tamber_web_present(pixels_.data(), width_, height_);
    return 0;
}

}  // namespace tamber::web
