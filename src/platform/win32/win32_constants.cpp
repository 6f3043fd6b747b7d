// The core speaks Win32's and DirectDraw's numbers without their headers:
// each number it writes down is checked here, at compile time, against the
// real headers. Nothing here runs.
#include <windows.h>
#include <ddraw.h>
#include <mmsystem.h>

#include "applet/library.h"
#include "display/directdraw.h"
#include "display/display_device.h"
#include "shell/input.h"
#include "shell/window_procedure.h"
#include "update/body_buffer.h"

namespace tamber {
namespace {

template <typename A, typename B>
constexpr bool same(A a, B b) {
    return static_cast<uint32_t>(a) == static_cast<uint32_t>(b);
}

// DirectDraw result codes.
static_assert(same(ddraw::ok, DD_OK));
static_assert(same(ddraw::err_generic, DDERR_GENERIC));
static_assert(same(ddraw::err_invalidarg, E_INVALIDARG));
static_assert(same(ddraw::err_invalidpixelformat, DDERR_INVALIDPIXELFORMAT));
static_assert(same(ddraw::err_invalidmode, DDERR_INVALIDMODE));
static_assert(same(ddraw::err_surfacelost, DDERR_SURFACELOST));
static_assert(same(ddraw::err_wrongmode, DDERR_WRONGMODE));
static_assert(same(ddraw::err_noexclusivemode, DDERR_NOEXCLUSIVEMODE));
static_assert(same(ddraw::err_exclusivemodealreadyset, DDERR_EXCLUSIVEMODEALREADYSET));

// Cooperative levels, surface descriptions, capabilities, pixel formats.
static_assert(same(ddraw::scl_fullscreen, DDSCL_FULLSCREEN));
static_assert(same(ddraw::scl_allowreboot, DDSCL_ALLOWREBOOT));
static_assert(same(ddraw::scl_normal, DDSCL_NORMAL));
static_assert(same(ddraw::scl_exclusive, DDSCL_EXCLUSIVE));
static_assert(same(ddraw::sd_caps, DDSD_CAPS));
static_assert(same(ddraw::sd_height, DDSD_HEIGHT));
static_assert(same(ddraw::sd_width, DDSD_WIDTH));
static_assert(same(ddraw::sd_pitch, DDSD_PITCH));
static_assert(same(ddraw::sd_backbuffercount, DDSD_BACKBUFFERCOUNT));
static_assert(same(ddraw::sd_pixelformat, DDSD_PIXELFORMAT));
static_assert(same(ddraw::caps_backbuffer, DDSCAPS_BACKBUFFER));
static_assert(same(ddraw::caps_complex, DDSCAPS_COMPLEX));
static_assert(same(ddraw::caps_flip, DDSCAPS_FLIP));
static_assert(same(ddraw::caps_offscreenplain, DDSCAPS_OFFSCREENPLAIN));
static_assert(same(ddraw::caps_primarysurface, DDSCAPS_PRIMARYSURFACE));
static_assert(same(ddraw::pf_paletteindexed8, DDPF_PALETTEINDEXED8));
static_assert(same(ddraw::pf_rgb, DDPF_RGB));

// Lock, blit and flip flags.
static_assert(same(ddraw::lock_wait, DDLOCK_WAIT));
static_assert(same(ddraw::blt_async, DDBLT_ASYNC));
static_assert(same(ddraw::blt_ddfx, DDBLT_DDFX));
static_assert(same(ddraw::blt_wait, DDBLT_WAIT));
static_assert(same(ddraw::bltfx_notearing, DDBLTFX_NOTEARING));
static_assert(same(ddraw::flip_wait, DDFLIP_WAIT));

// The display device's window style and refusal sound.
static_assert(same(fullscreen_window_style, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN | WS_SYSMENU));
static_assert(same(fullscreen_refused_sound_flags, SND_ALIAS | SND_ASYNC | SND_NOSTOP));
static_assert(same(error_invalid_window_handle, ERROR_INVALID_WINDOW_HANDLE));

// Window messages and system commands.
static_assert(same(wm::destroy, WM_DESTROY));
static_assert(same(wm::paint, WM_PAINT));
static_assert(same(wm::close, WM_CLOSE));
static_assert(same(wm::erase_background, WM_ERASEBKGND));
static_assert(same(wm::cancel_mode, WM_CANCELMODE));
static_assert(same(wm::key_down, WM_KEYDOWN));
static_assert(same(wm::key_up, WM_KEYUP));
static_assert(same(wm::character, WM_CHAR));
static_assert(same(wm::command, WM_COMMAND));
static_assert(same(wm::system_command, WM_SYSCOMMAND));
static_assert(same(wm::mouse_move, WM_MOUSEMOVE));
static_assert(same(wm::left_button_down, WM_LBUTTONDOWN));
static_assert(same(wm::left_button_up, WM_LBUTTONUP));
static_assert(same(wm::left_button_double_click, WM_LBUTTONDBLCLK));
static_assert(same(wm::right_button_down, WM_RBUTTONDOWN));
static_assert(same(wm::right_button_up, WM_RBUTTONUP));
static_assert(same(wm::right_button_double_click, WM_RBUTTONDBLCLK));
static_assert(same(wm::middle_button_down, WM_MBUTTONDOWN));
static_assert(same(wm::middle_button_up, WM_MBUTTONUP));
static_assert(same(wm::middle_button_double_click, WM_MBUTTONDBLCLK));
static_assert(same(wm::mouse_wheel, WM_MOUSEWHEEL));
static_assert(same(wm::enter_menu_loop, WM_ENTERMENULOOP));
static_assert(same(wm::exit_menu_loop, WM_EXITMENULOOP));
static_assert(same(wm::lobby, WM_APP + 2));
static_assert(same(wm::toggle_display_mode, WM_APP + 3));
static_assert(same(wm::async_select, WM_APP + 0x101));
static_assert(same(sc_mouse_menu, SC_MOUSEMENU));
static_assert(same(sc_key_menu, SC_KEYMENU));
static_assert(same(sc_screen_save, SC_SCREENSAVE));
static_assert(same(sc_monitor_power, SC_MONITORPOWER));
static_assert(same(vk_escape, VK_ESCAPE));

// System error codes the core reports.
static_assert(same(error_mod_not_found, ERROR_MOD_NOT_FOUND));
static_assert(same(error_bad_format, ERROR_BAD_FORMAT));
static_assert(same(error_out_of_memory, ERROR_NOT_ENOUGH_MEMORY));

}  // namespace
}  // namespace tamber
