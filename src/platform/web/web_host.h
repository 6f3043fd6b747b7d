// The page's side of the browser host: functions of web_host.js (an
// Emscripten JavaScript library) the C++ side calls.
#pragma once

#include <cstdint>

extern "C" {
// 1 while the page can be seen (document.visibilityState "visible").
int tamber_web_page_visible();
// A message (UTF-16, ending with a zero) over the canvas and on the console.
void tamber_web_show_message(const char16_t* text);
void tamber_web_set_capture(int on);
void tamber_web_set_cursor(const char* css_cursor);
void tamber_web_hide_canvas();
// The display: opens the canvas's presenter ("2d" or "webgl"; 0 when it
// cannot), asks for fullscreen (answered later: a refusal or the player's
// leaving it calls tamber_web_fullscreen_ended), leaves it, and presents
// `width` x `height` pixels of four bytes from `pixels`.
int tamber_web_open_presenter(int width, int height);
void tamber_web_request_fullscreen();
void tamber_web_exit_fullscreen();
void tamber_web_present(const uint8_t* pixels, int width, int height);
// Whether the presenter takes red, green, blue and alpha 255 (2d) rather
// than any fourth byte (webgl).
int tamber_web_presenter_needs_alpha();
// Writes what the store holds to the browser's storage now.
void tamber_web_store_sync();
// One line of the download log on the console.
void tamber_web_log_line(const char* line);
// Game libraries, mapped asynchronously from the store: the state of
// `path` is 0 while mapping, 1 mapped, -1 failed (the reason on the
// console), 2 never asked for; begin starts mapping, forget lets go of a
// failure so that a later load tries again.
int tamber_web_library_state(const char* path);
void tamber_web_library_begin(const char* path);
void tamber_web_library_forget(const char* path);
// `relative` made absolute against the page's address, into `out` (`size`
// bytes with the terminating zero); an empty URL stays empty.
int tamber_web_absolute_url(const char* relative, char* out, int size);
// How long one animation frame's work took (the page's figures).
void tamber_web_frame_step_time(double ms);
// The host's frame has been presented (the page's figures and tests).
void tamber_web_frame_presented(uint32_t now_ms, int library_loaded, uint32_t update_state);
}
