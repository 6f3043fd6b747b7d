// The pixel converters. Each frame converts 480,000 pixels, so every
// converter has packed versions that work on sixteen (or thirty-two) pixels
// per step with SSE2, SSSE3 or AVX2 integer instructions; each packed loop
// finishes the row's last pixels with the scalar rule, so any width works.
// The scalar routines are the rule as written and what the tests compare
// the packed ones against.
#include "display/pixel_convert.h"

#include <cstring>

#if defined(__SSE2__) && (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define TAMBER_CONVERT_X86 1
#include <immintrin.h>
#else
#define TAMBER_CONVERT_X86 0
#endif

#include "cpu/cpu_features.h"
#include "draw/scalar_rule.h"

namespace tamber {

namespace {

// ---- the rule, one pixel at a time ------------------------------------

// A channel's position minus the bits it loses: how far its byte moves.
int net_shift(const channel_layout& l, int c) { return static_cast<int>(l.shift[c]) - static_cast<int>(l.loss[c]); }

inline uint32_t general_pixel(uint32_t b, uint32_t g, uint32_t r, const channel_layout& l) {
    return (((b >> l.loss[0]) << l.shift[0]) | ((g >> l.loss[1]) << l.shift[1]) | ((r >> l.loss[2]) << l.shift[2])) &
           l.mask;
}

inline void store16(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
}
inline void store24(uint8_t* out, uint32_t v) {
    out[0] = static_cast<uint8_t>(v);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v >> 16);
}
inline void store32(uint8_t* out, uint32_t v) {
    store24(out, v);
    out[3] = static_cast<uint8_t>(v >> 24);
}

// The tails of the packed loops use these too.
inline void bgrx32_pixels(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, out += 4) {
        out[0] = p0[i];
        out[1] = p1[i];
        out[2] = p2[i];
        out[3] = 0;
    }
}
inline void bgr24_pixels(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count) {
    for (size_t i = 0; i < count; ++i, out += 3) {
        out[0] = p0[i];
        out[1] = p1[i];
        out[2] = p2[i];
    }
}
inline void general16_pixels(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                             const channel_layout& l) {
    for (size_t i = 0; i < count; ++i) store16(out + 2 * i, general_pixel(p0[i], p1[i], p2[i], l));
}
inline void general24_pixels(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                             const channel_layout& l) {
    for (size_t i = 0; i < count; ++i) store24(out + 3 * i, general_pixel(p0[i], p1[i], p2[i], l));
}
inline void general32_pixels(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                             const channel_layout& l) {
    for (size_t i = 0; i < count; ++i) store32(out + 4 * i, general_pixel(p0[i], p1[i], p2[i], l));
}

TAMBER_SCALAR_FUNCTION void bgrx32_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                          size_t count, const channel_layout&) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i, out += 4) {
        out[0] = p0[i];
        out[1] = p1[i];
        out[2] = p2[i];
        out[3] = 0;
    }
}
TAMBER_SCALAR_FUNCTION void bgr24_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                         size_t count, const channel_layout&) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i, out += 3) {
        out[0] = p0[i];
        out[1] = p1[i];
        out[2] = p2[i];
    }
}
TAMBER_SCALAR_FUNCTION void general16_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                             size_t count, const channel_layout& l) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i) store16(out + 2 * i, general_pixel(p0[i], p1[i], p2[i], l));
}
TAMBER_SCALAR_FUNCTION void general24_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                             size_t count, const channel_layout& l) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i) store24(out + 3 * i, general_pixel(p0[i], p1[i], p2[i], l));
}
TAMBER_SCALAR_FUNCTION void general32_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                             size_t count, const channel_layout& l) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i) store32(out + 4 * i, general_pixel(p0[i], p1[i], p2[i], l));
}

// Red in the low byte: the direct routines with planes 0 and 2 exchanged.
template <convert_row_fn direct>
void swapped(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
             const channel_layout& layout) {
    direct(p2, p1, p0, out, count, layout);
}

#if TAMBER_CONVERT_X86

// ---- SSE2 ---------------------------------------------------------------

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

void bgrx32_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout&) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64) {
        __m128i q[4];
        bgrx_quads(p0 + i, p1 + i, p2 + i, q);
        store(out, q[0]);
        store(out + 16, q[1]);
        store(out + 32, q[2]);
        store(out + 48, q[3]);
    }
    bgrx32_pixels(p0 + i, p1 + i, p2 + i, out, count - i);
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

inline __m128i place16(__m128i v, const shift_counts& s, int c) {
    return _mm_sll_epi16(_mm_srl_epi16(v, s.loss[c]), s.shift[c]);
}
inline __m128i place32(__m128i v, const shift_counts& s, int c) {
    return _mm_sll_epi32(_mm_srl_epi32(v, s.loss[c]), s.shift[c]);
}

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
    general16_pixels(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// The common 16-bit layouts (5-6-5, 5-5-5, 4-4-4 and their mirror images)
// are built a byte at a time: each channel is shifted into the low and the
// high byte of its pixel while the planes are still bytes, thirty-two or
// sixteen pixels per register, and only the final interleave makes 16-bit
// pixels. The net shift of a channel (its position minus the bits it loses)
// is fixed at compile time; the byte masks come from the surface's masks.
#define TAMBER_COMMON16_LAYOUTS(X) \
    X(-3, 3, 8)                    \
    X(-3, 2, 7)                    \
    X(8, 3, -3)                    \
    X(7, 2, -3)                    \
    X(-4, 0, 4)


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
    general16_pixels(p0 + i, p1 + i, p2 + i, out, count - i, layout);
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
    general32_pixels(p0 + i, p1 + i, p2 + i, out, count - i, layout);
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

// Four groups of twelve bytes into three registers.
inline void store_48(uint8_t* out, __m128i a, __m128i b, __m128i c, __m128i d) {
    store(out, _mm_or_si128(a, _mm_slli_si128(b, 12)));
    store(out + 16, _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    store(out + 32, _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
}

void bgr24_sse2(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                const channel_layout&) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        __m128i q[4];
        bgrx_quads(p0 + i, p1 + i, p2 + i, q);
        store_48(out, pack24(q[0]), pack24(q[1]), pack24(q[2]), pack24(q[3]));
    }
    bgr24_pixels(p0 + i, p1 + i, p2 + i, out, count - i);
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
    general24_pixels(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// ---- SSSE3: byte shuffles for the 24-bit layouts -------------------------

// Shuffle controls that put the bytes of plane `plane` into output register
// `part` of forty-eight bytes B G R B G R ...; 0x80 leaves a byte zero.
struct interleave24_controls {
    alignas(16) uint8_t bytes[3][3][16];  // [part][plane][byte]
    constexpr interleave24_controls() : bytes{} {
        for (int part = 0; part < 3; ++part)
            for (int plane = 0; plane < 3; ++plane)
                for (int j = 0; j < 16; ++j) {
                    const int at = 16 * part + j;
                    bytes[part][plane][j] = at % 3 == plane ? static_cast<uint8_t>(at / 3) : 0x80;
                }
    }
};
constexpr interleave24_controls interleave24{};

__attribute__((target("ssse3"))) inline __m128i shuffle_part(__m128i b, __m128i g, __m128i r, int part) {
    const auto control = [part](int plane) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(interleave24.bytes[part][plane]));
    };
    return _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, control(0)), _mm_shuffle_epi8(g, control(1))),
                        _mm_shuffle_epi8(r, control(2)));
}

__attribute__((target("ssse3"))) void bgr24_ssse3(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                  uint8_t* out, size_t count, const channel_layout&) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        const __m128i b = load(p0 + i), g = load(p1 + i), r = load(p2 + i);
        store(out, shuffle_part(b, g, r, 0));
        store(out + 16, shuffle_part(b, g, r, 1));
        store(out + 32, shuffle_part(b, g, r, 2));
    }
    bgr24_pixels(p0 + i, p1 + i, p2 + i, out, count - i);
}

__attribute__((target("ssse3"))) void general24_ssse3(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                      uint8_t* out, size_t count, const channel_layout& layout) {
    const shift_counts s(layout);
    const __m128i drop_top = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -128, -128, -128, -128);
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        __m128i q[4];
        general_quads(p0 + i, p1 + i, p2 + i, s, q);
        store_48(out, _mm_shuffle_epi8(q[0], drop_top), _mm_shuffle_epi8(q[1], drop_top),
                 _mm_shuffle_epi8(q[2], drop_top), _mm_shuffle_epi8(q[3], drop_top));
    }
    general24_pixels(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

// ---- AVX2: thirty-two pixels per step ------------------------------------

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
    general32_pixels(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

constexpr converter_set sse2_set{"sse2",
                                 bgrx32_sse2,
                                 swapped<bgrx32_sse2>,
                                 bgr24_sse2,
                                 swapped<bgr24_sse2>,
                                 general16_sse2,
                                 general24_sse2,
                                 general32_sse2,
                                 fixed16_sse2_for};
constexpr converter_set ssse3_set{"ssse3",
                                  bgrx32_sse2,
                                  swapped<bgrx32_sse2>,
                                  bgr24_ssse3,
                                  swapped<bgr24_ssse3>,
                                  general16_sse2,
                                  general24_ssse3,
                                  general32_sse2,
                                  fixed16_sse2_for};
constexpr converter_set avx2_set{"avx2",
                                 bgrx32_avx2,
                                 swapped<bgrx32_avx2>,
                                 bgr24_avx2,
                                 swapped<bgr24_avx2>,
                                 general16_avx2,
                                 general24_ssse3,
                                 general32_avx2,
                                 fixed16_avx2_for};

#endif  // TAMBER_CONVERT_X86

constexpr converter_set scalar_set{"scalar",
                                   bgrx32_scalar,
                                   swapped<bgrx32_scalar>,
                                   bgr24_scalar,
                                   swapped<bgr24_scalar>,
                                   general16_scalar,
                                   general24_scalar,
                                   general32_scalar,
                                   nullptr};

// Trailing zero bits of a non-zero mask.
uint32_t trailing_zeros(uint32_t mask) {
    uint32_t n = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++n;
    }
    return n;
}

void channel(uint32_t mask, uint32_t& shift, uint32_t& loss) {
    if (mask == 0) {
        shift = 0;
        loss = 8;
        return;
    }
    shift = trailing_zeros(mask);
    // Single left shifts of the low byte until its top bit is set.
    uint32_t low = (mask >> shift) & 0xFF;
    loss = 0;
    while (!(low & 0x80)) {
        low <<= 1;
        ++loss;
    }
}

}  // namespace

channel_layout layout_for(const ddraw::pixel_format& format) {
    channel_layout l{};
    channel(format.blue_mask, l.shift[0], l.loss[0]);
    channel(format.green_mask, l.shift[1], l.loss[1]);
    channel(format.red_mask, l.shift[2], l.loss[2]);
    l.mask = format.red_mask | format.green_mask | format.blue_mask;
    // Of the 16-bit value (byte & keep) shifted by the net shift k, the bits
    // that land in the low and in the high byte, within the masks.
    for (int c = 0; c < 3; ++c) {
        const uint32_t keep = (0xFFu << l.loss[c]) & 0xFF;
        const int k = net_shift(l, c);
        const uint32_t low = k >= 0 ? (k < 8 ? keep << k : 0) : (k > -8 ? keep >> -k : 0);
        const uint32_t high = k >= 8 ? (k < 16 ? keep << (k - 8) : 0) : (k > 0 ? keep >> (8 - k) : 0);
        l.low_byte_mask[c] = static_cast<uint8_t>(low & l.mask & 0xFF);
        l.high_byte_mask[c] = static_cast<uint8_t>(high & (l.mask >> 8) & 0xFF);
    }
    return l;
}

converter select_converter_from(const converter_set& set, const ddraw::pixel_format& format) {
    const channel_layout layout = layout_for(format);
    const bool red_high = format.red_mask == 0xFF0000 && format.green_mask == 0x00FF00 && format.blue_mask == 0x0000FF;
    const bool red_low = format.red_mask == 0x0000FF && format.green_mask == 0x00FF00 && format.blue_mask == 0xFF0000;
    switch (format.rgb_bit_count) {
    case 16:
        if (set.common16) {
            if (const convert_row_fn fixed = set.common16(layout)) return {"general16", fixed, layout};
        }
        return {"general16", set.general16, layout};
    case 24:
        if (red_high) return {"bgr24", set.bgr24, layout};
        if (red_low) return {"rgb24", set.rgb24, layout};
        return {"general24", set.general24, layout};
    case 32:
        if (red_high) return {"bgrx32", set.bgrx32, layout};
        if (red_low) return {"rgbx32", set.rgbx32, layout};
        return {"general32", set.general32, layout};
    default:
        return {"none", nullptr, layout};
    }
}

const converter_set& scalar_converters() { return scalar_set; }

std::vector<converter_set> packed_converters() {
    std::vector<converter_set> sets;
#if TAMBER_CONVERT_X86
    sets.push_back(sse2_set);
    if (cpu_has(cpu_feature::ssse3)) sets.push_back(ssse3_set);
    if (cpu_has(cpu_feature::avx2)) sets.push_back(avx2_set);
#endif
    return sets;
}

const converter_set& active_converters() {
    static const converter_set chosen = [] {
        const std::vector<converter_set> sets = packed_converters();
        return sets.empty() ? scalar_set : sets.back();
    }();
    return chosen;
}

converter select_converter(const ddraw::pixel_format& format) {
    return select_converter_from(active_converters(), format);
}

}  // namespace tamber
