// The SSE2 pixel converters: sixteen pixels per step.
#include "display/pixel_convert_x86.h"

#if TAMBER_CONVERT_X86

namespace tamber::convert {

void bgrx32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout& layout) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        __m128i q[4];
        bgrx_quads(p0 + i, p1 + i, p2 + i, q);
        store(out, q[0]);
        store(out + 16, q[1]);
        store(out + 32, q[2]);
        store(out + 48, q[3]);
    }
    bgrx32_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// Red, green, blue, opaque: the BGRX interleave of the planes in the other
// order, with the fourth byte set.
void rgba32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout& layout) {
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xFF000000));
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        __m128i q[4];
        bgrx_quads(p2 + i, p1 + i, p0 + i, q);
        store(out, _mm_or_si128(q[0], opaque));
        store(out + 16, _mm_or_si128(q[1], opaque));
        store(out + 32, _mm_or_si128(q[2], opaque));
        store(out + 48, _mm_or_si128(q[3], opaque));
    }
    rgba32_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

namespace {

inline __m128i place16(__m128i v, const shift_counts& s, int c) {
    return _mm_sll_epi16(_mm_srl_epi16(v, s.loss[c]), s.shift[c]);
}

// Four 32-bit pixels to their low three bytes, packed into the low twelve
// bytes (the top four are zero): within each 64-bit half the upper pixel
// moves down by a byte, then the upper half moves down by two.
inline __m128i pack24(__m128i q) {
    const __m128i low_pixel = _mm_set_epi32(0, 0x00FFFFFF, 0, 0x00FFFFFF);
    const __m128i high_pixel = _mm_set_epi32(0x0000FFFF, static_cast<int>(0xFF000000), 0x0000FFFF,
                                             static_cast<int>(0xFF000000));
    const __m128i halves =
        _mm_or_si128(_mm_and_si128(q, low_pixel), _mm_and_si128(_mm_srli_epi64(q, 8), high_pixel));
    return _mm_or_si128(_mm_move_epi64(halves), _mm_slli_si128(_mm_srli_si128(halves, 8), 6));
}

void bgr24_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                const channel_layout& layout) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        __m128i q[4];
        bgrx_quads(p0 + i, p1 + i, p2 + i, q);
        store_48(out, pack24(q[0]), pack24(q[1]), pack24(q[2]), pack24(q[3]));
    }
    bgr24_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

void general24_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                    const channel_layout& layout) {
    const shift_counts s(layout);
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        __m128i q[4];
        general_quads(p0 + i, p1 + i, p2 + i, s, q);
        store_48(out, pack24(q[0]), pack24(q[1]), pack24(q[2]), pack24(q[3]));
    }
    general24_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

}  // namespace

void general16_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                    const channel_layout& layout) {
    const shift_counts s(layout);
    const __m128i zero = _mm_setzero_si128();
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 32) {
        const __m128i b = load(p0 + i), g = load(p1 + i), r = load(p2 + i);
        const __m128i lo = _mm_or_si128(_mm_or_si128(place16(_mm_unpacklo_epi8(b, zero), s, 0),
                                                     place16(_mm_unpacklo_epi8(g, zero), s, 1)),
                                        place16(_mm_unpacklo_epi8(r, zero), s, 2));
        const __m128i hi = _mm_or_si128(_mm_or_si128(place16(_mm_unpackhi_epi8(b, zero), s, 0),
                                                     place16(_mm_unpackhi_epi8(g, zero), s, 1)),
                                        place16(_mm_unpackhi_epi8(r, zero), s, 2));
        store(out, _mm_and_si128(lo, s.mask16));
        store(out + 16, _mm_and_si128(hi, s.mask16));
    }
    general16_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// The byte-wise routine for a layout's net shifts, or null.
convert_row_fn fixed16_sse2_for(const channel_layout& l) {
    const int b = net_shift(l, 0), g = net_shift(l, 1), r = net_shift(l, 2);
#define TAMBER_PICK(B, G, R) \
    if (b == (B) && g == (G) && r == (R)) return fixed16_sse2<B, G, R>;
    TAMBER_COMMON16_LAYOUTS(TAMBER_PICK)
#undef TAMBER_PICK
    return nullptr;
}

void general32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                    const channel_layout& layout) {
    const shift_counts s(layout);
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        __m128i q[4];
        general_quads(p0 + i, p1 + i, p2 + i, s, q);
        store(out, q[0]);
        store(out + 16, q[1]);
        store(out + 32, q[2]);
        store(out + 48, q[3]);
    }
    general32_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

const converter_set sse2_set{"sse2",
                             bgrx32_sse2,
                             swapped<bgrx32_sse2>,
                             bgr24_sse2,
                             swapped<bgr24_sse2>,
                             general16_sse2,
                             general24_sse2,
                             general32_sse2,
                             fixed16_sse2_for,
                             rgba32_sse2};

}  // namespace tamber::convert

#endif  // TAMBER_CONVERT_X86
