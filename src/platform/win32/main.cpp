// quillon.exe: the process-wide objects, WinMain's start-up sequence and the
// main window.
#include <windows.h>

#include <commctrl.h>
#include <mmsystem.h>
#include <objbase.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "applet/applet.h"
#include "applet/tb_applet.h"
#include "draw/frame_image.h"
#include "platform/win32/gdi_display.h"
#include "platform/win32/win32_library.h"
#include "platform/win32/win32_shell.h"
#include "resources/resource_ids.h"
#include "shell/messages.h"
#include "shell/shell.h"

#ifndef TAMBER_BASE_URL
#define TAMBER_BASE_URL ""
#endif

namespace {

constexpr int32_t frame_width = 800;
constexpr int32_t frame_height = 600;
constexpr wchar_t main_class_name[] = L"__tamber_main_class";
constexpr DWORD main_style = 0x92CA0000;     // popup, visible, clip children, caption, system menu, minimise box
constexpr DWORD main_ex_style = 0x00040300;  // app window, client edge, window edge

// Shell globals, zero until set.
HWND main_window = nullptr;
HACCEL accelerators = nullptr;
wchar_t window_title[64] = L"";
int32_t application_type = 0;

// Process-wide objects, constructed in this order before WinMain and
// destroyed in reverse order after it.
tamber::frame_image frame(frame_width, frame_height);
tamber::tb_applet bootstrap_applet;
tamber::win32::library_loader library_loader;
tamber::applet library_applet(library_loader);
tamber::win32::gdi_display display(main_window);
tamber::win32::window_system windows(main_window, accelerators);
tamber::shell host(frame, bootstrap_applet, library_applet, windows, display);

// Loads string `id` and shows it in a message box owned by the main window
// (which may not exist yet). A text with an error-code placeholder gets
// `code` filled in.
int show_error_message(UINT id, UINT flags, uint32_t code = 0) {
    wchar_t text[512];
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
    std::u16string loaded(reinterpret_cast<const char16_t*>(text), length > 0 ? length : 0);
    const std::u16string shown = tamber::fill_error_code(loaded, code);
    return MessageBoxW(main_window, reinterpret_cast<const wchar_t*>(shown.c_str()), window_title, flags);
}

LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_DESTROY:
        main_window = nullptr;
        PostQuitMessage(0);
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (!display.repaint(dc)) FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        library_applet.on_wm_close();
        display.close();
        ShowWindow(window, SW_HIDE);
        break;  // the default procedure destroys the window
    case WM_ERASEBKGND:
        return 1;
    case WM_ENTERMENULOOP:
        host.set_in_menu_loop(true);
        break;
    case WM_EXITMENULOOP:
        host.set_in_menu_loop(false);
        break;
    case TAMBER_WM_LOBBY:
        library_applet.on_wm_lobby();
        break;
    case TAMBER_WM_ASYNC_SELECT:
        library_applet.on_wm_async_select(HIWORD(lparam));
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wparam, lparam);
}

// A client rectangle of width x height at (0, 0) turned into a window
// rectangle centred in the work area, shrunk to it when too large.
RECT fit_window_rect(RECT rect, DWORD style, BOOL has_menu, DWORD ex_style) {
    AdjustWindowRectEx(&rect, style, has_menu, ex_style);
    LONG w = rect.right - rect.left, h = rect.bottom - rect.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const LONG work_w = work.right - work.left, work_h = work.bottom - work.top;
    if (w > work_w) w = work_w;
    if (h > work_h) h = work_h;
    RECT out;
    out.left = work.left + (work_w - w) / 2;
    out.top = work.top + (work_h - h) / 2;
    out.right = out.left + w;
    out.bottom = out.top + h;
    return out;
}

// Registers the class and creates the window. On failure main_window stays
// null and `error` holds the system error code.
bool create_main_window(HINSTANCE instance, DWORD& error) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = main_window_procedure;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_MAIN));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_SCROLLBAR + 2);
    wc.lpszClassName = main_class_name;
    if (!RegisterClassExW(&wc)) {
        error = GetLastError();
        return false;
    }
    const RECT r = fit_window_rect({0, 0, frame.width(), frame.height()}, main_style, FALSE, main_ex_style);
    main_window = CreateWindowExW(main_ex_style, main_class_name, window_title, main_style, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, nullptr);
    if (!main_window) {
        error = GetLastError();
        return false;
    }
    UpdateWindow(main_window);
    return true;
}

}  // namespace

// The host's export (ordinal 1): any module in the process reaches the lobby
// library's applet_send_packet through it.
extern "C" void __stdcall applet_send_packet(uint32_t a, uint32_t b) { library_applet.send_packet(a, b); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitCommonControls();
    CoInitialize(nullptr);
    srand(static_cast<unsigned>(time(nullptr)));
    LoadStringW(instance, IDS_TITLE, window_title, 64);

    DWORD error = 0;
    if (!create_main_window(instance, error)) {
        show_error_message(IDS_WINDOW_FAILED, MB_ICONERROR, error);
        return -1;
    }
    accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));

    if (!display.open()) {
        show_error_message(IDS_WINDOWED_FAILED, MB_OK);
        PostMessageW(main_window, WM_CLOSE, 0, 0);
        return -1;
    }

    tamber::win32::set_up_data_directory(main_window);
    application_type = 2;
    bootstrap_applet.set_server_path(TAMBER_BASE_URL);
    bootstrap_applet.start_update();

    timeBeginPeriod(1);
    const int result = host.run_message_loop();
    timeEndPeriod(1);
    return result;
}
