// Tests that every signature_verifier must pass, on the signatures openssl
// wrote for the fixture of tests/keys. A test folder instantiates them for
// its implementation:
//
//   INSTANTIATE_TYPED_TEST_SUITE_P(name, signature_verifier_suite, my_verifier);
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

#include "keys/signed_fixture.h"
#include "update/signature.h"

namespace tamber::test {

inline std::span<const uint8_t> as_bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// r||s of a fixture signature (the parser has its own tests).
inline p256_signature raw_signature(const std::string& der) {
    p256_signature raw{};
    EXPECT_TRUE(parse_der_signature(as_bytes(der), raw));
    return raw;
}

template <typename Verifier>
class signature_verifier_suite : public ::testing::Test {
protected:
    bool verifies(const p256_public_key& key, const std::string& message, const p256_signature& signature) {
        return verifier.verify(key, as_bytes(message), signature);
    }
    Verifier verifier;
};

TYPED_TEST_SUITE_P(signature_verifier_suite);

TYPED_TEST_P(signature_verifier_suite, accepts_what_the_key_signed) {
    using namespace signed_fixture;
    EXPECT_TRUE(this->verifies(content_key, catalogue, raw_signature(catalogue_signature)));
    EXPECT_TRUE(this->verifies(content_key, dependencies, raw_signature(dependencies_signature)));
    EXPECT_TRUE(this->verifies(other_key, catalogue, raw_signature(catalogue_signature_other_key)));
}

TYPED_TEST_P(signature_verifier_suite, refuses_a_message_changed_anywhere) {
    using namespace signed_fixture;
    const p256_signature signature = raw_signature(catalogue_signature);
    for (std::size_t at : {std::size_t{0}, catalogue.size() / 2, catalogue.size() - 1}) {
        std::string changed = catalogue;
        changed[at] = static_cast<char>(changed[at] ^ 1);
        EXPECT_FALSE(this->verifies(content_key, changed, signature)) << "byte " << at;
    }
    EXPECT_FALSE(this->verifies(content_key, catalogue + "\n", signature));
    EXPECT_FALSE(this->verifies(content_key, catalogue.substr(0, catalogue.size() - 1), signature));
    EXPECT_FALSE(this->verifies(content_key, "", signature));
}

TYPED_TEST_P(signature_verifier_suite, refuses_another_key_and_the_other_lists_signature) {
    using namespace signed_fixture;
    EXPECT_FALSE(this->verifies(content_key, catalogue, raw_signature(catalogue_signature_other_key)));
    EXPECT_FALSE(this->verifies(other_key, catalogue, raw_signature(catalogue_signature)));
    EXPECT_FALSE(this->verifies(content_key, catalogue, raw_signature(dependencies_signature)));
    EXPECT_FALSE(this->verifies(content_key, dependencies, raw_signature(catalogue_signature)));
}

TYPED_TEST_P(signature_verifier_suite, refuses_altered_and_out_of_range_signatures) {
    using namespace signed_fixture;
    const p256_signature good = raw_signature(catalogue_signature);
    for (std::size_t at : {std::size_t{0}, std::size_t{31}, std::size_t{32}, std::size_t{63}}) {
        p256_signature changed = good;
        changed[at] ^= 0x01;
        EXPECT_FALSE(this->verifies(content_key, catalogue, changed)) << "byte " << at;
    }
    // r and s swapped; zero; all ones (above the group order).
    p256_signature swapped{};
    std::copy(good.begin() + 32, good.end(), swapped.begin());
    std::copy(good.begin(), good.begin() + 32, swapped.begin() + 32);
    EXPECT_FALSE(this->verifies(content_key, catalogue, swapped));
    p256_signature zero{};
    EXPECT_FALSE(this->verifies(content_key, catalogue, zero));
    p256_signature ones;
    ones.fill(0xFF);
    EXPECT_FALSE(this->verifies(content_key, catalogue, ones));
}

TYPED_TEST_P(signature_verifier_suite, an_unusable_key_verifies_nothing) {
    using namespace signed_fixture;
    const p256_signature signature = raw_signature(catalogue_signature);
    p256_public_key compressed_tag = content_key;
    compressed_tag[0] = 0x02;
    EXPECT_FALSE(this->verifies(compressed_tag, catalogue, signature));
    p256_public_key off_curve = content_key;
    off_curve[64] ^= 0x01;
    EXPECT_FALSE(this->verifies(off_curve, catalogue, signature));
    p256_public_key zero{};
    EXPECT_FALSE(this->verifies(zero, catalogue, signature));
}

REGISTER_TYPED_TEST_SUITE_P(signature_verifier_suite, accepts_what_the_key_signed,
                            refuses_a_message_changed_anywhere, refuses_another_key_and_the_other_lists_signature,
                            refuses_altered_and_out_of_range_signatures, an_unusable_key_verifies_nothing);

}  // namespace tamber::test
