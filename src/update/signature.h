// Signatures: ECDSA P-256 over SHA-256, as `openssl dgst -sha256 -sign`
// makes them, in DER form. A host built with content keys takes a release
// only when its statement (release.h) carries enough of them.
//
// The cryptography is the platform's own, behind signature_verifier: CNG in
// quillon.exe, OpenSSL's libcrypto natively, WebCrypto in the browser. A host built without keys has
// no release check at all: it requests no statement and links none of this.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace tamber {

// An uncompressed P-256 point: 0x04, then x and y, 32 big-endian bytes each.
constexpr std::size_t p256_public_key_bytes = 65;
// A signature as r followed by s, 32 big-endian bytes each.
constexpr std::size_t p256_signature_bytes = 64;

using p256_public_key = std::array<uint8_t, p256_public_key_bytes>;
using p256_signature = std::array<uint8_t, p256_signature_bytes>;

// The signature seam: what the host needs of the platform's cryptography.
class signature_verifier {
public:
    // Whether `signature` is an ECDSA P-256 signature of the SHA-256 digest
    // of `message` under `key`. False as well when the key cannot be used.
    virtual bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                        const p256_signature& signature) const = 0;
    // Whether verify() can answer now for this signature. A platform whose
    // cryptography answers later (a browser's) starts the check here and
    // says false until its answer is in; the caller asks again later, with
    // the same arguments, before it calls verify().
    virtual bool ready([[maybe_unused]] const p256_public_key& key, [[maybe_unused]] std::span<const uint8_t> message,
                       [[maybe_unused]] const p256_signature& signature) const {
        return true;
    }

protected:
    ~signature_verifier() = default;
};

// Reads a DER ECDSA signature, SEQUENCE { INTEGER r, INTEGER s }, into r||s.
// Strict: definite short-form lengths only, minimal integers (no needless
// leading zero, none negative), each of r and s from 1 to 2^256 - 1, and
// nothing after the sequence. False, with `raw` unspecified, otherwise.
bool parse_der_signature(std::span<const uint8_t> der, p256_signature& raw);

}  // namespace tamber
