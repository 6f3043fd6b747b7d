// Signed release statements for the core's tests, without cryptography: a
// "signature" here is a pair of digests of the key and the message, which
// fake_verifier recomputes. So the rules (thresholds, distinct keys, key
// rotation, the signing context) are tested apart from the verifiers, which
// have tests of their own against what openssl signed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "update/release.h"
#include "update/sha256.h"
#include "update_test_support.h"

namespace tamber::test {

// A stand-in public key: any 65 bytes beginning with 0x04 pass the grammar.
inline p256_public_key fake_key(uint8_t n) {
    p256_public_key key{};
    key[0] = 0x04;
    for (std::size_t i = 1; i < key.size(); ++i) key[i] = static_cast<uint8_t>(n * 13 + i);
    return key;
}

inline key_set keys_of(uint32_t threshold, std::vector<p256_public_key> keys) {
    std::sort(keys.begin(), keys.end());
    return {threshold, std::move(keys)};
}

inline std::array<uint8_t, 32> digest_of(char tag, const p256_public_key& key, std::span<const uint8_t> message) {
    sha256_context context;
    sha256_init(context);
    sha256_update(context, &tag, 1);
    sha256_update(context, key.data(), key.size());
    sha256_update(context, message.data(), message.size());
    std::array<uint8_t, 32> out;
    sha256_final(context, out.data());
    return out;
}

inline p256_signature fake_raw_signature(const p256_public_key& key, std::span<const uint8_t> message) {
    p256_signature raw;
    const auto r = digest_of('r', key, message), s = digest_of('s', key, message);
    std::copy(r.begin(), r.end(), raw.begin());
    std::copy(s.begin(), s.end(), raw.begin() + 32);
    return raw;
}

// The strict DER form of r||s, as openssl writes it.
inline std::vector<uint8_t> der_of(const p256_signature& raw) {
    std::vector<uint8_t> content;
    for (int half = 0; half < 2; ++half) {
        const uint8_t* value = raw.data() + 32 * half;
        std::size_t start = 0;
        while (start < 31 && value[start] == 0) ++start;
        const bool sign_byte = (value[start] & 0x80) != 0;
        content.push_back(0x02);
        content.push_back(static_cast<uint8_t>(32 - start + (sign_byte ? 1 : 0)));
        if (sign_byte) content.push_back(0);
        content.insert(content.end(), value + start, value + 32);
    }
    // Sized once and copied into (GCC 12 takes an insert after the two
    // header bytes for a write past them, a false alarm).
    std::vector<uint8_t> der(2 + content.size());
    der[0] = 0x30;
    der[1] = static_cast<uint8_t>(content.size());
    std::copy(content.begin(), content.end(), der.begin() + 2);
    return der;
}

class fake_verifier final : public signature_verifier {
public:
    bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                const p256_signature& signature) const override {
        return signature == fake_raw_signature(key, message);
    }
};

// The fake's answers, given as a browser's cryptography gives them: later.
// ready() is false the first `waits` times it is asked about a signature;
// every ask is kept, and verify() before its signature is ready counted.
class later_verifier final : public signature_verifier {
public:
    bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                const p256_signature& signature) const override {
        if (asks_of(signature) <= waits) ++early;
        return fake.verify(key, message, signature);
    }
    bool ready(const p256_public_key& key, std::span<const uint8_t>, const p256_signature& signature) const override {
        asked.push_back({key, signature});
        return asks_of(signature) > waits;
    }
    std::size_t asks_of(const p256_signature& signature) const {
        return static_cast<std::size_t>(
            std::count_if(asked.begin(), asked.end(), [&](const auto& ask) { return ask.second == signature; }));
    }

    std::size_t waits = 0;
    mutable std::vector<std::pair<p256_public_key, p256_signature>> asked;
    mutable int early = 0;

private:
    fake_verifier fake;
};

inline std::string fake_signature_line(const p256_public_key& key, std::string_view signed_part) {
    const std::vector<uint8_t> message = release_signed_message(signed_part);
    return format_signature_line(key_id_of(key), der_of(fake_raw_signature(key, message)));
}

// 2030-01-01T00:00:00Z, and a day.
constexpr int64_t year_2030 = 1893456000;
constexpr int64_t one_day = 86400;

// A statement for the lists `catalogue` and `dependencies`, signed by each of
// `signers` in turn.
inline std::string make_statement(uint64_t release, const std::string& catalogue, const std::string& dependencies,
                                  const key_set& keys, const std::vector<p256_public_key>& signers,
                                  int64_t expires = year_2030) {
    release_statement statement;
    statement.release = release;
    statement.expires = expires;
    statement.catalogue = {static_cast<uint32_t>(catalogue.size()), sha256_hex(catalogue)};
    statement.dependencies = {static_cast<uint32_t>(dependencies.size()), sha256_hex(dependencies)};
    statement.keys = keys;
    const std::string body = format_release_body(statement);
    std::string text = body;
    for (const p256_public_key& signer : signers) text += fake_signature_line(signer, body);
    return text;
}

// A clock standing still where a test puts it.
struct fixed_utc_clock final : utc_clock {
    int64_t now() const override { return seconds; }
    int64_t seconds = year_2030 - 30 * one_day;
};

}  // namespace tamber::test
