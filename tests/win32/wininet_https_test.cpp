// The WinINet client against real TLS servers with a throwaway test CA,
// which the prefix's root store holds only while a test runs.
#include <gtest/gtest.h>

#include "platform/win32/wininet_http.h"
#include "server/https_client_suite.h"
#include "support/root_store.h"

namespace tamber::test {
namespace {

struct wininet_https_traits {
    using client = win32::wininet_http;

    // WinINet trusts what the system's root store holds: the CA goes in for
    // the test's length.
    struct trust {
        std::string ca_file;
        trust(win32::wininet_http&, const std::string& file) : ca_file(file) {
            std::string message;
            EXPECT_EQ(root_store("add", ca_file, message), root_store_result::done) << message;
        }
        ~trust() {
            std::string message;
            EXPECT_EQ(root_store("remove", ca_file, message), root_store_result::done) << message;
        }
        trust(const trust&) = delete;
        trust& operator=(const trust&) = delete;
    };
    // ERROR_INTERNET_SEC_CERT_CN_INVALID (another name),
    // ERROR_INTERNET_INVALID_CA (an unknown CA, on Windows), and
    // ERROR_INTERNET_SEC_CERT_REV_FAILED, which Wine reports last for a
    // chain to no trusted root.
    static bool is_certificate_error(uint32_t error) { return error == 12038 || error == 12045 || error == 12057; }
    static constexpr uint32_t downgrade_error = 12040;  // ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR
};

INSTANTIATE_TYPED_TEST_SUITE_P(wininet, https_client_suite, wininet_https_traits);

}  // namespace
}  // namespace tamber::test
