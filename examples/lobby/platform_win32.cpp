// Windows: system cursors and PostMessage to the host's window.
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

} // namespace lobby
