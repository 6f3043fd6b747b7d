#include "platform/web/webcrypto_signature.h"

#include <algorithm>

#include "update/sha256.h"

// webcrypto_signature.js.
extern "C" {
// Starts the check of `signature` (64 bytes, r||s) of the `length` bytes at
// `message` under `key` (a 65-byte point); the bytes are copied. Returns the
// check's id.
int tamber_web_crypto_start(const uint8_t* key, const uint8_t* message, std::size_t length,
                            const uint8_t* signature);
// 1 verified, 0 not (or no such check), -1 not answered yet.
int tamber_web_crypto_answer(int id);
// Forgets a check; an answer still to come is dropped.
void tamber_web_crypto_forget(int id);
}

namespace tamber::web {

namespace {

enum : int { answer_no = 0, answer_yes = 1, answer_pending = -1 };

std::array<uint8_t, 32> digest_of(std::span<const uint8_t> message) {
    sha256_context context;
    sha256_init(context);
    sha256_update(context, message.data(), message.size());
    std::array<uint8_t, 32> digest;
    sha256_final(context, digest.data());
    return digest;
}

}  // namespace

webcrypto_verifier::~webcrypto_verifier() { forget_all(); }

void webcrypto_verifier::forget_all() const {
    for (const check& c : checks_) tamber_web_crypto_forget(c.id);
    checks_.clear();
}

const webcrypto_verifier::check* webcrypto_verifier::find(const message_digest& message, const p256_public_key& key,
                                                          const p256_signature& signature) const {
    if (message != message_) return nullptr;
    const auto found = std::find_if(checks_.begin(), checks_.end(),
                                    [&](const check& c) { return c.key == key && c.signature == signature; });
    return found == checks_.end() ? nullptr : &*found;
}

bool webcrypto_verifier::ready(const p256_public_key& key, std::span<const uint8_t> message,
                               const p256_signature& signature) const {
    const message_digest digest = digest_of(message);
    if (const check* started = find(digest, key, signature))
        return tamber_web_crypto_answer(started->id) != answer_pending;

    // Another statement: the last one's checks are done with.
    if (digest != message_) {
        forget_all();
        message_ = digest;
    }
    if (checks_.size() == max_checks) {
        tamber_web_crypto_forget(checks_.front().id);
        checks_.erase(checks_.begin());
    }
    checks_.push_back({key, signature, tamber_web_crypto_start(key.data(), message.data(), message.size(),
                                                               signature.data())});
    return false;
}

bool webcrypto_verifier::verify(const p256_public_key& key, std::span<const uint8_t> message,
                                const p256_signature& signature) const {
    const check* started = find(digest_of(message), key, signature);
    return started && tamber_web_crypto_answer(started->id) == answer_yes;
}

}  // namespace tamber::web
