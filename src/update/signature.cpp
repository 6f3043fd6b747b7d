#include "update/signature.h"

#include <algorithm>


namespace tamber {

namespace {

constexpr uint8_t der_sequence = 0x30;
constexpr uint8_t der_integer = 0x02;

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

}  // namespace tamber
