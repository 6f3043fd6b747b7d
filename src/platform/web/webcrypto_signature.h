// The signature seam on the browser's WebCrypto (crypto.subtle): the key is
// imported as a raw P-256 point and the raw r||s signature verified as ECDSA
// over SHA-256 (webcrypto_signature.js). Both answer later, as promises, so
// ready() starts the check of a signature the first time it is asked about
// it and says false until the answer is in; verify() then gives that answer
// (false for a signature ready() was not asked about, or whose answer is not
// in yet). A key that is not a point on the curve answers false.
//
// Only the current statement's checks are kept: asking about another
// message forgets the others, and at most max_checks are kept at all (a
// statement asks about at most two key sets' signatures).
//
// crypto.subtle exists only in a secure context (https, or a page from
// localhost): elsewhere every answer is false, so a signed host refuses its
// statement; the page's console says why.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "update/signature.h"

namespace tamber::web {

class webcrypto_verifier final : public signature_verifier {
public:
    static constexpr std::size_t max_checks = 32;

    webcrypto_verifier() = default;
    // Forgets its checks on the page's side; answers still to come are dropped.
    ~webcrypto_verifier();
    webcrypto_verifier(const webcrypto_verifier&) = delete;
    webcrypto_verifier& operator=(const webcrypto_verifier&) = delete;

    bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                const p256_signature& signature) const override;
    bool ready(const p256_public_key& key, std::span<const uint8_t> message,
               const p256_signature& signature) const override;

private:
    // One check the page has started, by its id there.
    struct check {
        p256_public_key key;
        p256_signature signature;
        int id;
    };
    using message_digest = std::array<uint8_t, 32>;

    // The check of (key, signature) for `message`, or null.
    const check* find(const message_digest& message, const p256_public_key& key,
                      const p256_signature& signature) const;
    void forget_all() const;

    // The checks are the verifier's cache, kept by const calls.
    mutable std::vector<check> checks_;
    mutable message_digest message_{};  // the message the checks are of
};

}  // namespace tamber::web
