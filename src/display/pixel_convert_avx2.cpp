// The AVX2 pixel converters: thirty-two pixels per step (sixteen for the
// general 32-bit layout; rgba32 keeps its SSE2 routine); a row's last
// pixels go to the narrower routines.
#include "display/pixel_convert_x86.h"

#if TAMBER_CONVERT_X86

namespace tamber::convert {

namespace {

__attribute__((target("avx2"))) inline __m256i load32(const uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}
__attribute__((target("avx2"))) inline void store32(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The 256-bit unpacks work within each 128-bit half; loading the planes
// with their middle two 8-byte groups exchanged puts every pixel into the
// half and position its output needs.
__attribute__((target("avx2"))) inline __m256i load_spread(const uint8_t* p) {
    return _mm256_permute4x64_epi64(load32(p), 0xD8);  // groups 0, 2, 1, 3
}

__attribute__((target("avx2"))) void bgrx32_avx2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                 uint8_t* out, size_t count, const channel_layout& layout) {
    const __m256i zero = _mm256_setzero_si256();
    size_t i = 0;
    for (; i + 32 <= count; i += 32, out += 128) {
        const __m256i b = load_spread(p0 + i), g = load_spread(p1 + i), r = load_spread(p2 + i);
        // Halves: pixels 0-7 | 8-15 (lo), 16-23 | 24-31 (hi).
        const __m256i bg_lo = _mm256_unpacklo_epi8(b, g), bg_hi = _mm256_unpackhi_epi8(b, g);
        const __m256i r_lo = _mm256_unpacklo_epi8(r, zero), r_hi = _mm256_unpackhi_epi8(r, zero);
        const __m256i a = _mm256_unpacklo_epi16(bg_lo, r_lo);  // 0-3 | 8-11
        const __m256i c = _mm256_unpackhi_epi16(bg_lo, r_lo);  // 4-7 | 12-15
        const __m256i d = _mm256_unpacklo_epi16(bg_hi, r_hi);  // 16-19 | 24-27
        const __m256i e = _mm256_unpackhi_epi16(bg_hi, r_hi);  // 20-23 | 28-31
        store32(out, _mm256_permute2x128_si256(a, c, 0x20));
        store32(out + 32, _mm256_permute2x128_si256(a, c, 0x31));
        store32(out + 64, _mm256_permute2x128_si256(d, e, 0x20));
        store32(out + 96, _mm256_permute2x128_si256(d, e, 0x31));
    }
    if (i < count) bgrx32_sse2(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// Shuffle controls for thirty-two pixels into ninety-six bytes: output
// register `part` takes its low half from the first sixteen pixels or the
// last sixteen (whichever holds them), its high half likewise.
struct interleave24_wide_controls {
    alignas(32) uint8_t bytes[3][3][32];  // [part][plane][byte]
    constexpr interleave24_wide_controls() : bytes{} {
        for (int part = 0; part < 3; ++part)
            for (int plane = 0; plane < 3; ++plane)
                for (int j = 0; j < 32; ++j) {
                    const int at = 32 * part + j;
                    const int base = (at / 16) < 3 ? 0 : 16;  // the sixteen pixels this half reads
                    bytes[part][plane][j] = at % 3 == plane ? static_cast<uint8_t>(at / 3 - base) : 0x80;
                }
    }
};
constexpr interleave24_wide_controls interleave24_wide{};

__attribute__((target("avx2"))) inline __m256i wide_control(int part, int plane) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(interleave24_wide.bytes[part][plane]));
}

// A plane's thirty-two bytes as the three sources of the output registers:
// first | first, first | second, second | second (sixteen bytes each).
__attribute__((target("avx2"))) inline void wide_sources(const uint8_t* p, __m256i v[3]) {
    const __m128i first = load(p), second = load(p + 16);
    v[0] = _mm256_broadcastsi128_si256(first);
    v[1] = _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
    v[2] = _mm256_broadcastsi128_si256(second);
}

__attribute__((target("avx2"))) void bgr24_avx2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                uint8_t* out, size_t count, const channel_layout& layout) {
    size_t i = 0;
    for (; i + 32 <= count; i += 32, out += 96) {
        __m256i b[3], g[3], r[3];
        wide_sources(p0 + i, b);
        wide_sources(p1 + i, g);
        wide_sources(p2 + i, r);
        for (int part = 0; part < 3; ++part)
            store32(out + 32 * part,
                    _mm256_or_si256(_mm256_or_si256(_mm256_shuffle_epi8(b[part], wide_control(part, 0)),
                                                    _mm256_shuffle_epi8(g[part], wide_control(part, 1))),
                                    _mm256_shuffle_epi8(r[part], wide_control(part, 2))));
    }
    if (i < count) bgr24_ssse3(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

__attribute__((target("avx2"))) void general16_avx2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                    uint8_t* out, size_t count, const channel_layout& layout) {
    const shift_counts s(layout);
    const __m256i mask = _mm256_set1_epi16(static_cast<short>(layout.mask & 0xFFFF));
    size_t i = 0;
    for (; i + 32 <= count; i += 32, out += 64) {
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        const uint8_t* planes[3] = {p0 + i, p1 + i, p2 + i};
        for (int c = 0; c < 3; ++c) {
            // Pixels 0-15 and 16-31 widened to 16 bits.
            const __m128i* src = reinterpret_cast<const __m128i*>(planes[c]);
            const __m256i w0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(src));
            const __m256i w1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(src + 1));
            lo = _mm256_or_si256(lo, _mm256_sll_epi16(_mm256_srl_epi16(w0, s.loss[c]), s.shift[c]));
            hi = _mm256_or_si256(hi, _mm256_sll_epi16(_mm256_srl_epi16(w1, s.loss[c]), s.shift[c]));
        }
        store32(out, _mm256_and_si256(lo, mask));
        store32(out + 32, _mm256_and_si256(hi, mask));
    }
    if (i < count) general16_sse2(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

template <int K>
__attribute__((target("avx2"))) inline __m256i byte_shift(__m256i x) {
    if constexpr (K > 0)
        return _mm256_slli_epi16(x, K);
    else if constexpr (K < 0)
        return _mm256_srli_epi16(x, -K);
    else
        return x;
}

template <int K>
__attribute__((target("avx2"))) inline void place_bytes(__m256i x, __m256i low_mask, __m256i high_mask,
                                                        __m256i& low, __m256i& high) {
    if constexpr (K > -8 && K < 8) low = _mm256_or_si256(low, _mm256_and_si256(byte_shift<K>(x), low_mask));
    if constexpr (K > 0 && K < 16) high = _mm256_or_si256(high, _mm256_and_si256(byte_shift<K - 8>(x), high_mask));
}

template <int KB, int KG, int KR>
__attribute__((target("avx2"))) void fixed16_avx2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                  uint8_t* out, size_t count, const channel_layout& layout) {
    __m256i low_mask[3], high_mask[3];
    for (int c = 0; c < 3; ++c) {
        low_mask[c] = _mm256_set1_epi8(static_cast<char>(layout.low_byte_mask[c]));
        high_mask[c] = _mm256_set1_epi8(static_cast<char>(layout.high_byte_mask[c]));
    }
    size_t i = 0;
    for (; i + 32 <= count; i += 32, out += 64) {
        __m256i low = _mm256_setzero_si256(), high = _mm256_setzero_si256();
        place_bytes<KB>(load32(p0 + i), low_mask[0], high_mask[0], low, high);
        place_bytes<KG>(load32(p1 + i), low_mask[1], high_mask[1], low, high);
        place_bytes<KR>(load32(p2 + i), low_mask[2], high_mask[2], low, high);
        // Halves: pixels 0-7 | 16-23 and 8-15 | 24-31.
        const __m256i a = _mm256_unpacklo_epi8(low, high), b = _mm256_unpackhi_epi8(low, high);
        store32(out, _mm256_permute2x128_si256(a, b, 0x20));
        store32(out + 32, _mm256_permute2x128_si256(a, b, 0x31));
    }
    if (i < count) fixed16_sse2<KB, KG, KR>(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

convert_row_fn fixed16_avx2_for(const channel_layout& l) {
    const int b = net_shift(l, 0), g = net_shift(l, 1), r = net_shift(l, 2);
#define TAMBER_PICK(B, G, R) \
    if (b == (B) && g == (G) && r == (R)) return fixed16_avx2<B, G, R>;
    TAMBER_COMMON16_LAYOUTS(TAMBER_PICK)
#undef TAMBER_PICK
    return nullptr;
}

__attribute__((target("avx2"))) void general32_avx2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                    uint8_t* out, size_t count, const channel_layout& layout) {
    const shift_counts s(layout);
    const __m256i mask = _mm256_set1_epi32(static_cast<int>(layout.mask));
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        const uint8_t* planes[3] = {p0 + i, p1 + i, p2 + i};
        for (int c = 0; c < 3; ++c) {
            const __m256i w0 = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(planes[c])));
            const __m256i w1 =
                _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(planes[c] + 8)));
            lo = _mm256_or_si256(lo, _mm256_sll_epi32(_mm256_srl_epi32(w0, s.loss[c]), s.shift[c]));
            hi = _mm256_or_si256(hi, _mm256_sll_epi32(_mm256_srl_epi32(w1, s.loss[c]), s.shift[c]));
        }
        store32(out, _mm256_and_si256(lo, mask));
        store32(out + 32, _mm256_and_si256(hi, mask));
    }
    general32_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

}  // namespace

const converter_set avx2_set{"avx2",
                             bgrx32_avx2,
                             swapped<bgrx32_avx2>,
                             bgr24_avx2,
                             swapped<bgr24_avx2>,
                             general16_avx2,
                             general24_ssse3,
                             general32_avx2,
                             fixed16_avx2_for,
                             rgba32_sse2};

}  // namespace tamber::convert

#endif  // TAMBER_CONVERT_X86
