#include "fake_platform.h"

#include "platform.h"

namespace lobby_test {

std::vector<posted_message> posted;

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

} // namespace lobby
