#include "platform/win32/window.h"

#include "resources/resource_ids.h"

namespace tamber::win32 {

RECT fit_window_rect(RECT client, DWORD style, BOOL has_menu, DWORD ex_style) {
    AdjustWindowRectEx(&client, style, has_menu, ex_style);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const rect r = tamber::fit_window_rect({client.left, client.top, client.right, client.bottom},
                                           {work.left, work.top, work.right, work.bottom});
    return {r.left, r.top, r.right, r.bottom};
}

void size_window_for_client(HWND window, int32_t width, int32_t height) {
    const DWORD style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
    const DWORD ex_style = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
    const BOOL has_menu = GetMenu(window) != nullptr;
    const RECT r = fit_window_rect({0, 0, width, height}, style, has_menu, ex_style);
    ShowWindow(window, SW_RESTORE);
    MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

bool create_main_window(HINSTANCE instance, WNDPROC procedure, const wchar_t* title, int32_t width,
                        int32_t height, HWND& main_window, DWORD& error) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_DBLCLKS;  // double clicks arrive as their own messages
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN));
    wc.hCursor = nullptr;  // the shell sets the cursor after every mouse event
    // System colour 1 plus one; never used, since erasing is suppressed.
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(2));
    wc.lpszClassName = main_class_name;
    if (!RegisterClassExW(&wc)) {
        error = GetLastError();
        return false;
    }
    const RECT r = fit_window_rect({0, 0, width, height}, main_style, FALSE, main_ex_style);
    // CreateWindowExW does not always set an error when it fails (a window
    // procedure that refuses WM_NCCREATE, a system without a display), and a
    // code left over from an earlier call would only mislead: the message
    // then shows E_FAIL.
    SetLastError(ERROR_SUCCESS);
    main_window = CreateWindowExW(main_ex_style, main_class_name, title, main_style, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (!main_window) {
        error = GetLastError();
        if (error == ERROR_SUCCESS) error = static_cast<DWORD>(E_FAIL);
        return false;
    }
    UpdateWindow(main_window);
    return true;
}

void window_calls::set_capture() { SetCapture(window_); }

void window_calls::release_capture() { ReleaseCapture(); }

void window_calls::set_cursor(cursor_handle cursor) { SetCursor(static_cast<HCURSOR>(cursor)); }

point window_calls::cursor_position() {
    POINT p{};
    GetCursorPos(&p);
    ScreenToClient(window_, &p);
    return {p.x, p.y};
}

point window_calls::screen_to_client(point screen) {
    POINT p{screen.x, screen.y};
    ScreenToClient(window_, &p);
    return {p.x, p.y};
}

void window_calls::hide_window() { ShowWindow(window_, SW_HIDE); }

void window_calls::window_destroyed() { PostQuitMessage(0); }

void window_calls::begin_paint() { paint_dc_ = BeginPaint(window_, &paint_); }

void window_calls::fill_paint_black() {
    if (paint_dc_) FillRect(paint_dc_, &paint_.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void window_calls::end_paint() {
    EndPaint(window_, &paint_);
    paint_dc_ = nullptr;
}

HWND window_calls::exchange_window(HWND window) {
    const HWND previous = window_;
    window_ = window;
    return previous;
}

LRESULT handle_main_window_message(tamber::window_procedure& procedure, window_calls& calls, HWND window,
                                   UINT message, WPARAM wparam, LPARAM lparam) {
    // Messages nest (WM_CLOSE destroys the window from inside): each one
    // knows its own window while it is handled.
    const HWND outer = calls.exchange_window(window);
    const message_answer answer = procedure.handle(message, wparam, lparam);
    calls.exchange_window(outer);
    return answer.call_default ? DefWindowProcW(window, message, wparam, lparam) : answer.result;
}

}  // namespace tamber::win32
