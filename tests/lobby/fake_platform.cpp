#include "fake_platform.h"

#include "platform.h"

namespace lobby_test {

std::vector<posted_message> posted;
std::vector<sent_packet> sent;
bool host_exports_send_packet = true;

namespace {
char hand_token, text_token;
}

tamber_handle hand_cursor() { return &hand_token; }
tamber_handle text_cursor() { return &text_token; }

} // namespace lobby_test

namespace lobby {

tamber_handle platform_cursor(cursor_shape shape) {
    switch (shape) {
    case cursor_shape::hand: return lobby_test::hand_cursor();
    case cursor_shape::text: return lobby_test::text_cursor();
    case cursor_shape::arrow: break;
    }
    return nullptr;
}

void platform_post_message(tamber_handle window, uint32_t message) {
    lobby_test::posted.push_back({window, message});
}

namespace {
void TAMBER_CALL fake_host_send_packet(uint32_t a, uint32_t b) { lobby_test::sent.push_back({a, b}); }
} // namespace

tamber_host_send_packet_fn platform_host_send_packet() {
    return lobby_test::host_exports_send_packet ? &fake_host_send_packet : nullptr;
}

} // namespace lobby
