// The display device's platform seam over the real DirectDraw 7 and the
// Win32 window it draws into.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/directdraw.h"

namespace tamber::win32 {

// DirectDraw 7 of the default driver.
class directdraw_factory final : public tamber::directdraw_factory {
public:
    hresult create_directdraw(std::unique_ptr<ddraw::object>& created) override;
    hresult create_clipper(uint32_t flags, std::unique_ptr<ddraw::clipper>& created) override;
};

// The Win32 window the display draws into, and the screen.
class display_window final : public tamber::display_window {
public:
    bool is_window(window_handle window) override;
    uint32_t window_style(window_handle window) override;
    uint32_t window_ex_style(window_handle window) override;
    void set_window_style(window_handle window, uint32_t style) override;
    void set_window_ex_style(window_handle window, uint32_t ex_style) override;
    menu_handle window_menu(window_handle window) override;
    void set_window_menu(window_handle window, menu_handle menu) override;
    bool is_iconic(window_handle window) override;
    bool client_rect_on_screen(window_handle window, rect& area) override;
    void size_window_for_client(window_handle window, int32_t width, int32_t height) override;
    int32_t desktop_bits_per_pixel() override;
};

}  // namespace tamber::win32
