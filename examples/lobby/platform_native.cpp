// Native builds (tests, a future native host): no cursors of our own and no
// window to post to, so the host's arrow is shown and posts are dropped.
#include "platform.h"

namespace lobby {

tamber_handle platform_cursor(cursor_shape) { return nullptr; }

void platform_post_message(tamber_handle, uint32_t) {}

} // namespace lobby
