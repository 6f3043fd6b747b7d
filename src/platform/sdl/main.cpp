// tamber: the native host. The same start-up, frame step and shut-down as
// quillon.exe, on SDL2 (window, input, display), FreeType text, libcurl HTTP
// and dlopen: the process-wide objects, main's start-up sequence and the
// options of headless runs.
#include <SDL.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "applet/applet.h"
#include "applet/tb_applet.h"
#include "draw/font_engine.h"
#include "draw/frame_image.h"
#include "draw/progress_screen.h"
#include "platform/native/curl_http.h"
#include "platform/native/dlopen_library.h"
#include "platform/native/freetype_font.h"
#include "platform/sdl/headless.h"
#include "platform/sdl/host_options.h"
#include "platform/sdl/input_script.h"
#include "platform/sdl/sdl_display.h"
#include "platform/sdl/sdl_shell.h"
#include "platform/sdl/string_table.h"
#include "resources/resource_ids.h"
#include "shell/frame_stats.h"
#include "shell/input.h"

#ifdef TAMBER_CONTENT_KEY
// A host built with content keys: the generated content_key.h holds them.
#include "content_key.h"
#include "platform/native/openssl_signature.h"
#include "update/release.h"
#endif
#include "shell/window_procedure.h"
#include "shell/messages.h"
#include "shell/shell.h"

#ifndef TAMBER_BASE_URL
#define TAMBER_BASE_URL ""
#endif

namespace {

// The lobby library of this platform's content.
constexpr char native_root_library_name[] = "tblobby.so";

// Shell globals, zero until set.
SDL_Window* main_window = nullptr;

// Process-wide objects, constructed in this order before main and destroyed
// in reverse order after it, as quillon.exe's; each after what it refers to.
tamber::freetype_font_engine text_engine;
tamber::font large_font(text_engine, tamber::large_font_desc());
tamber::font small_font(text_engine, tamber::small_font_desc());
tamber::render_bitmap text_bitmap(text_engine);
const tamber::text_resources text{large_font, small_font, text_bitmap};
tamber::frame_image frame(tamber::host_frame_width, tamber::host_frame_height);
tamber::native::curl_http http;
tamber::native::library_loader library_loader;
tamber::applet library_applet(library_loader);
tamber::tb_applet bootstrap_applet(http, library_applet, text);
tamber::sdl::sdl_windows windows;
tamber::sdl::sdl_display display;
tamber::mouse_router mouse(windows, tamber::sdl::drag_distance, tamber::sdl::drag_distance, nullptr);
tamber::shell host(frame, bootstrap_applet, library_applet, windows, display);
tamber::window_procedure procedure(host, library_applet, display, mouse, windows);

#ifdef TAMBER_MEASURE_HOST
// Passes frames on with the time of the real clock.
struct real_time_frames final : tamber::frame_listener {
    tamber::frame_listener* next = nullptr;
    void frame_presented(uint32_t) override {
        if (next) next->frame_presented(SDL_GetTicks());
    }
};
#endif

std::string home_folder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "";
}

bool read_file(const std::string& path, std::string& contents) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    contents = text.str();
    return !in.bad();
}

// Makes the store the working directory and the folder game libraries are
// loaded from. True when the run may go on.
bool set_up_library_folder() {
    const std::string home = home_folder();
    std::string store = tamber::sdl::store_folder(std::getenv("XDG_DATA_HOME"), home.c_str());
    if (!tamber::sdl::set_up_store(store)) {
#ifdef TAMBER_CONTENT_KEY
        // A signed host loads only what its own store holds: without one it
        // does not start, rather than run from the folder it was started in,
        // where anyone may have put files.
        tamber::sdl::show_string(main_window, IDS_STORE_FAILED, 0x80004005);
        return false;
#else
        // The run goes on in the folder it was started in: the files are
        // written there and the lobby is loaded from there.
        char start[4096];
        store = getcwd(start, sizeof start) ? start : "";
#endif
    }
    library_loader.set_folder(store);
    return true;
}

}  // namespace

// The host's export: any module in the process reaches the lobby library's
// applet_send_packet through it, by its plain name.
extern "C" __attribute__((visibility("default"))) void applet_send_packet(uint32_t a, uint32_t b) {
    library_applet.send_packet(a, b);
}

// PostMessage for game libraries (the SDK's TAMBER_HOST_POST_MESSAGE_NAME).
extern "C" __attribute__((visibility("default"))) int tamber_post_message(void* window, uint32_t message,
                                                                          uintptr_t wparam, intptr_t lparam) {
    return windows.post_from_library(window, {message, wparam, lparam}) ? 1 : 0;
}

int main(int argc, char** argv) {
    tamber::sdl::host_options options;
    std::string error;
    if (!tamber::sdl::parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "tamber: %s\n%s", error.c_str(), tamber::sdl::usage_text);
        return 2;
    }
    // Runs of a set number of frames go by the frame clock.
    const bool frame_clock = options.frames != 0;
    windows.use_frame_clock(frame_clock);

    // Input files are read, and the record file opened, before the working
    // directory changes: their names are the caller's.
    if (!options.input_file.empty()) {
        std::string script;
        std::vector<tamber::sdl::timed_message> messages;
        if (!read_file(options.input_file, script)) {
            std::fprintf(stderr, "tamber: cannot read %s\n", options.input_file.c_str());
            return 2;
        }
        if (!tamber::sdl::parse_input_script(script, messages, error)) {
            std::fprintf(stderr, "tamber: %s: %s\n", options.input_file.c_str(), error.c_str());
            return 2;
        }
        windows.replay(std::move(messages));
    }
    if (!options.record_file.empty()) {
        std::unique_ptr<std::FILE, tamber::sdl::file_closer> file(std::fopen(options.record_file.c_str(), "w"));
        if (!file) {
            std::fprintf(stderr, "tamber: cannot write %s\n", options.record_file.c_str());
            return 2;
        }
        std::fputs("# tamber input: <ms from the lobby's first frame> <message> <wParam> <lParam>\n", file.get());
        windows.record_to(std::move(file));
    }
    if (!options.snapshot_dir.empty()) {
        // The folder is made if it is missing (not its parents); its name is
        // fixed now, before the working directory changes.
        mkdir(options.snapshot_dir.c_str(), 0755);
        char resolved[4096];
        if (!realpath(options.snapshot_dir.c_str(), resolved)) {
            std::fprintf(stderr, "tamber: no folder %s for the snapshots\n", options.snapshot_dir.c_str());
            return 2;
        }
        options.snapshot_dir = resolved;
    }

    [[maybe_unused]] const uint32_t started = SDL_GetTicks();
    std::srand(frame_clock ? 1u : static_cast<unsigned>(std::time(nullptr)));
    windows.attach(procedure, library_applet);

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "tamber: SDL: %s\n", SDL_GetError());
        tamber::sdl::show_string(nullptr, IDS_WINDOW_FAILED, 0x80004005);
        return -1;
    }
    const std::string title = tamber::sdl::string_utf8(IDS_TITLE);
    main_window = SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_CENTERED,
                                   SDL_WINDOWPOS_CENTERED, frame.width(), frame.height(), SDL_WINDOW_SHOWN);
    if (!main_window) {
        std::fprintf(stderr, "tamber: SDL: %s\n", SDL_GetError());
        tamber::sdl::show_string(nullptr, IDS_WINDOW_FAILED, 0x80004005);
        SDL_Quit();
        return -1;
    }
    SDL_StartTextInput();
    windows.set_window(main_window);
    windows.enable_posting();

    int result = -1;
    display.set_wait_for_vertical_blank(!frame_clock);
    // The handover of the main window. On failure the message has been
    // shown and WM_CLOSE posted.
    if (host.open_display(main_window) && set_up_library_folder()) {
        bootstrap_applet.set_root_name(native_root_library_name);
        bootstrap_applet.set_server_path(TAMBER_BASE_URL);
#ifdef TAMBER_CONTENT_KEY
        static const tamber::native::openssl_verifier content_verifier;
        static const tamber::signed_releases signed_release(content_verifier, tamber::content_keys);
        bootstrap_applet.set_release_check(&signed_release);
#endif
        bootstrap_applet.start_update(main_window, tamber::lobby_application_type);

        tamber::sdl::frame_step step(windows, frame, library_applet, bootstrap_applet.update_state(), options.frames,
                                     options.snapshot_dir, options.snapshot_every);
        host.set_frame_listener(&step);
#ifdef TAMBER_MEASURE_HOST
        // Frame statistics, in the host built for measuring only, on the
        // real clock even when frames are counted on the frame clock.
        std::unique_ptr<tamber::frame_stats> stats;
        real_time_frames real_time;
        if (const char* stats_path = std::getenv("TAMBER_FRAME_STATS"); stats_path && *stats_path) {
            stats = std::make_unique<tamber::frame_stats>(stats_path, started, bootstrap_applet.update_state(),
                                                          library_applet);
            real_time.next = stats.get();
            step.chain(&real_time);
        }
#endif
        result = host.run_message_loop();
        host.set_frame_listener(nullptr);
        if (!step.snapshots_ok() && result == 0) result = 1;
        if (options.frames != 0 && windows.pending_replay() != 0)
            std::fprintf(stderr, "tamber: the run ended with %u input messages not replayed\n",
                         windows.pending_replay());
    }
    display.close();
    windows.release_cursor();
    windows.set_window(nullptr);
    SDL_DestroyWindow(main_window);
    main_window = nullptr;
    SDL_Quit();
    return result;
}
