#include "display/display_device.h"

#include <utility>

namespace tamber {

display_device::display_device(directdraw_factory& directdraw, display_window& windows)
    : directdraw_factory_(directdraw), windows_(windows) {}

display_device::~display_device() {
    close();
    release_interfaces();
}

hresult display_device::create_directdraw(uint32_t cooperation) {
    std::unique_ptr<ddraw::object> created;
    const hresult r = directdraw_factory_.create_directdraw(created);
    directdraw_ = std::move(created);  // replaces (and releases) any previous one
    if (r < 0) return r;
    if (!directdraw_) return ddraw::err_generic;
    if (const hresult c = directdraw_->set_cooperative_level(window_, cooperation); c < 0) return c;
    if (fullscreen_) {
        if (const hresult m = directdraw_->set_display_mode(width_, height_, bits_per_pixel_, 0, 0); m < 0) return m;
    }
    return ddraw::ok;
}

hresult display_device::create_clipper() {
    std::unique_ptr<ddraw::clipper> created;
    const hresult r = directdraw_factory_.create_clipper(0, created);
    clipper_ = std::move(created);
    if (r < 0) return r;
    if (!clipper_) return ddraw::err_generic;
    return clipper_->set_hwnd(0, window_);
}

hresult display_device::create_primary() {
    if (!directdraw_) return err_display_not_open;
    ddraw::surface_desc desc{};
    if (fullscreen_) {
        desc.flags = ddraw::sd_caps | ddraw::sd_backbuffercount;
        desc.caps = ddraw::caps_primarysurface | ddraw::caps_flip | ddraw::caps_complex;
        desc.back_buffer_count = 1;
    } else {
        desc.flags = ddraw::sd_caps;
        desc.caps = ddraw::caps_primarysurface;
    }
    std::unique_ptr<ddraw::surface> created;
    const hresult r = directdraw_->create_surface(desc, created);
    if (r < 0) return r;
    if (!created) return ddraw::err_generic;
    back_buffer_.reset();  // belongs to the chain being replaced
    primary_ = std::move(created);
    if (clipper_) primary_->set_clipper(*clipper_);
    return ddraw::ok;
}

hresult display_device::create_offscreen() {
    if (!directdraw_) return err_display_not_open;
    ddraw::surface_desc desc{};
    desc.flags = ddraw::sd_caps | ddraw::sd_height | ddraw::sd_width;
    desc.width = width_;
    desc.height = height_;
    desc.caps = ddraw::caps_offscreenplain;  // no pixel format: the desktop's
    std::unique_ptr<ddraw::surface> created;
    const hresult r = directdraw_->create_surface(desc, created);
    if (r < 0) return r;
    if (!created) return ddraw::err_generic;
    offscreen_ = std::move(created);
    target_ = {};
    const hresult d = offscreen_->get_surface_desc(target_);
    return d < 0 ? d : ddraw::ok;
}

hresult display_device::get_back_buffer() {
    std::unique_ptr<ddraw::surface> attached;
    const hresult r = primary_->get_attached_surface(ddraw::caps_backbuffer, attached);
    if (r < 0) return r;
    if (!attached) return ddraw::err_generic;
    back_buffer_ = std::move(attached);
    target_ = {};
    const hresult d = back_buffer_->get_surface_desc(target_);
    return d < 0 ? d : ddraw::ok;
}

hresult display_device::open_windowed(window_handle window, display_mode mode) {
    if (!window || !windows_.is_window(window)) return error_invalid_window_handle;
    close();
    window_ = window;
    width_ = mode.width;
    height_ = mode.height;
    bits_per_pixel_ = mode.bits_per_pixel;
    fullscreen_ = false;
    windows_.size_window_for_client(window, static_cast<int32_t>(mode.width), static_cast<int32_t>(mode.height));

    hresult r = create_directdraw(ddraw::scl_normal);
    if (r >= 0) r = create_clipper();
    if (r >= 0) r = create_primary();
    if (r >= 0) r = create_offscreen();
    if (r < 0) {
        close();
        return r;
    }
    open_ = true;
    return ddraw::ok;
}

hresult display_device::open_fullscreen(window_handle window, display_mode mode) {
    if (!window || !windows_.is_window(window)) return error_invalid_window_handle;
    close();
    window_ = window;
    width_ = mode.width;
    height_ = mode.height;
    bits_per_pixel_ = mode.bits_per_pixel;
    fullscreen_ = true;

    saved_style_ = windows_.window_style(window);
    saved_ex_style_ = windows_.window_ex_style(window);
    saved_menu_ = windows_.window_menu(window);
    windows_.set_window_style(window, fullscreen_window_style);
    windows_.set_window_ex_style(window, 0);
    windows_.set_window_menu(window, nullptr);

    hresult r = create_directdraw(ddraw::scl_fullscreen | ddraw::scl_allowreboot | ddraw::scl_exclusive);
    if (r >= 0) r = create_clipper();
    if (r >= 0) r = create_primary();
    if (r >= 0) r = get_back_buffer();
    if (r < 0) {
        close();  // also gives the window its styles back
        return r;
    }
    open_ = true;
    return ddraw::ok;
}

void display_device::close() {
    if (fullscreen_) {
        if (window_ && windows_.is_window(window_)) {
            windows_.set_window_style(window_, saved_style_);
            windows_.set_window_ex_style(window_, saved_ex_style_);
            windows_.set_window_menu(window_, saved_menu_);
        }
        if (directdraw_) {
            directdraw_->flip_to_gdi_surface();
            directdraw_->restore_display_mode();
            directdraw_->set_cooperative_level(window_, ddraw::scl_normal);
        }
    }
    release_interfaces();
    target_ = {};
    width_ = height_ = bits_per_pixel_ = 0;
    open_ = false;
    fullscreen_ = false;
}

void display_device::release_interfaces() {
    back_buffer_.reset();
    offscreen_.reset();
    primary_.reset();
    clipper_.reset();
    directdraw_.reset();
}

hresult display_device::restore_surfaces() {
    if (!primary_ && fullscreen_) return err_no_primary_surface;
    if (fullscreen_) {
        if (primary_->is_lost() >= 0) return ddraw::ok;
        const hresult r = primary_->restore();  // the back buffer comes back with its chain
        return r < 0 ? r : ddraw::ok;
    }
    if (!directdraw_) return err_display_not_open;

    const bool primary_usable = primary_ && (primary_->is_lost() >= 0 || primary_->restore() >= 0);
    if (primary_usable) {
        if (offscreen_ && (offscreen_->is_lost() >= 0 || offscreen_->restore() >= 0)) return ddraw::ok;
        offscreen_.reset();
        return create_offscreen();
    }
    // The primary cannot come back (the desktop's display mode changed, say):
    // both surfaces are made anew in the desktop's current format.
    offscreen_.reset();
    primary_.reset();
    if (const hresult r = create_primary(); r < 0) return r;
    return create_offscreen();
}

hresult display_device::check_device() {
    if (!directdraw_) return err_display_not_open;
    const hresult r = directdraw_->test_cooperative_level();
    return r == ddraw::err_wrongmode ? display_mode_changed : r;
}

bool display_device::desktop_depth_supported() {
    const int32_t depth = windows_.desktop_bits_per_pixel();
    return depth == 16 || depth == 24 || depth == 32;
}

}  // namespace tamber
