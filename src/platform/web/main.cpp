// The browser host: the same start-up, frame step and shut-down as
// quillon.exe, on the browser's own interfaces: a canvas (web_display), DOM
// input (web_events, web_shell), the browser's font engine through an
// off-screen canvas (canvas_font), fetch with streamed bodies (fetch_http),
// WebAssembly side modules as game libraries (web_library), WebCrypto for
// signed content, and the store in IndexedDB. The page (web_host.js) mounts
// the store before main runs; main sets everything up and leaves, and the
// browser calls the frame step on every animation frame from then on.
#include <emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "applet/applet.h"
#include "applet/tb_applet.h"
#include "draw/font_engine.h"
#include "draw/frame_image.h"
#include "draw/progress_screen.h"
#include "platform/web/canvas_font.h"
#include "platform/web/fetch_http.h"
#include "platform/web/web_display.h"
#include "platform/web/web_host.h"
#include "platform/web/web_library.h"
#include "platform/web/web_shell.h"
#include "resources/resource_ids.h"
#include "shell/input.h"
#include "shell/shell.h"
#include "shell/window_procedure.h"
#include "update/download_log.h"

#ifdef TAMBER_CONTENT_KEY
// A host built with content keys: the generated content_key.h holds them.
#include "content_key.h"
#include "platform/web/webcrypto_signature.h"
#include "update/release.h"
#endif

namespace {

// The lobby library of the browser's content.
constexpr char web_root_library_name[] = "tblobby.wasm";
// Where the page mounts the store (web_host.js).
constexpr char store_folder[] = "/store";

// Process-wide objects, constructed in this order before main and destroyed
// in reverse order, as quillon.exe's; each after what it refers to.
tamber::web::canvas_font_engine text_engine;
tamber::font large_font(text_engine, tamber::large_font_desc());
tamber::font small_font(text_engine, tamber::small_font_desc());
tamber::render_bitmap text_bitmap(text_engine);
const tamber::text_resources text{large_font, small_font, text_bitmap};
tamber::frame_image frame(tamber::host_frame_width, tamber::host_frame_height);
tamber::web::fetch_http http;
tamber::web::library_loader library_loader;
tamber::applet library_applet(library_loader);
tamber::tb_applet bootstrap_applet(http, library_applet, text);
tamber::web::web_windows windows;
tamber::web::web_display display;
tamber::mouse_router mouse(windows, tamber::web::drag_distance, tamber::web::drag_distance, nullptr);
tamber::shell host(frame, bootstrap_applet, library_applet, windows, display);
tamber::window_procedure procedure(host, library_applet, display, mouse, windows);

// The canvas stands for the main window: any non-null handle does, since
// nothing dereferences it.
int canvas_window = 0;
std::string base_url;
bool stored_after_update = false;
bool shut_down = false;

void mirror_log_line(const char* line) { tamber_web_log_line(line); }

// The shut-down, once the window is gone: the lobby is unloaded, the
// display closed, the store written out, and the browser calls no more
// frames.
void shut_down_host() {
    if (shut_down) return;
    shut_down = true;
    emscripten_cancel_main_loop();
    library_applet.unload();
    display.close();
    tamber_web_store_sync();
    std::printf("tamber: closed\n");
}

// One animation frame: the waiting messages, then one frame step.
void animation_frame() {
    if (shut_down) return;
    const double started = emscripten_get_now();
    struct timed {
        double started;
        ~timed() { tamber_web_frame_step_time(emscripten_get_now() - started); }
    } step_time{started};
    if (!windows.dispatch_waiting()) {
        shut_down_host();
        return;
    }
    host.run_frame();
    // What the update wrote goes to the browser's storage as soon as it is
    // complete, before the lobby runs.
    if (!stored_after_update && library_applet.is_loaded()) {
        stored_after_update = true;
        tamber_web_store_sync();
    }
    if (windows.destroyed()) shut_down_host();
}

struct presented_frames final : tamber::frame_listener {
    void frame_presented(uint32_t now_ms) override {
        tamber_web_frame_presented(now_ms, library_applet.is_loaded() ? 1 : 0,
                                   bootstrap_applet.update_state().state());
    }
} presented;

}  // namespace

// The host's export: the lobby library reaches its own applet_send_packet
// through it, by its plain name.
extern "C" EMSCRIPTEN_KEEPALIVE void applet_send_packet(uint32_t a, uint32_t b) { library_applet.send_packet(a, b); }

// PostMessage for game libraries (the SDK's TAMBER_HOST_POST_MESSAGE_NAME).
extern "C" EMSCRIPTEN_KEEPALIVE int tamber_post_message(void* window, uint32_t message, uintptr_t wparam,
                                                        intptr_t lparam) {
    return windows.post_from_library(window, {message, wparam, lparam}) ? 1 : 0;
}

// One input record from the page's listeners (web_events.h).
extern "C" EMSCRIPTEN_KEEPALIVE void tamber_web_input(int32_t kind, int32_t a, int32_t b, int32_t c, int32_t d) {
    windows.input({static_cast<tamber::web::event_kind>(kind), a, b, c, d});
}

// The browser left fullscreen (the player pressed Esc) or refused it: the
// host goes back to windowed mode, as after a refused switch.
extern "C" EMSCRIPTEN_KEEPALIVE void tamber_web_fullscreen_ended() {
    if (display.fullscreen_ended()) host.switch_to_windowed();
}

// For the benchmark page: presents the current frame `count` times in a
// row, as a bare loop of conversion and presentation does, and returns the
// milliseconds that took.
extern "C" EMSCRIPTEN_KEEPALIVE double tamber_web_bare_presents(int32_t count) {
    const double started = emscripten_get_now();
    const frame_view view = frame.view();
    for (int32_t i = 0; i < count; ++i) display.present_frame(view, tamber::present_mode::blit);
    return emscripten_get_now() - started;
}

#ifndef TAMBER_BASE_URL
#define TAMBER_BASE_URL ""
#endif

int main() {
    // The update server's base URL, fixed when the host was built; a
    // relative one ("content/") is taken against the page's own address,
    // so that an operator serves the page and the content from one folder.
    char absolute[2048];
    tamber_web_absolute_url(TAMBER_BASE_URL, absolute, sizeof absolute);
    base_url = absolute;
    tamber::set_log_mirror(mirror_log_line);
    windows.attach(procedure, library_applet);
    windows.set_window(&canvas_window);
    if (chdir(store_folder) != 0) std::printf("tamber: no store at %s; files go to the working folder\n", store_folder);
    library_loader.set_folder(store_folder);

    if (!host.open_display(&canvas_window)) return 0;
    bootstrap_applet.set_root_name(web_root_library_name);
    bootstrap_applet.set_server_path(base_url.c_str());
#ifdef TAMBER_CONTENT_KEY
    static const tamber::web::webcrypto_verifier content_verifier;
    static const tamber::signed_releases signed_release(content_verifier, tamber::content_keys);
    bootstrap_applet.set_release_check(&signed_release);
#endif
    bootstrap_applet.start_update(&canvas_window, tamber::lobby_application_type);
    host.set_frame_listener(&presented);
    // Every animation frame from now on; main returns and the runtime stays.
    emscripten_set_main_loop(animation_frame, 0, false);
    return 0;
}
