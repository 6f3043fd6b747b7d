#include "platform/win32/cng_signature.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

namespace tamber::win32 {

namespace {

// One CNG algorithm provider, closed when it goes.
class algorithm_provider {
public:
    explicit algorithm_provider(const wchar_t* algorithm) {
        if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, 0))) handle_ = nullptr;
    }
    ~algorithm_provider() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    algorithm_provider(const algorithm_provider&) = delete;
    algorithm_provider& operator=(const algorithm_provider&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// One imported key, destroyed when it goes.
class key_handle {
public:
    key_handle() = default;
    ~key_handle() {
        if (handle_) BCryptDestroyKey(handle_);
    }
    key_handle(const key_handle&) = delete;
    key_handle& operator=(const key_handle&) = delete;
    BCRYPT_KEY_HANDLE* out() {
        if (handle_) BCryptDestroyKey(handle_);
        handle_ = nullptr;
        return &handle_;
    }
    BCRYPT_KEY_HANDLE get() const { return handle_; }

private:
    BCRYPT_KEY_HANDLE handle_ = nullptr;
};

// One hash object, destroyed when it goes.
class hash_handle {
public:
    hash_handle() = default;
    ~hash_handle() {
        if (handle_) BCryptDestroyHash(handle_);
    }
    hash_handle(const hash_handle&) = delete;
    hash_handle& operator=(const hash_handle&) = delete;
    BCRYPT_HASH_HANDLE* out() {
        if (handle_) BCryptDestroyHash(handle_);
        handle_ = nullptr;
        return &handle_;
    }
    BCRYPT_HASH_HANDLE get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

// The SHA-256 digest of `message`; false when CNG cannot make it.
bool sha256(std::span<const uint8_t> message, UCHAR (&digest)[32]) {
    const algorithm_provider provider(BCRYPT_SHA256_ALGORITHM);
    if (!provider.get()) return false;
    hash_handle hash;
    if (!BCRYPT_SUCCESS(BCryptCreateHash(provider.get(), hash.out(), nullptr, 0, nullptr, 0, 0))) return false;
    // BCryptHashData takes at most 4 GiB - 1 at a time.
    std::size_t at = 0;
    while (at < message.size()) {
        const std::size_t left = message.size() - at;
        const ULONG part = left > 0x40000000u ? 0x40000000u : static_cast<ULONG>(left);
        if (!BCRYPT_SUCCESS(BCryptHashData(hash.get(), const_cast<PUCHAR>(message.data() + at), part, 0)))
            return false;
        at += part;
    }
    return BCRYPT_SUCCESS(BCryptFinishHash(hash.get(), digest, sizeof digest, 0));
}

}  // namespace

bool cng_verifier::verify(const p256_public_key& key, std::span<const uint8_t> message,
                          const p256_signature& signature) const {
    if (key[0] != 0x04) return false;  // uncompressed points only

    // BCRYPT_ECCPUBLIC_BLOB: the header, then x and y.
    struct {
        BCRYPT_ECCKEY_BLOB header;
        UCHAR point[64];
    } blob{};
    static_assert(sizeof blob == sizeof(BCRYPT_ECCKEY_BLOB) + 64, "the point follows the header directly");
    blob.header.dwMagic = BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
    blob.header.cbKey = 32;
    std::memcpy(blob.point, key.data() + 1, sizeof blob.point);

    const algorithm_provider provider(BCRYPT_ECDSA_P256_ALGORITHM);
    if (!provider.get()) return false;
    key_handle imported;
    if (!BCRYPT_SUCCESS(BCryptImportKeyPair(provider.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, imported.out(),
                                            reinterpret_cast<PUCHAR>(&blob), sizeof blob, 0)))
        return false;

    UCHAR digest[32];
    if (!sha256(message, digest)) return false;
    UCHAR raw[p256_signature_bytes];
    std::memcpy(raw, signature.data(), sizeof raw);
    return BCRYPT_SUCCESS(BCryptVerifySignature(imported.get(), nullptr, digest, sizeof digest, raw, sizeof raw, 0));
}

}  // namespace tamber::win32
