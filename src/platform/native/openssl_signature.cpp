#include "platform/native/openssl_signature.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <memory>

namespace tamber::native {

namespace {

struct pkey_free {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct md_context_free {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct ecdsa_signature_free {
    void operator()(ECDSA_SIG* signature) const { ECDSA_SIG_free(signature); }
};
struct bignum_free {
    void operator()(BIGNUM* number) const { BN_free(number); }
};
struct bio_free {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct openssl_bytes_free {
    void operator()(unsigned char* bytes) const { OPENSSL_free(bytes); }
};
using pkey_ptr = std::unique_ptr<EVP_PKEY, pkey_free>;
using md_context_ptr = std::unique_ptr<EVP_MD_CTX, md_context_free>;
using ecdsa_signature_ptr = std::unique_ptr<ECDSA_SIG, ecdsa_signature_free>;
using bignum_ptr = std::unique_ptr<BIGNUM, bignum_free>;
using bio_ptr = std::unique_ptr<BIO, bio_free>;
using openssl_bytes_ptr = std::unique_ptr<unsigned char, openssl_bytes_free>;

// The SubjectPublicKeyInfo of a P-256 key up to its point: the algorithm
// (id-ecPublicKey, prime256v1) and the BIT STRING header.
constexpr uint8_t p256_key_info_prefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                            0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                            0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00};

pkey_ptr public_key(const p256_public_key& point) {
    uint8_t info[sizeof p256_key_info_prefix + p256_public_key_bytes];
    std::memcpy(info, p256_key_info_prefix, sizeof p256_key_info_prefix);
    std::memcpy(info + sizeof p256_key_info_prefix, point.data(), point.size());
    const unsigned char* at = info;
    return pkey_ptr(d2i_PUBKEY(nullptr, &at, static_cast<long>(sizeof info)));
}

std::string openssl_error() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) return "unknown error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// The P-256 key in the PEM file at `path`: a private key, or with
// `private_key` false a public one. Null, with `error` saying why, otherwise.
pkey_ptr read_key_file(const std::string& path, bool private_key, std::string& error) {
    const bio_ptr file(BIO_new_file(path.c_str(), "rb"));
    if (!file) {
        error = "cannot open '" + path + "': " + openssl_error();
        return nullptr;
    }
    pkey_ptr key(private_key ? PEM_read_bio_PrivateKey(file.get(), nullptr, nullptr, nullptr)
                             : PEM_read_bio_PUBKEY(file.get(), nullptr, nullptr, nullptr));
    if (!key) {
        error = "'" + path + "' holds no " + (private_key ? "private" : "public") + " key in PEM form: " +
                openssl_error();
        return nullptr;
    }
    char group[64] = "";
    if (!EVP_PKEY_is_a(key.get(), "EC") ||
        EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr) != 1 ||
        std::strcmp(group, "prime256v1") != 0) {
        ERR_clear_error();
        error = "'" + path + "' is not an ECDSA P-256 (prime256v1) key";
        return nullptr;
    }
    return key;
}

// The uncompressed point of `key`, from its SubjectPublicKeyInfo.
bool point_of(EVP_PKEY* key, const std::string& path, p256_public_key& point, std::string& error) {
    // A key file may ask for compressed points; the statement holds them
    // uncompressed.
    EVP_PKEY_set_utf8_string_param(key, OSSL_PKEY_PARAM_EC_POINT_CONVERSION_FORMAT,
                                   OSSL_PKEY_EC_POINT_CONVERSION_FORMAT_UNCOMPRESSED);
    unsigned char* info_bytes = nullptr;
    const int length = i2d_PUBKEY(key, &info_bytes);
    const openssl_bytes_ptr info(info_bytes);
    ERR_clear_error();
    if (length != static_cast<int>(sizeof p256_key_info_prefix + p256_public_key_bytes) ||
        std::memcmp(info.get(), p256_key_info_prefix, sizeof p256_key_info_prefix) != 0) {
        error = "'" + path + "': the public point cannot be read uncompressed";
        return false;
    }
    std::memcpy(point.data(), info.get() + sizeof p256_key_info_prefix, point.size());
    return true;
}

}  // namespace

bool openssl_verifier::verify(const p256_public_key& key, std::span<const uint8_t> message,
                              const p256_signature& signature) const {
    const pkey_ptr pkey = public_key(key);
    if (!pkey) {
        ERR_clear_error();
        return false;
    }

    // r||s back into the DER form that OpenSSL verifies.
    ecdsa_signature_ptr parts(ECDSA_SIG_new());
    bignum_ptr r(BN_bin2bn(signature.data(), 32, nullptr));
    bignum_ptr s(BN_bin2bn(signature.data() + 32, 32, nullptr));
    if (!parts || !r || !s || ECDSA_SIG_set0(parts.get(), r.get(), s.get()) != 1) {
        ERR_clear_error();
        return false;
    }
    r.release();  // owned by `parts` now
    s.release();
    unsigned char* der_bytes = nullptr;
    const int der_length = i2d_ECDSA_SIG(parts.get(), &der_bytes);
    const openssl_bytes_ptr der(der_bytes);
    if (der_length <= 0) {
        ERR_clear_error();
        return false;
    }

    md_context_ptr context(EVP_MD_CTX_new());
    const bool verified =
        context && EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) == 1 &&
        EVP_DigestVerify(context.get(), der.get(), static_cast<std::size_t>(der_length), message.data(),
                         message.size()) == 1;
    ERR_clear_error();
    return verified;
}

bool sign_with_key_file(const std::string& key_path, std::span<const uint8_t> message, std::vector<uint8_t>& der,
                        std::string& error) {
    const pkey_ptr key = read_key_file(key_path, true, error);
    if (!key) return false;

    md_context_ptr context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, message.data(), message.size()) != 1) {
        error = "cannot sign: " + openssl_error();
        return false;
    }
    der.assign(length, 0);
    if (EVP_DigestSign(context.get(), der.data(), &length, message.data(), message.size()) != 1) {
        error = "cannot sign: " + openssl_error();
        return false;
    }
    der.resize(length);
    return true;
}

bool public_point_of_key_file(const std::string& key_path, p256_public_key& point, std::string& error) {
    const pkey_ptr key = read_key_file(key_path, true, error);
    return key && point_of(key.get(), key_path, point, error);
}

bool read_public_key_file(const std::string& key_path, p256_public_key& point, std::string& error) {
    const pkey_ptr key = read_key_file(key_path, false, error);
    return key && point_of(key.get(), key_path, point, error);
}

}  // namespace tamber::native
