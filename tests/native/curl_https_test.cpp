// The libcurl client against real TLS servers with a throwaway test CA,
// which only the client's CA setting trusts.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/native/curl_http.h"
#include "server/https_client_suite.h"

namespace tamber::test {
namespace {

struct curl_https_traits {
    using client = native::curl_http;

    struct trust {
        trust(native::curl_http& c, const std::string& ca_file) { c.set_ca_file(ca_file); }
    };
    // CURLE_PEER_FAILED_VERIFICATION: no chain to a trusted CA, or not
    // issued for the host name.
    static bool is_certificate_error(uint32_t error) { return error == 60; }
    static constexpr uint32_t downgrade_error = 1;  // CURLE_UNSUPPORTED_PROTOCOL
};

INSTANTIATE_TYPED_TEST_SUITE_P(curl, https_client_suite, curl_https_traits);

// Without its CA setting the client checks against the system's CAs, which
// know nothing of the test CA: the tests trust it nowhere else, and no
// environment variable of the TLS libraries brings it in. (A machine
// without a CA bundle at all fails with 77, CURLE_SSL_CACERT_BADFILE.)
TEST(curl_https, the_test_ca_is_trusted_only_through_the_clients_setting) {
    if (!tls_servers::available()) GTEST_SKIP() << "no HTTPS test servers (scripts/with-tls-server.sh)";
    struct environment_naming_the_ca {
        const char* names[2] = {"SSL_CERT_FILE", "CURL_CA_BUNDLE"};
        environment_naming_the_ca() {
            for (const char* name : names) setenv(name, tls_servers::ca_file().c_str(), 1);
        }
        ~environment_naming_the_ca() {
            for (const char* name : names) unsetenv(name);
        }
    } environment;
    native::curl_http client;
    uint32_t error = 0;
    http_owner session(client);
    session.reset(client.open_session(http_user_agent, error));
    ASSERT_TRUE(session) << error;
    http_owner request(client);
    request.reset(client.open_url(session.get(), tls_servers::good_url().c_str(), error));
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(poll_until_answered(client, request.get(), error, std::chrono::seconds(30)), open_status::failed);
    EXPECT_TRUE(error == 60 || error == 77) << error;
}

}  // namespace
}  // namespace tamber::test
