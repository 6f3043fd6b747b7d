// Signed lists on CNG: the verifier on its own, and the updater of a signed
// host over WinINet against the real test server.
#include <gtest/gtest.h>

#include "platform/win32/cng_signature.h"
#include "platform/win32/wininet_http.h"
#include "server/signed_updater_suite.h"
#include "support/signature_suite.h"

namespace tamber::test {
namespace {

INSTANTIATE_TYPED_TEST_SUITE_P(cng, signature_verifier_suite, win32::cng_verifier);

struct wininet_cng_traits {
    using client = win32::wininet_http;
    using verifier = win32::cng_verifier;
};
INSTANTIATE_TYPED_TEST_SUITE_P(wininet_cng, signed_updater_suite, wininet_cng_traits);

}  // namespace
}  // namespace tamber::test
