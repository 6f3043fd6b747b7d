#include "applet/tb_applet.h"

#include <cstdio>
#include <string>

#include "draw/frame_image.h"
#include "draw/text.h"

namespace tamber {

tb_applet::tb_applet(http_client& http, applet& library, const text_resources& text)
    : updater_(http), library_(library), text_(text) {}

void tb_applet::set_server_path(const char* url) { updater_.set_base_url(url ? url : ""); }

void tb_applet::start_update(window_handle main_window, int32_t application_type) {
    main_window_ = main_window;
    application_type_ = application_type;
    updater_.start(root_name_);
}

void tb_applet::update(uint32_t) {
    updater_.step();
    if (updater_.state() != complete) return;
    // Where the platform maps libraries asynchronously the screen stays at
    // "Download complete" until the lobby library can be loaded.
    if (!library_.prepare(root_name_)) return;

    // The handover: from this frame's render on, the lobby library draws.
    updater_.reset();
    load_result_ = library_.load(root_name_, main_window_, 0);
    const std::string base_url = updater_.base_url();
    library_.set_server_path(base_url.c_str());
    library_.set_application_type(application_type_);
}

std::string status_message(uint32_t state, int32_t load_result) {
    switch (state) {
    case idle:
        if (load_result == 0) return "Loading Quillon...";
        char text[64];
        std::snprintf(text, sizeof text, "Error loading Quillon (%08lX)",
                      static_cast<unsigned long>(static_cast<uint32_t>(load_result)));
        return text;
    case fetching_catalogue:
    case fetching_dependencies:
        return "Retrieving file list...";
    case checking:
    case downloading:
        return "Downloading Quillon...";
    case complete:
        return "Download complete";
    case failed_internet:
    case failed_root_missing:
    case failed_open:
    case failed_http_status:
    case failed_transfer:
    case failed_write:
        return "Error downloading Quillon";
    default:
        return "";
    }
}

void tb_applet::render(uint32_t, frame_view* frame, int32_t, int32_t) {
    draw_rect(*frame, {0, 0, frame->width, frame->height}, 0xFF000025, 0xFF000025);
    const int32_t cx = frame->width / 2, cy = frame->height / 2;
    const std::u16string message = widen_bytes(status_message(updater_.state(), load_result_));
    draw_progress_screen(updater_, *frame, cx, cy, message, text_);
}

}  // namespace tamber
