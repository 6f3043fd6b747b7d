#include "update/signature.h"

#include <algorithm>

#include "update/download_log.h"

namespace tamber {

namespace {

constexpr uint8_t der_sequence = 0x30;
constexpr uint8_t der_integer = 0x02;

// A DER signature of two 32-byte integers is at most 72 bytes; anything far
// longer is no signature, and is not held in memory.
constexpr std::size_t signature_file_limit = 256;

// Reads one INTEGER at `at` into the 32 bytes of `out`, advancing `at`.
bool read_integer(std::span<const uint8_t> der, std::size_t& at, uint8_t* out) {
    if (der.size() - at < 2 || der[at] != der_integer) return false;
    const std::size_t length = der[at + 1];
    at += 2;
    // Short-form lengths only; 33 bytes is a 32-byte value with its sign byte.
    if (length == 0 || length > 33 || der.size() - at < length) return false;
    std::span<const uint8_t> value = der.subspan(at, length);
    at += length;
    if (value[0] & 0x80) return false;  // negative
    if (value[0] == 0 && value.size() > 1) {
        if (!(value[1] & 0x80)) return false;  // a leading zero that is not needed
        value = value.subspan(1);
    }
    if (value.size() > 32) return false;
    if (std::all_of(value.begin(), value.end(), [](uint8_t b) { return b == 0; })) return false;
    std::fill(out, out + 32, uint8_t{0});
    std::copy(value.begin(), value.end(), out + (32 - value.size()));
    return true;
}

}  // namespace

bool parse_der_signature(std::span<const uint8_t> der, p256_signature& raw) {
    if (der.size() < 2 || der[0] != der_sequence) return false;
    const std::size_t length = der[1];
    if (length >= 0x80 || der.size() != 2 + length) return false;
    std::size_t at = 2;
    if (!read_integer(der, at, raw.data())) return false;
    if (!read_integer(der, at, raw.data() + 32)) return false;
    return at == der.size();
}

std::string content_key_signatures::signature_name(const std::string& list_name) const { return list_name + ".sig"; }

std::size_t content_key_signatures::signature_limit() const { return signature_file_limit; }

bool content_key_signatures::check(const std::string& list_url, std::span<const uint8_t> list,
                                   std::optional<std::span<const uint8_t>> signature,
                                   const std::string& failure) const {
    if (!signature) {
        log_message("'%s': signature is missing (%s)", list_url.c_str(), failure.c_str());
        return false;
    }
    p256_signature raw{};
    if (!parse_der_signature(*signature, raw) || !verifier_.verify(key_, list, raw)) {
        log_message("'%s': signature does not verify", list_url.c_str());
        return false;
    }
    return true;
}

}  // namespace tamber
