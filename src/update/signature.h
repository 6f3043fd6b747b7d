// Signed lists. A host built with a content key accepts a list only with a
// detached signature beside it (the list's name plus ".sig"): ECDSA P-256
// over the SHA-256 of the list's exact bytes, in the DER form that
// `openssl dgst -sha256 -sign` writes. The signed catalogue lists every
// file's size and digest, and the updater of a signed host writes a
// downloaded body only when it has exactly that size and digest (and keeps a
// local file only when it has them), so the signature covers every file the
// host writes or loads.
//
// The cryptography is the platform's own, behind signature_verifier: CNG in
// quillon.exe, OpenSSL's libcrypto natively. A host built without a key has
// no list_signatures at all: it requests no signature and links none of this.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

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

protected:
    ~signature_verifier() = default;
};

// Reads a DER ECDSA signature, SEQUENCE { INTEGER r, INTEGER s }, into r||s.
// Strict: definite short-form lengths only, minimal integers (no needless
// leading zero, none negative), each of r and s from 1 to 2^256 - 1, and
// nothing after the sequence. False, with `raw` unspecified, otherwise.
bool parse_der_signature(std::span<const uint8_t> der, p256_signature& raw);

// What the updater asks of a signed host, and all it knows of one. Kept
// behind virtual calls so that a host without a key links none of it.
class list_signatures {
public:
    // The name of the signature file of list `list_name`.
    virtual std::string signature_name(const std::string& list_name) const = 0;
    // The largest signature file accepted.
    virtual std::size_t signature_limit() const = 0;
    // Checks the list fetched from `list_url` against its signature file;
    // `signature` is empty when that file could not be had, and `failure`
    // then says why. On a refusal writes one line to the download log, naming
    // the list, and returns false.
    virtual bool check(const std::string& list_url, std::span<const uint8_t> list,
                       std::optional<std::span<const uint8_t>> signature, const std::string& failure) const = 0;

protected:
    ~list_signatures() = default;
};

// The signature check with a public key compiled into the host.
class content_key_signatures final : public list_signatures {
public:
    content_key_signatures(const signature_verifier& verifier, const p256_public_key& key)
        : verifier_(verifier), key_(key) {}

    std::string signature_name(const std::string& list_name) const override;
    std::size_t signature_limit() const override;
    bool check(const std::string& list_url, std::span<const uint8_t> list,
               std::optional<std::span<const uint8_t>> signature, const std::string& failure) const override;

private:
    const signature_verifier& verifier_;
    p256_public_key key_;
};

}  // namespace tamber
