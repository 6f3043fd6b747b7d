// The signature seam on Windows CNG (bcrypt.dll): the host's only use of it.
#pragma once

#include <cstdint>
#include <span>

#include "update/signature.h"

namespace tamber::win32 {

class cng_verifier final : public signature_verifier {
public:
    bool verify(const p256_public_key& key, std::span<const uint8_t> message,
                const p256_signature& signature) const override;
};

}  // namespace tamber::win32
