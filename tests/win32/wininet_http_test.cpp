// The WinINet client and the updater on top of it, against the real test
// server, as Wine's WinINet serves them in this project's runs.
#include <gtest/gtest.h>

#include "platform/win32/wininet_http.h"
#include "server/http_client_suite.h"

namespace tamber::test {
namespace {

struct wininet_traits {
    using client = win32::wininet_http;
    static constexpr uint32_t refused_error = 12029;  // ERROR_INTERNET_CANNOT_CONNECT
    // Windows reports ERROR_INTERNET_CONNECTION_RESET; Wine passes the
    // socket's WSAECONNRESET through.
    static bool is_reset_error(uint32_t error) { return error == 12031 || error == 10054; }
    // Redirects are followed by the client itself, 308 included.
    static constexpr bool follows_308 = true;
    // INTERNET_FLAG_RELOAD bypasses the local cache without adding a header
    // (that would be INTERNET_FLAG_PRAGMA_NOCACHE, which is not asked for).
    static constexpr bool sends_no_cache_header = false;
    // Wine hands out whatever has arrived when the server closes the
    // connection, also past the announced length.
    static constexpr bool may_read_past_announced_length = true;
    // Wine's WinINet ends a chunked body where the connection closes, last
    // chunk or not; the client tells a cut one by the closed connection.
    static constexpr bool reports_cut_chunked_body = true;
};

INSTANTIATE_TYPED_TEST_SUITE_P(wininet, http_client_suite, wininet_traits);
INSTANTIATE_TYPED_TEST_SUITE_P(wininet, updater_live_suite, wininet_traits);

}  // namespace
}  // namespace tamber::test
