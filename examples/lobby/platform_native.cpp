// Native builds (the native host tamber, tests): cursors are named by the
// Windows system cursor ids, which the native host maps to its own shapes.
// The host program exports applet_send_packet and the poster
// tamber_post_message as dynamic symbols; where it has no poster (a test
// program) posts are dropped.
#include "platform.h"

#include <dlfcn.h>

namespace lobby {

tamber_handle platform_cursor(cursor_shape shape) {
    switch (shape) {
    case cursor_shape::hand: return reinterpret_cast<tamber_handle>(uintptr_t{32649});  // IDC_HAND
    case cursor_shape::text: return reinterpret_cast<tamber_handle>(uintptr_t{32513});  // IDC_IBEAM
    case cursor_shape::arrow: break;
    }
    return nullptr;
}

void platform_post_message(tamber_handle window, uint32_t message) {
    void *found = dlsym(RTLD_DEFAULT, TAMBER_HOST_POST_MESSAGE_NAME);
    if (found) reinterpret_cast<tamber_host_post_message_fn>(found)(window, message, 0, 0);
}

tamber_host_send_packet_fn platform_host_send_packet() {
    void *found = dlsym(RTLD_DEFAULT, TAMBER_HOST_SEND_PACKET_NAME);
    return reinterpret_cast<tamber_host_send_packet_fn>(found);
}

} // namespace lobby
