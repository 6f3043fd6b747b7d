// A DirectDraw stand-in for the display device's tests: the DirectDraw
// factory and the window calls of one world. Every call is written to one
// log as a line; a test makes a call fail by putting its line into `fail`
// with the result to return. Surfaces live in plain memory
// in the format a real driver would give them: the desktop's format in
// windowed mode, the display mode's in fullscreen mode.
#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "display/directdraw.h"

namespace tamber::testing {

struct fake_window {
    uint32_t style = 0x92CA0000;
    uint32_t ex_style = 0x00040300;
    menu_handle menu = nullptr;
    bool iconic = false;
    rect client_on_screen{112, 84, 912, 684};
};

class fake_display_system;

class fake_surface final : public ddraw::surface {
public:
    fake_surface(fake_display_system& world, std::string name, uint32_t width, uint32_t height,
                 ddraw::pixel_format format);
    ~fake_surface() override;

    hresult is_lost() override;
    hresult restore() override;
    hresult get_surface_desc(ddraw::surface_desc& desc) override;
    hresult lock(ddraw::surface_desc& desc, uint32_t flags) override;
    hresult unlock() override;
    hresult blt(const rect* destination, ddraw::surface& source, uint32_t flags, uint32_t fx) override;
    hresult flip(uint32_t flags) override;
    hresult get_attached_surface(uint32_t caps, std::unique_ptr<ddraw::surface>& attached) override;
    hresult set_clipper(ddraw::clipper& c) override;

    const std::string name;
    uint32_t width, height;
    ddraw::pixel_format format;
    int32_t pitch;
    std::vector<uint8_t> pixels;
    bool lost = false;
    bool restorable = true;  // false: Restore fails as after a display mode change
    bool locked = false;

private:
    hresult call(const std::string& line);
    fake_display_system& world_;
};

class fake_clipper final : public ddraw::clipper {
public:
    explicit fake_clipper(fake_display_system& world);
    ~fake_clipper() override;
    hresult set_hwnd(uint32_t flags, window_handle window) override;

private:
    fake_display_system& world_;
};

class fake_directdraw final : public ddraw::object {
public:
    fake_directdraw(fake_display_system& world, int number);
    ~fake_directdraw() override;

    hresult set_cooperative_level(window_handle window, uint32_t flags) override;
    hresult set_display_mode(uint32_t width, uint32_t height, uint32_t bits_per_pixel, uint32_t refresh_rate,
                             uint32_t flags) override;
    hresult create_surface(const ddraw::surface_desc& desc, std::unique_ptr<ddraw::surface>& created) override;
    hresult test_cooperative_level() override;
    hresult flip_to_gdi_surface() override;
    hresult restore_display_mode() override;

    const int number;

private:
    hresult call(const std::string& line);
    fake_display_system& world_;
    bool exclusive_ = false;
    uint32_t mode_width_ = 0, mode_height_ = 0, mode_bits_ = 0;
};

inline std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

class fake_display_system final : public directdraw_factory, public display_window {
public:
    static constexpr uint32_t screen_width = 1024, screen_height = 768;

    fake_display_system() { windows[main]; }

    // Knobs.
    window_handle main = reinterpret_cast<window_handle>(0x100);
    std::map<std::string, hresult> fail;  // log line -> result instead of success
    ddraw::pixel_format desktop{ddraw::pf_rgb, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
    int32_t desktop_depth = 32;
    hresult cooperative_level = 0;  // what TestCooperativeLevel answers
    std::map<window_handle, fake_window> windows;

    // Records.
    std::vector<std::string> log;
    int directdraw_created = 0;
    int live_objects = 0;             // DirectDraw objects, clippers and surfaces not yet released
    std::set<fake_surface*> surfaces;  // live surfaces
    int surface_number = 0;

    // The log lines starting with `prefix`.
    std::vector<std::string> lines(const std::string& prefix) const {
        std::vector<std::string> out;
        for (const auto& l : log)
            if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
        return out;
    }
    fake_surface* surface_named(const std::string& prefix) const {
        for (fake_surface* s : surfaces)
            if (s->name.compare(0, prefix.size(), prefix) == 0) return s;
        return nullptr;
    }
    hresult call(const std::string& line) {
        log.push_back(line);
        auto it = fail.find(line);
        return it == fail.end() ? 0 : it->second;
    }

    hresult create_directdraw(std::unique_ptr<ddraw::object>& created) override {
        if (const hresult r = call("DirectDrawCreateEx"); r < 0) return r;
        created = std::make_unique<fake_directdraw>(*this, ++directdraw_created);
        return 0;
    }
    hresult create_clipper(uint32_t flags, std::unique_ptr<ddraw::clipper>& created) override {
        if (const hresult r = call("DirectDrawCreateClipper " + hex(flags)); r < 0) return r;
        created = std::make_unique<fake_clipper>(*this);
        return 0;
    }
    bool is_window(window_handle window) override { return windows.count(window) != 0; }
    uint32_t window_style(window_handle window) override { return windows.at(window).style; }
    uint32_t window_ex_style(window_handle window) override { return windows.at(window).ex_style; }
    void set_window_style(window_handle window, uint32_t style) override {
        log.push_back("SetWindowLong style " + hex(style));
        windows.at(window).style = style;
    }
    void set_window_ex_style(window_handle window, uint32_t ex_style) override {
        log.push_back("SetWindowLong exstyle " + hex(ex_style));
        windows.at(window).ex_style = ex_style;
    }
    menu_handle window_menu(window_handle window) override { return windows.at(window).menu; }
    void set_window_menu(window_handle window, menu_handle menu) override {
        log.push_back(menu ? "SetMenu menu" : "SetMenu none");
        windows.at(window).menu = menu;
    }
    bool is_iconic(window_handle window) override { return is_window(window) && windows.at(window).iconic; }
    bool client_rect_on_screen(window_handle window, rect& area) override {
        if (!is_window(window)) return false;
        area = windows.at(window).client_on_screen;
        return true;
    }
    void size_window_for_client(window_handle window, int32_t width, int32_t height) override {
        log.push_back("size_window_for_client " + std::to_string(width) + "x" + std::to_string(height));
        windows.at(window).iconic = false;
    }
    int32_t desktop_bits_per_pixel() override { return desktop_depth; }
};

inline fake_surface::fake_surface(fake_display_system& world, std::string surface_name, uint32_t w, uint32_t h,
                                  ddraw::pixel_format f)
    : name(std::move(surface_name)), width(w), height(h), format(f), world_(world) {
    // Rows padded to a multiple of 64 bytes, as drivers do, so that the
    // pitch is not simply the width.
    pitch = static_cast<int32_t>((w * (f.rgb_bit_count / 8) + 63) / 64 * 64 + 64);
    pixels.assign(static_cast<size_t>(pitch) * h, 0xEE);
    ++world_.live_objects;
    world_.surfaces.insert(this);
}
inline fake_surface::~fake_surface() {
    world_.log.push_back("Release " + name);
    --world_.live_objects;
    world_.surfaces.erase(this);
}
inline hresult fake_surface::call(const std::string& line) { return world_.call(line); }
inline hresult fake_surface::is_lost() {
    if (const hresult r = call("IsLost " + name); r != 0) return r;
    return lost ? ddraw::err_surfacelost : 0;
}
inline hresult fake_surface::restore() {
    if (const hresult r = call("Restore " + name); r < 0) return r;
    if (!restorable) return ddraw::err_wrongmode;
    lost = false;
    return 0;
}
inline hresult fake_surface::get_surface_desc(ddraw::surface_desc& desc) {
    if (const hresult r = call("GetSurfaceDesc " + name); r < 0) return r;
    desc.flags = ddraw::sd_caps | ddraw::sd_width | ddraw::sd_height | ddraw::sd_pitch | ddraw::sd_pixelformat;
    desc.width = width;
    desc.height = height;
    desc.pitch = pitch;
    desc.format = format;
    return 0;
}
inline hresult fake_surface::lock(ddraw::surface_desc& desc, uint32_t flags) {
    if (const hresult r = call("Lock " + name + " " + hex(flags)); r < 0) return r;
    if (lost) return ddraw::err_surfacelost;
    locked = true;
    get_surface_desc(desc);
    world_.log.pop_back();
    desc.memory = pixels.data();
    return 0;
}
inline hresult fake_surface::unlock() {
    locked = false;
    return call("Unlock " + name);
}
inline hresult fake_surface::blt(const rect* destination, ddraw::surface& source, uint32_t flags, uint32_t fx) {
    std::string where = "whole";
    if (destination)
        where = std::to_string(destination->left) + "," + std::to_string(destination->top) + "," +
                std::to_string(destination->right) + "," + std::to_string(destination->bottom);
    return call("Blt " + name + " " + where + " from " + static_cast<fake_surface&>(source).name + " flags " +
                hex(flags) + " fx " + hex(fx));
}
inline hresult fake_surface::flip(uint32_t flags) { return call("Flip " + name + " " + hex(flags)); }
inline hresult fake_surface::get_attached_surface(uint32_t caps, std::unique_ptr<ddraw::surface>& attached) {
    if (const hresult r = call("GetAttachedSurface " + name + " " + hex(caps)); r < 0) return r;
    attached = std::make_unique<fake_surface>(world_, "backbuffer#" + std::to_string(++world_.surface_number), width,
                                              height, format);
    return 0;
}
inline hresult fake_surface::set_clipper(ddraw::clipper&) { return call("SetClipper " + name); }

inline fake_clipper::fake_clipper(fake_display_system& world) : world_(world) { ++world_.live_objects; }
inline fake_clipper::~fake_clipper() {
    world_.log.push_back("Release clipper");
    --world_.live_objects;
}
inline hresult fake_clipper::set_hwnd(uint32_t flags, window_handle window) {
    return world_.call("SetHWnd " + hex(flags) + (window == world_.main ? " main" : " other"));
}

inline fake_directdraw::fake_directdraw(fake_display_system& world, int n) : number(n), world_(world) {
    ++world_.live_objects;
}
inline fake_directdraw::~fake_directdraw() {
    world_.log.push_back("Release directdraw#" + std::to_string(number));
    --world_.live_objects;
}
inline hresult fake_directdraw::call(const std::string& line) { return world_.call(line); }
inline hresult fake_directdraw::set_cooperative_level(window_handle window, uint32_t flags) {
    if (const hresult r = call("SetCooperativeLevel " + hex(flags) + (window == world_.main ? " main" : " other"));
        r < 0)
        return r;
    exclusive_ = (flags & ddraw::scl_exclusive) != 0;
    return 0;
}
inline hresult fake_directdraw::set_display_mode(uint32_t w, uint32_t h, uint32_t bits, uint32_t refresh,
                                                 uint32_t flags) {
    if (const hresult r = call("SetDisplayMode " + std::to_string(w) + "x" + std::to_string(h) + "x" +
                               std::to_string(bits) + " " + std::to_string(refresh) + " " + hex(flags));
        r < 0)
        return r;
    if (!exclusive_) return ddraw::err_noexclusivemode;
    mode_width_ = w;
    mode_height_ = h;
    mode_bits_ = bits;
    return 0;
}
inline hresult fake_directdraw::create_surface(const ddraw::surface_desc& desc,
                                               std::unique_ptr<ddraw::surface>& created) {
    std::string line = "CreateSurface flags " + hex(desc.flags) + " caps " + hex(desc.caps);
    if (desc.flags & ddraw::sd_backbuffercount) line += " backbuffers " + std::to_string(desc.back_buffer_count);
    if (desc.flags & ddraw::sd_width) line += " " + std::to_string(desc.width) + "x" + std::to_string(desc.height);
    if (const hresult r = call(line); r < 0) return r;
    const bool primary = (desc.caps & ddraw::caps_primarysurface) != 0;
    ddraw::pixel_format format = world_.desktop;
    uint32_t w = desc.width, h = desc.height;
    if (primary) {
        w = mode_bits_ ? mode_width_ : fake_display_system::screen_width;
        h = mode_bits_ ? mode_height_ : fake_display_system::screen_height;
    }
    if (mode_bits_ == 32) format = {ddraw::pf_rgb, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0};
    created = std::make_unique<fake_surface>(
        world_, (primary ? "primary#" : "offscreen#") + std::to_string(++world_.surface_number), w, h, format);
    return 0;
}
inline hresult fake_directdraw::test_cooperative_level() {
    world_.log.push_back("TestCooperativeLevel");
    return world_.cooperative_level;
}
inline hresult fake_directdraw::flip_to_gdi_surface() { return call("FlipToGDISurface"); }
inline hresult fake_directdraw::restore_display_mode() {
    mode_bits_ = 0;
    return call("RestoreDisplayMode");
}

}  // namespace tamber::testing
