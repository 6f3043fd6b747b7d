// The libcurl client and the updater on top of it, against the real test
// server.
#include <gtest/gtest.h>

#include "platform/native/curl_http.h"
#include "server/http_client_suite.h"

namespace tamber::test {
namespace {

struct curl_traits {
    using client = native::curl_http;
    static constexpr uint32_t refused_error = 7;  // CURLE_COULDNT_CONNECT
    static bool is_reset_error(uint32_t error) { return error == 56; }  // CURLE_RECV_ERROR
    static constexpr bool follows_308 = true;
    static constexpr bool sends_no_cache_header = true;
    static constexpr bool may_read_past_announced_length = false;
    static constexpr bool reports_cut_chunked_body = true;
};

INSTANTIATE_TYPED_TEST_SUITE_P(curl, http_client_suite, curl_traits);
INSTANTIATE_TYPED_TEST_SUITE_P(curl, updater_live_suite, curl_traits);

}  // namespace
}  // namespace tamber::test
