// The page of test_webcrypto.py: the WebCrypto verifier, and the signed
// host's check of a release statement over it, called from the test's
// script with hexadecimal arguments.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "platform/web/webcrypto_signature.h"
#include "update/release.h"

namespace {

tamber::web::webcrypto_verifier verifier;

std::vector<uint8_t> from_hex(const char* hex) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(std::string(hex + i, 2), nullptr, 16)));
    return bytes;
}

template <std::size_t N>
std::array<uint8_t, N> fixed(const char* hex) {
    std::array<uint8_t, N> out{};
    const std::vector<uint8_t> bytes = from_hex(hex);
    std::copy_n(bytes.begin(), std::min(N, bytes.size()), out.begin());
    return out;
}

// The host's built-in set: `threshold` of the points in `keys_hex`, each
// 130 hex digits, separated by blanks.
tamber::key_set built_in(int threshold, const char* keys_hex) {
    tamber::key_set keys;
    keys.threshold = static_cast<uint32_t>(threshold);
    std::istringstream in(keys_hex);
    for (std::string key; in >> key;) keys.keys.push_back(fixed<tamber::p256_public_key_bytes>(key.c_str()));
    std::sort(keys.keys.begin(), keys.keys.end());
    return keys;
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int page_ready(const char* key, const char* message, const char* signature) {
    const std::vector<uint8_t> bytes = from_hex(message);
    return verifier.ready(fixed<tamber::p256_public_key_bytes>(key), bytes,
                          fixed<tamber::p256_signature_bytes>(signature));
}

EMSCRIPTEN_KEEPALIVE int page_verify(const char* key, const char* message, const char* signature) {
    const std::vector<uint8_t> bytes = from_hex(message);
    return verifier.verify(fixed<tamber::p256_public_key_bytes>(key), bytes,
                           fixed<tamber::p256_signature_bytes>(signature));
}

EMSCRIPTEN_KEEPALIVE int page_statement_ready(const char* text, int threshold, const char* keys) {
    const tamber::signed_releases releases(verifier, built_in(threshold, keys));
    return releases.ready(text);
}

// The verdict (release_check::verdict: 0 accepted, 1 refused, 2 unwritten).
EMSCRIPTEN_KEEPALIVE int page_statement_check(const char* text, int threshold, const char* keys) {
    const tamber::signed_releases releases(verifier, built_in(threshold, keys));
    tamber::release_statement statement;
    std::string detail;
    return static_cast<int>(releases.check("page/.tb_release", text, statement, detail));
}

}
