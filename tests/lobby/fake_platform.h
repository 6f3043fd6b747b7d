// Stands in for the lobby's platform file in tests: cursors are distinct
// tokens, and posted messages are recorded instead of sent.
#pragma once

#include <cstdint>
#include <vector>

#include "tamber_applet.h"

namespace lobby_test {

struct posted_message {
    tamber_handle window;
    uint32_t message;
};

extern std::vector<posted_message> posted;

// What reached the stand-in for the host's export, and whether the lobby
// finds one at all.
struct sent_packet {
    uint32_t a, b;
};
extern std::vector<sent_packet> sent;
extern bool host_exports_send_packet;

tamber_handle hand_cursor();
tamber_handle text_cursor();

} // namespace lobby_test
