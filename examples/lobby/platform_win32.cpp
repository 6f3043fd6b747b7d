// Windows: system cursors, PostMessage to the host's window, and the host's
// export looked up in the host program.
#include "platform.h"

#include <windows.h>

namespace lobby {

tamber_handle platform_cursor(cursor_shape shape) {
    // System cursors are shared: LoadCursor returns the same handle every
    // time and it is never destroyed.
    switch (shape) {
    case cursor_shape::hand: return LoadCursor(nullptr, IDC_HAND);
    case cursor_shape::text: return LoadCursor(nullptr, IDC_IBEAM);
    case cursor_shape::arrow: break;
    }
    return nullptr;
}

void platform_post_message(tamber_handle window, uint32_t message) {
    if (window != nullptr) PostMessageA(static_cast<HWND>(window), message, 0, 0);
}

tamber_host_send_packet_fn platform_host_send_packet() {
    // The host program is the process's main module: quillon.exe exports
    // "_applet_send_packet@8" (32-bit) or "applet_send_packet" (64-bit).
    const FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), TAMBER_HOST_SEND_PACKET_NAME);
    // Through void (*)(void), the one cast between function types the
    // compiler does not warn about.
    return reinterpret_cast<tamber_host_send_packet_fn>(reinterpret_cast<void (*)(void)>(found));
}

} // namespace lobby
