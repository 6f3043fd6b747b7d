// Presentation: each frame the surfaces are repaired, the planar frame is
// converted into the surface frames are drawn into (the off-screen surface
// in windowed mode, the back buffer in fullscreen mode), and the result is
// shown by a blit into the window or by a flip.
#include "display/present.h"

#include <cstddef>

#include "display/display_device.h"

namespace tamber {

hresult convert_frame(const frame_view& view, ddraw::surface& target, const ddraw::pixel_format& format) {
    const converter convert = select_converter(format);
    if (!convert) return ddraw::err_invalidpixelformat;

    ddraw::surface_desc locked{};
    hresult r = target.lock(locked, ddraw::lock_wait);
    if (r < 0) return r;

    if (int64_t{locked.width} <= view.width && int64_t{locked.height} <= view.height) {
        if (locked.memory || locked.height == 0 || locked.width == 0) {
            auto* out = static_cast<uint8_t*>(locked.memory);
            const size_t stride = static_cast<size_t>(view.width);
            for (uint32_t y = 0; y < locked.height; ++y) {
                const size_t offset = y * stride;
                convert.row(view.plane[0] + offset, view.plane[1] + offset, view.plane[2] + offset,
                            out + static_cast<ptrdiff_t>(y) * locked.pitch, locked.width, convert.layout);
            }
        } else {
            r = ddraw::err_generic;  // a lock that gave no memory
        }
    } else {
        r = ddraw::err_invalidarg;  // only surfaces up to the frame's size
    }
    target.unlock();
    return r;
}

hresult display_device::present_frame(const frame_view& view, present_mode mode) {
    if (!open_) return err_display_not_open;
    if (const hresult r = restore_surfaces(); r < 0) return r;
    ddraw::surface* target = fullscreen_ ? back_buffer_.get() : offscreen_.get();
    if (!target) return err_no_frame_surface;
    const hresult converted = convert_frame(view, *target, target_.format);
    if (converted < 0) return converted;
    switch (mode) {
    case present_mode::blit:
        return blit_to_screen(blit_mode::plain);
    case present_mode::blit_no_tearing:
        return blit_to_screen(blit_mode::no_tearing);
    case present_mode::flip:
        return flip();
    default:
        return converted;
    }
}

hresult display_device::blit_to_screen(blit_mode mode) {
    if (!primary_) return err_no_primary_surface;
    if (windows_.is_iconic(window_)) return 1;  // nothing to draw into
    uint32_t flags = ddraw::blt_wait | ddraw::blt_async;
    if (mode == blit_mode::no_tearing) flags |= ddraw::blt_ddfx;
    const uint32_t fx = ddraw::bltfx_notearing;
    if (fullscreen_) {
        if (back_buffer_) return primary_->blt(nullptr, *back_buffer_, flags, fx);
    } else if (offscreen_) {
        if (!windows_.is_window(window_)) return error_invalid_window_handle;
        // The client area on the screen; the clipper keeps the blit to the
        // window's visible parts and DirectDraw scales the frame to it.
        rect area{};
        if (!windows_.client_rect_on_screen(window_, area)) return error_invalid_window_handle;
        return primary_->blt(&area, *offscreen_, flags, fx);
    }
    return err_no_frame_surface;
}

hresult display_device::flip() {
    if (!fullscreen_) return blit_to_screen(blit_mode::no_tearing);
    if (!primary_) return err_no_primary_surface;
    return primary_->flip(ddraw::flip_wait);
}

}  // namespace tamber
