// The display device's view of DirectDraw 7 and of the window it draws into:
// interfaces shaped after the IDirectDraw7, IDirectDrawClipper and
// IDirectDrawSurface7 calls the device makes, a factory for the first two,
// and the few window calls around them. The Win32 build implements them over
// the real interfaces; tests implement them with fakes.
//
// Ownership: every object handed out through a std::unique_ptr holds exactly
// one reference of the interface it stands for; destroying it releases that
// reference. Numbers (flags, result codes) keep their DirectDraw meaning.
#pragma once

#include <cstdint>
#include <memory>

#include "applet/applet_base.h"
#include "draw/frame_image.h"

namespace tamber {

using hresult = int32_t;
using menu_handle = void*;

namespace ddraw {

// Results. The names DirectDraw's own headers use are macros on Windows, so
// these carry lower-case names.
constexpr hresult ok = 0;
constexpr hresult err_generic = static_cast<hresult>(0x80004005);            // DDERR_GENERIC (E_FAIL)
constexpr hresult err_invalidarg = static_cast<hresult>(0x80070057);         // E_INVALIDARG
constexpr hresult err_invalidpixelformat = static_cast<hresult>(0x88760091);  // DDERR_INVALIDPIXELFORMAT
constexpr hresult err_invalidmode = static_cast<hresult>(0x88760078);        // DDERR_INVALIDMODE
constexpr hresult err_surfacelost = static_cast<hresult>(0x887601C2);        // DDERR_SURFACELOST
constexpr hresult err_wrongmode = static_cast<hresult>(0x8876024B);          // DDERR_WRONGMODE
constexpr hresult err_noexclusivemode = static_cast<hresult>(0x887600E1);    // DDERR_NOEXCLUSIVEMODE
constexpr hresult err_exclusivemodealreadyset = static_cast<hresult>(0x88760245);  // DDERR_EXCLUSIVEMODEALREADYSET

// SetCooperativeLevel
constexpr uint32_t scl_fullscreen = 0x1;
constexpr uint32_t scl_allowreboot = 0x2;
constexpr uint32_t scl_normal = 0x8;
constexpr uint32_t scl_exclusive = 0x10;

// DDSURFACEDESC2 dwFlags
constexpr uint32_t sd_caps = 0x1;
constexpr uint32_t sd_height = 0x2;
constexpr uint32_t sd_width = 0x4;
constexpr uint32_t sd_pitch = 0x8;
constexpr uint32_t sd_backbuffercount = 0x20;
constexpr uint32_t sd_pixelformat = 0x1000;

// DDSCAPS2 dwCaps
constexpr uint32_t caps_backbuffer = 0x4;
constexpr uint32_t caps_complex = 0x8;
constexpr uint32_t caps_flip = 0x10;
constexpr uint32_t caps_offscreenplain = 0x40;
constexpr uint32_t caps_primarysurface = 0x200;

// DDPIXELFORMAT dwFlags
constexpr uint32_t pf_paletteindexed8 = 0x20;
constexpr uint32_t pf_rgb = 0x40;

// Lock, Blt, Flip
constexpr uint32_t lock_wait = 0x1;
constexpr uint32_t blt_async = 0x200;
constexpr uint32_t blt_ddfx = 0x800;
constexpr uint32_t blt_wait = 0x01000000;
constexpr uint32_t bltfx_notearing = 0x8;
constexpr uint32_t flip_wait = 0x1;

// The DDPIXELFORMAT fields the host reads.
struct pixel_format {
    uint32_t flags;
    uint32_t rgb_bit_count;
    uint32_t red_mask;
    uint32_t green_mask;
    uint32_t blue_mask;
    uint32_t alpha_mask;
};

// The DDSURFACEDESC2 fields the host fills in or reads. A zeroed value is
// a zeroed description; the Win32 side sets the structure size itself.
struct surface_desc {
    uint32_t flags;
    uint32_t width;
    uint32_t height;
    int32_t pitch;  // lPitch: bytes from one row to the next
    uint32_t back_buffer_count;
    uint32_t caps;  // ddsCaps.dwCaps
    pixel_format format;
    void* memory;  // lpSurface, while locked
};

class clipper {
public:
    virtual ~clipper() = default;
    virtual hresult set_hwnd(uint32_t flags, window_handle window) = 0;
};

class surface {
public:
    virtual ~surface() = default;
    virtual hresult is_lost() = 0;
    virtual hresult restore() = 0;
    virtual hresult get_surface_desc(surface_desc& desc) = 0;
    // Locks the whole surface (no rectangle) with `flags`; `desc` receives
    // the description with the memory pointer and pitch.
    virtual hresult lock(surface_desc& desc, uint32_t flags) = 0;
    virtual hresult unlock() = 0;  // the whole surface
    // Blt from the whole `source` to `destination` (null: the whole
    // surface), with a DDBLTFX whose dwDDFX is `fx`.
    virtual hresult blt(const rect* destination, surface& source, uint32_t flags, uint32_t fx) = 0;
    virtual hresult flip(uint32_t flags) = 0;  // no target override
    virtual hresult get_attached_surface(uint32_t caps, std::unique_ptr<surface>& attached) = 0;
    virtual hresult set_clipper(clipper& c) = 0;
};

class object {  // IDirectDraw7
public:
    virtual ~object() = default;
    virtual hresult set_cooperative_level(window_handle window, uint32_t flags) = 0;
    virtual hresult set_display_mode(uint32_t width, uint32_t height, uint32_t bits_per_pixel, uint32_t refresh_rate,
                                     uint32_t flags) = 0;
    virtual hresult create_surface(const surface_desc& desc, std::unique_ptr<surface>& created) = 0;
    virtual hresult test_cooperative_level() = 0;
    virtual hresult flip_to_gdi_surface() = 0;
    virtual hresult restore_display_mode() = 0;
};

}  // namespace ddraw

// Creation of the DirectDraw objects: DirectDrawCreateEx for the default
// driver with interface IDirectDraw7, and DirectDrawCreateClipper.
class directdraw_factory {
public:
    virtual hresult create_directdraw(std::unique_ptr<ddraw::object>& created) = 0;
    virtual hresult create_clipper(uint32_t flags, std::unique_ptr<ddraw::clipper>& created) = 0;

protected:
    ~directdraw_factory() = default;
};

// What the display device needs of the window it draws into, and of the
// desktop around it.
class display_window {
public:
    virtual bool is_window(window_handle window) = 0;
    virtual uint32_t window_style(window_handle window) = 0;     // GWL_STYLE
    virtual uint32_t window_ex_style(window_handle window) = 0;  // GWL_EXSTYLE
    virtual void set_window_style(window_handle window, uint32_t style) = 0;
    virtual void set_window_ex_style(window_handle window, uint32_t ex_style) = 0;
    virtual menu_handle window_menu(window_handle window) = 0;
    virtual void set_window_menu(window_handle window, menu_handle menu) = 0;
    virtual bool is_iconic(window_handle window) = 0;
    // The client area in screen coordinates; false when it cannot be read.
    virtual bool client_rect_on_screen(window_handle window, rect& area) = 0;
    // Gives the window a client area of width x height, centred in the work
    // area, restored from minimised.
    virtual void size_window_for_client(window_handle window, int32_t width, int32_t height) = 0;
    // Planes times bits per pixel of the screen.
    virtual int32_t desktop_bits_per_pixel() = 0;

protected:
    ~display_window() = default;
};

}  // namespace tamber
