// quillon.exe: the process-wide objects, WinMain's start-up sequence and the
// main window.
#include <windows.h>

#include <commctrl.h>
#include <mmsystem.h>
#include <objbase.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "applet/applet.h"
#include "applet/tb_applet.h"
#include "display/display_device.h"
#include "draw/font_engine.h"
#include "draw/frame_image.h"
#include "draw/progress_screen.h"
#include "platform/win32/ddraw_system.h"
#include "platform/win32/gdi_font.h"
#include "platform/win32/wininet_http.h"
#include "platform/win32/win32_library.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/window.h"
#include "resources/resource_ids.h"
#include "shell/frame_stats.h"
#include "shell/input.h"
#include "shell/shell.h"
#include "shell/window_procedure.h"

#ifdef TAMBER_CONTENT_KEY
// A host built with content keys: the generated content_key.h holds them.
#include "content_key.h"
#include "platform/win32/cng_signature.h"
#include "update/release.h"
#endif

#ifndef TAMBER_BASE_URL
#define TAMBER_BASE_URL ""
#endif

namespace {

// Process-wide objects, constructed in this order before WinMain and
// destroyed in reverse order after it. Each is constructed after everything
// it refers to; the main window is handed over once WinMain has made it.
// The text engine first: the two fonts and the text bitmap are made by it.
tamber::win32::gdi_font_engine text_engine;
tamber::font large_font(text_engine, tamber::large_font_desc());
tamber::font small_font(text_engine, tamber::small_font_desc());
tamber::render_bitmap text_bitmap(text_engine);
const tamber::text_resources text{large_font, small_font, text_bitmap};
tamber::frame_image frame(tamber::host_frame_width, tamber::host_frame_height);
tamber::win32::wininet_http http;
tamber::win32::library_loader library_loader;
tamber::applet library_applet(library_loader);
tamber::tb_applet bootstrap_applet(http, library_applet, text);
// The display device, on DirectDraw 7.
tamber::win32::directdraw_factory directdraw;
tamber::win32::display_window display_window;
tamber::display_device display(directdraw, display_window);
// The mouse-routing state: the system drag distances and the arrow cursor,
// read once. An active drag is released when it goes.
tamber::win32::window_calls window_calls;
tamber::mouse_router mouse(window_calls, GetSystemMetrics(SM_CXDRAG), GetSystemMetrics(SM_CYDRAG),
                           LoadCursorW(nullptr, IDC_ARROW));
tamber::win32::window_system windows(LoadAcceleratorsW(GetModuleHandleW(nullptr),
                                                       MAKEINTRESOURCEW(IDR_ACCELERATORS)));
// The shell opens the display with the frame's size, and 32 bits per pixel
// in fullscreen mode.
tamber::shell host(frame, bootstrap_applet, library_applet, windows, display);
tamber::window_procedure procedure(host, library_applet, display, mouse, window_calls);
#ifdef TAMBER_CONTENT_KEY
const tamber::win32::cng_verifier content_verifier;
const tamber::signed_releases signed_release(content_verifier, tamber::content_keys);
#endif

// The main window's procedure: the shell's decisions for every message.
LRESULT CALLBACK main_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return tamber::win32::handle_main_window_message(procedure, window_calls, window, message, wparam, lparam);
}

}  // namespace

// The host's export (ordinal 1): any module in the process reaches the lobby
// library's applet_send_packet through it.
extern "C" void TAMBER_CALL applet_send_packet(uint32_t a, uint32_t b) { library_applet.send_packet(a, b); }

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    [[maybe_unused]] const uint32_t started = windows.time_ms();
    InitCommonControls();
    CoInitialize(nullptr);
    srand(static_cast<unsigned>(time(nullptr)));
    wchar_t window_title[64] = L"";
    LoadStringW(instance, IDS_TITLE, window_title, 64);

    HWND main_window = nullptr;
    DWORD error = 0;
    if (!tamber::win32::create_main_window(instance, main_window_procedure, window_title, frame.width(),
                                           frame.height(), main_window, error)) {
        tamber::win32::show_error_message(nullptr, IDS_WINDOW_FAILED, MB_ICONERROR, error);
        return -1;
    }

    // The handover of the main window. On failure the message (string 6)
    // has been shown and WM_CLOSE posted.
    if (!host.open_display(main_window)) return -1;

    std::wstring store;
    uint32_t store_error = 0;
    if (!tamber::win32::set_up_data_directory(main_window, store, store_error)) {
#ifdef TAMBER_CONTENT_KEY
        // A signed host loads only what its own store holds: without one it
        // does not start, rather than run from the folder it was started in,
        // where anyone may have put files.
        tamber::win32::show_error_message(main_window, IDS_STORE_FAILED, MB_ICONERROR, store_error);
        return -1;
#else
        // The run goes on in the folder it was started in: the files are
        // written there and the lobby is loaded from there.
        store = tamber::win32::current_directory();
#endif
    }
    library_loader.set_folder(store);
    bootstrap_applet.set_server_path(TAMBER_BASE_URL);
#ifdef TAMBER_CONTENT_KEY
    bootstrap_applet.set_release_check(&signed_release);
#endif
    bootstrap_applet.start_update(main_window, tamber::lobby_application_type);

#ifdef TAMBER_MEASURE_HOST
    // Frame statistics, in the host built for measuring only (see
    // shell/frame_stats.h): the host a player runs reads nothing from its
    // environment.
    char stats_path[MAX_PATH];
    const DWORD stats_length = GetEnvironmentVariableA("TAMBER_FRAME_STATS", stats_path, MAX_PATH);
    std::unique_ptr<tamber::frame_stats> stats;
    if (stats_length > 0 && stats_length < MAX_PATH) {
        stats = std::make_unique<tamber::frame_stats>(stats_path, started, bootstrap_applet.update_state(),
                                                      library_applet);
        host.set_frame_listener(stats.get());
    }
#endif

    timeBeginPeriod(1);
    const int result = host.run_message_loop();
    timeEndPeriod(1);
    host.set_frame_listener(nullptr);
    return result;
}
