// The 26 entry points the host looks up, each forwarding to the lobby.
//
// Only applet_load, applet_get_balance and applet_receive_packet are
// required; the lobby exports every one so that this file shows them all.
// The declarations (extern "C", __stdcall, export) come from
// tamber_applet.h; CMake's tamber_applet_library() writes the .def file
// that gives the 32-bit Windows build its decorated names
// ("_applet_load@12").
#include "lobby.h"
#include "platform.h"

// ---- life cycle --------------------------------------------------------------

tamber_result TAMBER_CALL applet_load(tamber_handle module, tamber_handle window, uint32_t reserved) {
    (void)module;
    (void)reserved;
    // Assets are read here, once; a missing asset falls back to a built-in
    // default, so loading never fails.
    lobby::load(lobby::the_lobby(), window);
    // The host's export is looked up now but not called: during applet_load
    // the host passes packets to nobody. The first frame uses it.
    lobby::the_lobby().host_send_packet = lobby::platform_host_send_packet();
    return 0;
}

void TAMBER_CALL applet_unload(void) { lobby::unload(lobby::the_lobby()); }

void TAMBER_CALL applet_set_server_path(const char *url) {
    // Kept for a real lobby's own server requests; the string is the host's
    // and only valid during this call, so it is copied.
    lobby::state &s = lobby::the_lobby();
    s.server_path[0] = '\0';
    if (url == nullptr) return;
    size_t n = 0;
    while (n + 1 < sizeof s.server_path && url[n] != '\0') {
        s.server_path[n] = url[n];
        ++n;
    }
    s.server_path[n] = '\0';
}

void TAMBER_CALL applet_set_application_type(int32_t type) { lobby::the_lobby().application_type = type; }

// The host window received WM_CLOSE. The lobby keeps nothing on disk, so
// there is nothing to save.
void TAMBER_CALL applet_on_wm_close(void) {}

// ---- frames ------------------------------------------------------------------

void TAMBER_CALL applet_update(uint32_t elapsed) {
    lobby::state &s = lobby::the_lobby();
    // Once: a packet through the host's export, which the host passes on to
    // this library's own applet_send_packet. A lobby with a game server
    // would hand its traffic around this way.
    if (const tamber_host_send_packet_fn send = s.host_send_packet) {
        s.host_send_packet = nullptr;
        send(lobby::packet_hello, TAMBER_APPLET_VERSION);
    }
    lobby::advance(s, elapsed);
}

void TAMBER_CALL applet_render(uint32_t elapsed, frame_view *frame, int32_t x, int32_t y) {
    (void)elapsed; // time moves in applet_update
    lobby::render(lobby::the_lobby(), frame, x, y);
}

// Never called by the host; draws the same picture with no pointer over it.
void TAMBER_CALL applet_render2(frame_view *frame) { lobby::render(lobby::the_lobby(), frame, -1, -1); }

// ---- mouse -------------------------------------------------------------------

tamber_handle TAMBER_CALL applet_get_cursor(int32_t x, int32_t y) {
    return lobby::cursor_at(lobby::the_lobby(), x, y);
}

int32_t TAMBER_CALL applet_mouse_down(int32_t button, int32_t x, int32_t y, int32_t double_click) {
    return lobby::press(lobby::the_lobby(), button, x, y, double_click);
}

drag_operation *TAMBER_CALL applet_mouse_drag(int32_t button, int32_t x, int32_t y) {
    return lobby::start_drag(lobby::the_lobby(), button, x, y);
}

void TAMBER_CALL applet_mouse_click(int32_t button, int32_t x, int32_t y, int32_t double_click) {
    lobby::click(lobby::the_lobby(), button, x, y, double_click);
}

void TAMBER_CALL applet_mouse_wheel(int32_t x, int32_t y, int32_t delta) {
    (void)x;
    (void)y;
    lobby::wheel(lobby::the_lobby(), delta);
}

// Hover effects are drawn from the pointer position applet_render receives,
// so movement and plain releases need no handling of their own.
void TAMBER_CALL applet_mouse_move(int32_t x, int32_t y) {
    (void)x;
    (void)y;
}

void TAMBER_CALL applet_mouse_up(int32_t button, int32_t x, int32_t y) {
    (void)button;
    (void)x;
    (void)y;
}

// ---- keyboard ----------------------------------------------------------------

void TAMBER_CALL applet_key_down(uint32_t vk) { lobby::key(lobby::the_lobby(), vk, false); }

void TAMBER_CALL applet_key_repeat(uint32_t vk) { lobby::key(lobby::the_lobby(), vk, true); }

void TAMBER_CALL applet_key_up(uint32_t vk) { (void)vk; }

void TAMBER_CALL applet_on_wm_char(uint32_t character) { lobby::character(lobby::the_lobby(), character); }

// ---- the rest: meaning left to the library -------------------------------------

// The money the player holds (chips on the spot not included).
int32_t TAMBER_CALL applet_get_balance(void) { return lobby::the_lobby().balance; }

// A lobby talking to a game server would take its packets here, reach its
// server through applet_send_packet, and react to socket events posted to
// the host window (message 0x8101, applet_on_wm_async_select). This one
// plays alone, so these do nothing; the packet it sends itself through the
// host's export on its first frame (packet_hello) ends here.
void TAMBER_CALL applet_receive_packet(uint32_t a, uint32_t b) {
    (void)a;
    (void)b;
}

void TAMBER_CALL applet_send_packet(uint32_t a, uint32_t b) {
    (void)a;
    (void)b;
}

void TAMBER_CALL applet_on_wm_async_select(uint32_t error) { (void)error; }

// Message 0x8002 reached the host window: back to the lobby. Nothing to
// leave here, so only the message line is cleared.
void TAMBER_CALL applet_on_wm_lobby(void) { lobby::the_lobby().message_ms = 0; }

void TAMBER_CALL applet_set_message(uint32_t message) { (void)message; }

int32_t TAMBER_CALL applet_io_state(uint32_t value) {
    (void)value;
    return 0;
}
