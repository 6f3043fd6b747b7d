// Fuzzes the reader of DER signatures, which come from the update server:
// whatever it accepts must be the one strict DER encoding of the r and s it
// read (checked against an encoder written here), both non-zero; and every
// pair of non-zero values must read back from its encoding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "update/signature.h"

using namespace tamber;

namespace {

// INTEGER: the value without leading zero bytes, with a zero byte in front
// when its top bit is set.
void encode_integer(const uint8_t* value, std::vector<uint8_t>& out) {
    size_t start = 0;
    while (start < 31 && value[start] == 0) ++start;
    const bool sign_byte = (value[start] & 0x80) != 0;
    out.push_back(0x02);
    out.push_back(static_cast<uint8_t>(32 - start + (sign_byte ? 1 : 0)));
    if (sign_byte) out.push_back(0);
    out.insert(out.end(), value + start, value + 32);
}

std::vector<uint8_t> encode(const p256_signature& raw) {
    std::vector<uint8_t> content;
    encode_integer(raw.data(), content);
    encode_integer(raw.data() + 32, content);
    std::vector<uint8_t> der{0x30, static_cast<uint8_t>(content.size())};
    der.insert(der.end(), content.begin(), content.end());
    return der;
}

bool zero(const uint8_t* value) {
    for (size_t i = 0; i < 32; ++i)
        if (value[i]) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    p256_signature raw{};
    if (parse_der_signature({data, size}, raw)) {
        if (zero(raw.data()) || zero(raw.data() + 32)) std::abort();
        const std::vector<uint8_t> again = encode(raw);
        if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
    }
    if (size >= 64) {
        p256_signature chosen{};
        std::memcpy(chosen.data(), data, 64);
        if (!zero(chosen.data()) && !zero(chosen.data() + 32)) {
            const std::vector<uint8_t> der = encode(chosen);
            p256_signature read{};
            if (!parse_der_signature(der, read) || read != chosen) std::abort();
        }
    }
    return 0;
}
