// The display device: the DirectDraw object, a clipper on the window, the
// visible surface and the surface each frame is converted into, in one of
// two modes: windowed (drawing into the main window on the desktop) or
// fullscreen (exclusive mode, its own display mode, a flip chain), and the
// presentation of frames.
#pragma once

#include <cstdint>
#include <memory>

#include "display/directdraw.h"
#include "shell/shell.h"
#include "shell/window_procedure.h"

namespace tamber {

// Results of the device besides DirectDraw's own (named like them).
constexpr hresult err_display_not_open = static_cast<hresult>(0x80049200);
constexpr hresult err_no_primary_surface = static_cast<hresult>(0x80049202);
constexpr hresult err_no_frame_surface = static_cast<hresult>(0x80049203);
constexpr hresult display_mode_changed = 0x00049204;  // a success
constexpr hresult error_invalid_window_handle = 1400;  // ERROR_INVALID_WINDOW_HANDLE, as is

// Style of the window in fullscreen mode: popup, visible, clip children,
// system menu.
constexpr uint32_t fullscreen_window_style = 0x92080000;

class display_device final : public display_control, public window_display {
public:
    // DirectDraw objects come from `directdraw`; `windows` answers for the
    // window the device is opened on.
    display_device(directdraw_factory& directdraw, display_window& windows);
    // close, then whatever is still held is released.
    ~display_device();
    display_device(const display_device&) = delete;
    display_device& operator=(const display_device&) = delete;

    // Opening answers the first failing step's result and leaves the device
    // closed; what the user is told of it is the shell's decision.
    hresult open_windowed(window_handle window, display_mode mode) override;
    hresult open_fullscreen(window_handle window, display_mode mode) override;
    // Back to closed: leaves fullscreen mode, gives the window its styles
    // back, releases every interface. Safe on a closed device.
    void close() override;
    // Repairs lost surfaces (before each frame).
    hresult restore_surfaces();
    // Whether the device may draw now: negative when not.
    hresult check_device() override;
    // The desktop's colour depth is one presentation can convert to.
    bool desktop_depth_supported() override;

    bool is_open() const override { return open_; }
    bool is_fullscreen() const override { return fullscreen_; }
    window_handle window() const { return window_; }
    display_mode mode() const { return {width_, height_, bits_per_pixel_}; }
    // Description of the surface frames are converted into.
    const ddraw::surface_desc& target_description() const { return target_; }

    // Presentation (present.cpp).
    // Repairs, converts `view` into the target surface and shows it as
    // `mode` says (any other value: converted, not shown).
    hresult present_frame(const frame_view& view, present_mode mode) override;
    // Copies the converted frame to the visible surface.
    hresult blit_to_screen(blit_mode mode) override;
    hresult flip();

private:
    hresult create_directdraw(uint32_t cooperation);
    hresult create_clipper();
    hresult create_primary();
    hresult create_offscreen();
    hresult get_back_buffer();
    void release_interfaces();

    directdraw_factory& directdraw_factory_;
    display_window& windows_;

    window_handle window_ = nullptr;
    uint32_t width_ = 0, height_ = 0, bits_per_pixel_ = 0;
    bool open_ = false;
    bool fullscreen_ = false;
    std::unique_ptr<ddraw::object> directdraw_;
    std::unique_ptr<ddraw::clipper> clipper_;
    std::unique_ptr<ddraw::surface> primary_;
    // Fullscreen only: the back surface of the primary's flip chain. The
    // reference GetAttachedSurface gave is released before the primary.
    std::unique_ptr<ddraw::surface> back_buffer_;
    std::unique_ptr<ddraw::surface> offscreen_;  // windowed only
    ddraw::surface_desc target_{};
    uint32_t saved_style_ = 0, saved_ex_style_ = 0;
    menu_handle saved_menu_ = nullptr;
};

}  // namespace tamber
