// The main window on Win32: its class and creation, its size and place,
// and the window procedure that feeds every message through the shell's
// decisions (shell/window_procedure.h) and does what they ask of the window.
#pragma once

#include <windows.h>

#include <cstdint>

#include "shell/window_procedure.h"

namespace tamber::win32 {

constexpr wchar_t main_class_name[] = L"__tamber_main_class";
constexpr DWORD main_style = 0x92CA0000;     // popup, visible, clip children, caption, system menu, minimise box
constexpr DWORD main_ex_style = 0x00040300;  // app window, client edge, window edge

// A client rectangle at (0, 0) turned into a window rectangle for the given
// styles, shrunk to the work area where it does not fit and centred in it.
RECT fit_window_rect(RECT client, DWORD style, BOOL has_menu, DWORD ex_style);

// Gives `window` a client area of width x height with its current styles,
// centred in the work area; restores it first if it is minimised.
void size_window_for_client(HWND window, int32_t width, int32_t height);

// Registers the class and creates the window with a client area of width x
// height, centred; stores it in `main_window` and paints it. On failure
// `main_window` stays null and `error` holds the system error code.
bool create_main_window(HINSTANCE instance, WNDPROC procedure, const wchar_t* title, int32_t width,
                        int32_t height, HWND& main_window, DWORD& error);

// The window-system calls of input routing and the window procedure, on
// the window whose message is being handled.
class window_calls final : public tamber::window_calls {
public:

    void set_capture() override;
    void release_capture() override;
    void set_cursor(cursor_handle cursor) override;
    point cursor_position() override;
    point screen_to_client(point screen) override;
    void hide_window() override;
    void window_destroyed() override;
    void begin_paint() override;
    void fill_paint_black() override;
    void end_paint() override;

    // The window whose message is being handled; returns the previous one.
    HWND exchange_window(HWND window);

private:
    HWND window_ = nullptr;
    PAINTSTRUCT paint_{};
    HDC paint_dc_ = nullptr;
};

// The main window's procedure: the decisions, then DefWindowProcW where they
// ask for it.
LRESULT handle_main_window_message(tamber::window_procedure& procedure, window_calls& calls, HWND window,
                                   UINT message, WPARAM wparam, LPARAM lparam);

}  // namespace tamber::win32
