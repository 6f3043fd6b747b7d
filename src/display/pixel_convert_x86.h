// What the packed pixel converters share across instruction sets: the
// SSE2 building blocks (the SSSE3 and AVX2 routines use them too, and the
// wider routines finish a row with the narrower ones), and the routines one
// set's file lends another's. Only the converters' own files include this.
#pragma once

#include "display/pixel_rule.h"

#if TAMBER_CONVERT_X86
#include <immintrin.h>

namespace tamber::convert {

inline __m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Sixteen pixels as four registers of four BGRX pixels (X = 0).
inline void bgrx_quads(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, __m128i q[4]) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i b = load(p0), g = load(p1), r = load(p2);
    const __m128i bg_lo = _mm_unpacklo_epi8(b, g), bg_hi = _mm_unpackhi_epi8(b, g);
    const __m128i r_lo = _mm_unpacklo_epi8(r, zero), r_hi = _mm_unpackhi_epi8(r, zero);
    q[0] = _mm_unpacklo_epi16(bg_lo, r_lo);
    q[1] = _mm_unpackhi_epi16(bg_lo, r_lo);
    q[2] = _mm_unpacklo_epi16(bg_hi, r_hi);
    q[3] = _mm_unpackhi_epi16(bg_hi, r_hi);
}

// The per-channel shift counts of a layout, as SSE2 shift operands.
struct shift_counts {
    __m128i loss[3], shift[3], mask16, mask32;
    explicit shift_counts(const channel_layout& l) {
        for (int c = 0; c < 3; ++c) {
            loss[c] = _mm_cvtsi32_si128(static_cast<int>(l.loss[c]));
            shift[c] = _mm_cvtsi32_si128(static_cast<int>(l.shift[c]));
        }
        mask16 = _mm_set1_epi16(static_cast<short>(l.mask & 0xFFFF));
        mask32 = _mm_set1_epi32(static_cast<int>(l.mask));
    }
};

inline __m128i place32(__m128i v, const shift_counts& s, int c) {
    return _mm_sll_epi32(_mm_srl_epi32(v, s.loss[c]), s.shift[c]);
}

// Sixteen pixels in the general layout as four registers of four 32-bit
// pixels.
inline void general_quads(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, const shift_counts& s,
                          __m128i q[4]) {
    const __m128i zero = _mm_setzero_si128();
    const uint8_t* planes[3] = {p0, p1, p2};
    q[0] = q[1] = q[2] = q[3] = zero;
    for (int c = 0; c < 3; ++c) {
        const __m128i v = load(planes[c]);
        const __m128i lo = _mm_unpacklo_epi8(v, zero), hi = _mm_unpackhi_epi8(v, zero);
        q[0] = _mm_or_si128(q[0], place32(_mm_unpacklo_epi16(lo, zero), s, c));
        q[1] = _mm_or_si128(q[1], place32(_mm_unpackhi_epi16(lo, zero), s, c));
        q[2] = _mm_or_si128(q[2], place32(_mm_unpacklo_epi16(hi, zero), s, c));
        q[3] = _mm_or_si128(q[3], place32(_mm_unpackhi_epi16(hi, zero), s, c));
    }
    for (int k = 0; k < 4; ++k) q[k] = _mm_and_si128(q[k], s.mask32);
}

// Four groups of twelve bytes into three registers.
inline void store_48(uint8_t* out, __m128i a, __m128i b, __m128i c, __m128i d) {
    store(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    store(out + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    store(out + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
}

// The common 16-bit layouts are built a byte at a time: each channel is
// shifted into the low and the high byte of its pixel while the planes are
// still bytes, thirty-two or sixteen pixels per register, and only the
// final interleave makes 16-bit pixels. The net shift of a channel is fixed
// at compile time; the byte masks come from the surface's masks.
template <int K>
inline __m128i byte_shift(__m128i x) {
    if constexpr (K > 0)
        return _mm_slli_epi16(x, K);
    else if constexpr (K < 0)
        return _mm_srli_epi16(x, -K);
    else
        return x;
}

// Adds a channel's bytes, shifted by K, to the low and high bytes.
template <int K>
inline void place_bytes(__m128i x, __m128i low_mask, __m128i high_mask, __m128i& low, __m128i& high) {
    if constexpr (K > -8 && K < 8) low = _mm_or_si128(low, _mm_and_si128(byte_shift<K>(x), low_mask));
    if constexpr (K > 0 && K < 16) high = _mm_or_si128(high, _mm_and_si128(byte_shift<K - 8>(x), high_mask));
}

template <int KB, int KG, int KR>
void fixed16_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                  const channel_layout& layout) {
    __m128i low_mask[3], high_mask[3];
    for (int c = 0; c < 3; ++c) {
        low_mask[c] = _mm_set1_epi8(static_cast<char>(layout.low_byte_mask[c]));
        high_mask[c] = _mm_set1_epi8(static_cast<char>(layout.high_byte_mask[c]));
    }
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 32) {
        __m128i low = _mm_setzero_si128(), high = _mm_setzero_si128();
        place_bytes<KB>(load(p0 + i), low_mask[0], high_mask[0], low, high);
        place_bytes<KG>(load(p1 + i), low_mask[1], high_mask[1], low, high);
        place_bytes<KR>(load(p2 + i), low_mask[2], high_mask[2], low, high);
        store(out, _mm_unpacklo_epi8(low, high));
        store(out + 16, _mm_unpackhi_epi8(low, high));
    }
    general16_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// Routines of one set that another set uses as they are.
void bgrx32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout& layout);
void general16_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                    const channel_layout& layout);
void general32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                    const channel_layout& layout);
convert_row_fn fixed16_sse2_for(const channel_layout& layout);
void rgba32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout& layout);
__attribute__((target("ssse3"))) void bgr24_ssse3(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                  uint8_t* out, size_t count, const channel_layout& layout);
__attribute__((target("ssse3"))) void general24_ssse3(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                      uint8_t* out, size_t count, const channel_layout& layout);

}  // namespace tamber::convert

#endif  // TAMBER_CONVERT_X86
