// The signature seam on OpenSSL's libcrypto, for native builds and the
// publisher tool, which also signs with it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "update/signature.h"

namespace tamber::native {

class openssl_verifier final : public signature_verifier {
public:
    bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                const p256_signature& signature) const override;
};

// Signs `message` with the ECDSA P-256 private key in the PEM file at
// `key_path`: the DER signature of its SHA-256 digest, as
// `openssl dgst -sha256 -sign` writes it. False, with `error` saying why,
// when the file holds no such key or signing fails.
bool sign_with_key_file(const std::string& key_path, std::span<const uint8_t> message, std::vector<uint8_t>& der,
                        std::string& error);

// The public point of the ECDSA P-256 private key in the PEM file at
// `key_path`, uncompressed. False, with `error` saying why, as above.
bool public_point_of_key_file(const std::string& key_path, p256_public_key& point, std::string& error);

// The point of the ECDSA P-256 public key in the PEM file at `key_path`
// ("BEGIN PUBLIC KEY", as `openssl pkey -pubout` writes it), uncompressed.
// False, with `error` saying why, when the file holds no such key.
bool read_public_key_file(const std::string& key_path, p256_public_key& point, std::string& error);

}  // namespace tamber::native
