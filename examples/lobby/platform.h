// What the lobby needs from the operating system: three things. Each platform
// has its own file (platform_win32.cpp, platform_native.cpp), picked by
// CMake, so the rest of the lobby stays free of system headers.
#pragma once

#include <cstdint>

#include "tamber_applet.h"

namespace lobby {

enum class cursor_shape { arrow, hand, text };

// The cursor to show for a shape; null asks the host for its arrow.
tamber_handle platform_cursor(cursor_shape shape);

// Posts `message` (no parameters) to the host's window, e.g. 0x8003 to
// switch between windowed and fullscreen mode, or WM_CLOSE to quit.
void platform_post_message(tamber_handle window, uint32_t message);

// The host's export applet_send_packet, found by name in the host program
// (TAMBER_HOST_SEND_PACKET_NAME); null when the program loading the lobby
// exports none, as a test program may not.
tamber_host_send_packet_fn platform_host_send_packet();

} // namespace lobby
