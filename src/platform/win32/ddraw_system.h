// The display device's platform seam over the real DirectDraw 7 and the
// Win32 window it draws into.
#pragma once

#include <windows.h>

#include <cstdint>

#include "display/directdraw.h"

namespace tamber::win32 {

// Shows string `id` of the string table in a message box (the shell's
// error-message routine).
using show_message_fn = void (*)(uint32_t id, uint32_t flags);

class directdraw_system final : public tamber::display_system {
public:
    // Reads the main window through a reference because it is created after
    // this object.
    directdraw_system(HWND& main_window, show_message_fn show_message)
        : main_window_(main_window), show_message_(show_message) {}

    hresult create_directdraw(std::unique_ptr<ddraw::object>& created) override;
    hresult create_clipper(uint32_t flags, std::unique_ptr<ddraw::clipper>& created) override;

    window_handle main_window() override { return main_window_; }
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

    void play_sound_alias(const char16_t* alias, uint32_t flags) override;
    void show_message(uint32_t string_id, uint32_t flags) override;
    void post_close(window_handle window) override;

private:
    HWND& main_window_;
    show_message_fn show_message_;
};

}  // namespace tamber::win32
