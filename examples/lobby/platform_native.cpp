// Native builds (tests, a future native host): no cursors of our own and no
// window to post to, so the host's arrow is shown and posts are dropped. The
// host program exports applet_send_packet as a dynamic symbol.
#include "platform.h"

#include <dlfcn.h>

namespace lobby {

tamber_handle platform_cursor(cursor_shape) { return nullptr; }

void platform_post_message(tamber_handle, uint32_t) {}

tamber_host_send_packet_fn platform_host_send_packet() {
    void *found = dlsym(RTLD_DEFAULT, TAMBER_HOST_SEND_PACKET_NAME);
    return reinterpret_cast<tamber_host_send_packet_fn>(found);
}

} // namespace lobby
