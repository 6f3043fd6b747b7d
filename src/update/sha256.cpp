// SHA-256 (FIPS 180-2).
//
// Three compression functions:
//   - reference::sha256_transform: the textbook form (64-word schedule),
//     kept only as the yardstick the tests compare the fast paths with;
//   - the portable fast path: rounds unrolled, a rolling 16-word schedule;
//   - the SHA extensions (SHA-NI) path on x86, chosen at run time
//     (cpu/cpu_features.h).
// The fast paths take any number of consecutive blocks, so sha256_update
// hashes whole blocks straight from the caller's buffer without copying.
#include "update/sha256.h"

#include <bit>
#include <cstring>

#include "cpu/cpu_features.h"

#if defined(__x86_64__) || defined(__i386__)
#define TAMBER_SHA256_X86 1
#include <immintrin.h>
#endif

namespace tamber {
namespace {

constexpr uint32_t initial_state[8] = {
    0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19,
};

alignas(16) constexpr uint32_t round_constants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline uint32_t load_be32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

inline void store_be32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

inline uint32_t big_sigma0(uint32_t x) { return std::rotr(x, 2) ^ std::rotr(x, 13) ^ std::rotr(x, 22); }
inline uint32_t big_sigma1(uint32_t x) { return std::rotr(x, 6) ^ std::rotr(x, 11) ^ std::rotr(x, 25); }
inline uint32_t small_sigma0(uint32_t x) { return std::rotr(x, 7) ^ std::rotr(x, 18) ^ (x >> 3); }
inline uint32_t small_sigma1(uint32_t x) { return std::rotr(x, 17) ^ std::rotr(x, 19) ^ (x >> 10); }
// Ch and Maj in their cheaper equivalent forms.
inline uint32_t choose(uint32_t e, uint32_t f, uint32_t g) { return g ^ (e & (f ^ g)); }
inline uint32_t majority(uint32_t a, uint32_t b, uint32_t c) { return (a & b) | (c & (a | b)); }

using blocks_function = void (*)(uint32_t state[8], const uint8_t* data, size_t blocks);

// The portable fast path. The eight working variables are not shifted
// between rounds: each round macro is invoked with the names rotated
// instead, and the schedule lives in a 16-word ring, extended 16 words at a
// time.
void portable_blocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    uint32_t w[16];

#define TAMBER_SHA256_ROUND(a, b, c, d, e, f, g, h, j)                                   \
    do {                                                                               \
        uint32_t t1 = h + big_sigma1(e) + choose(e, f, g) + round_constants[i + j] + w[j]; \
        d += t1;                                                                       \
        h = t1 + big_sigma0(a) + majority(a, b, c);                                    \
    } while (0)
#define TAMBER_SHA256_SIXTEEN_ROUNDS()                  \
    TAMBER_SHA256_ROUND(a, b, c, d, e, f, g, h, 0);     \
    TAMBER_SHA256_ROUND(h, a, b, c, d, e, f, g, 1);     \
    TAMBER_SHA256_ROUND(g, h, a, b, c, d, e, f, 2);     \
    TAMBER_SHA256_ROUND(f, g, h, a, b, c, d, e, 3);     \
    TAMBER_SHA256_ROUND(e, f, g, h, a, b, c, d, 4);     \
    TAMBER_SHA256_ROUND(d, e, f, g, h, a, b, c, 5);     \
    TAMBER_SHA256_ROUND(c, d, e, f, g, h, a, b, 6);     \
    TAMBER_SHA256_ROUND(b, c, d, e, f, g, h, a, 7);     \
    TAMBER_SHA256_ROUND(a, b, c, d, e, f, g, h, 8);     \
    TAMBER_SHA256_ROUND(h, a, b, c, d, e, f, g, 9);     \
    TAMBER_SHA256_ROUND(g, h, a, b, c, d, e, f, 10);    \
    TAMBER_SHA256_ROUND(f, g, h, a, b, c, d, e, 11);    \
    TAMBER_SHA256_ROUND(e, f, g, h, a, b, c, d, 12);    \
    TAMBER_SHA256_ROUND(d, e, f, g, h, a, b, c, 13);    \
    TAMBER_SHA256_ROUND(c, d, e, f, g, h, a, b, 14);    \
    TAMBER_SHA256_ROUND(b, c, d, e, f, g, h, a, 15)
// W[t] = s1(W[t-2]) + W[t-7] + s0(W[t-15]) + W[t-16], in the ring.
#define TAMBER_SHA256_EXTEND(j) \
    w[j] += small_sigma1(w[(j + 14) & 15]) + w[(j + 9) & 15] + small_sigma0(w[(j + 1) & 15])

    for (; blocks != 0; --blocks, data += 64) {
        for (int j = 0; j < 16; ++j) w[j] = load_be32(data + 4 * j);
        for (int i = 0; i < 64; i += 16) {
            if (i != 0) {
                TAMBER_SHA256_EXTEND(0);
                TAMBER_SHA256_EXTEND(1);
                TAMBER_SHA256_EXTEND(2);
                TAMBER_SHA256_EXTEND(3);
                TAMBER_SHA256_EXTEND(4);
                TAMBER_SHA256_EXTEND(5);
                TAMBER_SHA256_EXTEND(6);
                TAMBER_SHA256_EXTEND(7);
                TAMBER_SHA256_EXTEND(8);
                TAMBER_SHA256_EXTEND(9);
                TAMBER_SHA256_EXTEND(10);
                TAMBER_SHA256_EXTEND(11);
                TAMBER_SHA256_EXTEND(12);
                TAMBER_SHA256_EXTEND(13);
                TAMBER_SHA256_EXTEND(14);
                TAMBER_SHA256_EXTEND(15);
            }
            TAMBER_SHA256_SIXTEEN_ROUNDS();
        }
        a = state[0] += a;
        b = state[1] += b;
        c = state[2] += c;
        d = state[3] += d;
        e = state[4] += e;
        f = state[5] += f;
        g = state[6] += g;
        h = state[7] += h;
    }
#undef TAMBER_SHA256_EXTEND
#undef TAMBER_SHA256_SIXTEEN_ROUNDS
#undef TAMBER_SHA256_ROUND
}

#ifdef TAMBER_SHA256_X86

// The SHA extensions keep the state as two vectors, ABEF and CDGH (A in the
// highest lane). sha256rnds2 does two rounds with the two message+constant
// words in the low lanes of its third operand; msg1/msg2 compute the
// schedule four words at a time.
__attribute__((target("sha,sse4.1"))) void hardware_blocks(uint32_t state[8], const uint8_t* data, size_t blocks) {
    const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);

    __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0]));
    __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4]));
    __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
    __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
    __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);

    const __m128i* k = reinterpret_cast<const __m128i*>(round_constants);

    for (; blocks != 0; --blocks, data += 64) {
        const __m128i abef_saved = abef;
        const __m128i cdgh_saved = cdgh;
        __m128i m0, m1, m2, m3, wk, tmp;

// Four rounds on the message vector `cur` (words 4g..4g+3 of the schedule).
#define TAMBER_SHA_ROUNDS_FIRST_HALF(cur, g)                \
    wk = _mm_add_epi32(cur, _mm_load_si128(k + (g)));       \
    cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk)
#define TAMBER_SHA_ROUNDS_SECOND_HALF()  \
    wk = _mm_shuffle_epi32(wk, 0x0E);    \
    abef = _mm_sha256rnds2_epu32(abef, cdgh, wk)
// next = msg2(next + (cur:prev >> 32 bits), cur): finishes words 4g+4..4g+7.
#define TAMBER_SHA_SCHEDULE_MSG2(next, cur, prev)  \
    tmp = _mm_alignr_epi8(cur, prev, 4);           \
    next = _mm_add_epi32(next, tmp);               \
    next = _mm_sha256msg2_epu32(next, cur)
#define TAMBER_SHA_LOAD(m, g) \
    m = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * (g))), byte_swap)

        // Rounds 0-15: the message words themselves.
        TAMBER_SHA_LOAD(m0, 0);
        TAMBER_SHA_ROUNDS_FIRST_HALF(m0, 0);
        TAMBER_SHA_ROUNDS_SECOND_HALF();

        TAMBER_SHA_LOAD(m1, 1);
        TAMBER_SHA_ROUNDS_FIRST_HALF(m1, 1);
        TAMBER_SHA_ROUNDS_SECOND_HALF();
        m0 = _mm_sha256msg1_epu32(m0, m1);

        TAMBER_SHA_LOAD(m2, 2);
        TAMBER_SHA_ROUNDS_FIRST_HALF(m2, 2);
        TAMBER_SHA_ROUNDS_SECOND_HALF();
        m1 = _mm_sha256msg1_epu32(m1, m2);

        TAMBER_SHA_LOAD(m3, 3);
        TAMBER_SHA_ROUNDS_FIRST_HALF(m3, 3);
        TAMBER_SHA_SCHEDULE_MSG2(m0, m3, m2);
        TAMBER_SHA_ROUNDS_SECOND_HALF();
        m2 = _mm_sha256msg1_epu32(m2, m3);

// Groups 4..12: the four message vectors take turns.
#define TAMBER_SHA_MIDDLE_GROUP(cur, next, prev, g) \
    TAMBER_SHA_ROUNDS_FIRST_HALF(cur, g);           \
    TAMBER_SHA_SCHEDULE_MSG2(next, cur, prev);      \
    TAMBER_SHA_ROUNDS_SECOND_HALF();                \
    prev = _mm_sha256msg1_epu32(prev, cur)

        TAMBER_SHA_MIDDLE_GROUP(m0, m1, m3, 4);
        TAMBER_SHA_MIDDLE_GROUP(m1, m2, m0, 5);
        TAMBER_SHA_MIDDLE_GROUP(m2, m3, m1, 6);
        TAMBER_SHA_MIDDLE_GROUP(m3, m0, m2, 7);
        TAMBER_SHA_MIDDLE_GROUP(m0, m1, m3, 8);
        TAMBER_SHA_MIDDLE_GROUP(m1, m2, m0, 9);
        TAMBER_SHA_MIDDLE_GROUP(m2, m3, m1, 10);
        TAMBER_SHA_MIDDLE_GROUP(m3, m0, m2, 11);
        TAMBER_SHA_MIDDLE_GROUP(m0, m1, m3, 12);

        // Rounds 52-63: the last schedule words, no new msg1.
        TAMBER_SHA_ROUNDS_FIRST_HALF(m1, 13);
        TAMBER_SHA_SCHEDULE_MSG2(m2, m1, m0);
        TAMBER_SHA_ROUNDS_SECOND_HALF();

        TAMBER_SHA_ROUNDS_FIRST_HALF(m2, 14);
        TAMBER_SHA_SCHEDULE_MSG2(m3, m2, m1);
        TAMBER_SHA_ROUNDS_SECOND_HALF();

        TAMBER_SHA_ROUNDS_FIRST_HALF(m3, 15);
        TAMBER_SHA_ROUNDS_SECOND_HALF();

#undef TAMBER_SHA_MIDDLE_GROUP
#undef TAMBER_SHA_LOAD
#undef TAMBER_SHA_SCHEDULE_MSG2
#undef TAMBER_SHA_ROUNDS_SECOND_HALF
#undef TAMBER_SHA_ROUNDS_FIRST_HALF

        abef = _mm_add_epi32(abef, abef_saved);
        cdgh = _mm_add_epi32(cdgh, cdgh_saved);
    }

    __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    dcba = _mm_blend_epi16(feba, dchg, 0xF0);
    hgfe = _mm_alignr_epi8(dchg, feba, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), dcba);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), hgfe);
}

#else

void hardware_blocks(uint32_t state[8], const uint8_t* data, size_t blocks) { portable_blocks(state, data, blocks); }

#endif

bool portable_forced = false;

bool hardware_available() {
    return cpu_has(cpu_feature::sha_extensions);
}

blocks_function active_blocks() {
    return (!portable_forced && hardware_available()) ? hardware_blocks : portable_blocks;
}

}  // namespace

namespace reference {

void sha256_transform(sha256_context& context, const uint8_t block[64]) {
    uint32_t w[64];
    for (int t = 0; t < 16; ++t) w[t] = load_be32(block + 4 * t);
    for (int t = 16; t < 64; ++t) w[t] = small_sigma1(w[t - 2]) + w[t - 7] + small_sigma0(w[t - 15]) + w[t - 16];

    uint32_t a = context.state[0], b = context.state[1], c = context.state[2], d = context.state[3];
    uint32_t e = context.state[4], f = context.state[5], g = context.state[6], h = context.state[7];
    for (int t = 0; t < 64; ++t) {
        const uint32_t t1 = h + big_sigma1(e) + ((e & f) ^ (~e & g)) + round_constants[t] + w[t];
        const uint32_t t2 = big_sigma0(a) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    context.state[0] += a;
    context.state[1] += b;
    context.state[2] += c;
    context.state[3] += d;
    context.state[4] += e;
    context.state[5] += f;
    context.state[6] += g;
    context.state[7] += h;
}

}  // namespace reference

void sha256_init(sha256_context& context) {
    context.count_low = 0;
    context.count_high = 0;
    std::memcpy(context.state, initial_state, sizeof context.state);
}

void sha256_transform(sha256_context& context, const uint8_t block[64]) { active_blocks()(context.state, block, 1); }

void sha256_update(sha256_context& context, const void* data, size_t length) {
    if (length == 0) return;
    const uint8_t* input = static_cast<const uint8_t*>(data);
    size_t fill = context.count_low % 64;

    const uint64_t count = ((uint64_t(context.count_high) << 32) | context.count_low) + uint64_t(length);
    context.count_low = uint32_t(count);
    context.count_high = uint32_t(count >> 32);

    const blocks_function blocks = active_blocks();
    if (fill != 0 && length >= 64 - fill) {
        const size_t take = 64 - fill;
        std::memcpy(context.block + fill, input, take);
        blocks(context.state, context.block, 1);
        input += take;
        length -= take;
        fill = 0;
    }
    if (length >= 64) {
        const size_t whole = length / 64;
        blocks(context.state, input, whole);
        input += whole * 64;
        length -= whole * 64;
    }
    if (length != 0) std::memcpy(context.block + fill, input, length);
}

void sha256_final(sha256_context& context, uint8_t out[32]) {
    static constexpr uint8_t padding[64] = {0x80};

    const uint64_t bits = ((uint64_t(context.count_high) << 32) | context.count_low) << 3;
    uint8_t length_bytes[8];
    store_be32(length_bytes, uint32_t(bits >> 32));
    store_be32(length_bytes + 4, uint32_t(bits));

    const uint32_t fill = context.count_low % 64;
    sha256_update(context, padding, fill < 56 ? 56 - fill : 120 - fill);
    sha256_update(context, length_bytes, 8);

    for (int i = 0; i < 8; ++i) store_be32(out + 4 * i, context.state[i]);
}

bool sha256_hardware() { return !portable_forced && hardware_available(); }

void sha256_force_portable(bool portable) { portable_forced = portable; }

uint32_t hash_file(std::FILE* file, uint8_t out[32]) {
    sha256_context context;
    sha256_init(context);
    alignas(64) uint8_t buffer[4096];
    uint32_t total = 0;
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        sha256_update(context, buffer, count);
        total += uint32_t(count);
    }
    sha256_final(context, out);
    return total;
}

std::string digest_to_hex(const uint8_t digest[32]) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text(64, '0');
    for (int i = 0; i < 32; ++i) {
        text[2 * i] = digits[digest[i] >> 4];
        text[2 * i + 1] = digits[digest[i] & 15];
    }
    return text;
}

}  // namespace tamber
