// The SSSE3 pixel converters: byte shuffles for the 24-bit layouts; the
// other layouts keep their SSE2 routines.
#include "display/pixel_convert_x86.h"

#if TAMBER_CONVERT_X86

namespace tamber::convert {

namespace {

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

}  // namespace

__attribute__((target("ssse3"))) void bgr24_ssse3(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                  uint8_t* out, size_t count, const channel_layout& layout) {
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 48) {
        const __m128i b = load(p0 + i), g = load(p1 + i), r = load(p2 + i);
        store(out, shuffle_part(b, g, r, 0));
        store(out + 16, shuffle_part(b, g, r, 1));
        store(out + 32, shuffle_part(b, g, r, 2));
    }
    bgr24_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
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
    general24_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

const converter_set ssse3_set{"ssse3",
                              bgrx32_sse2,
                              swapped<bgrx32_sse2>,
                              bgr24_ssse3,
                              swapped<bgr24_ssse3>,
                              general16_sse2,
                              general24_ssse3,
                              general32_sse2,
                              fixed16_sse2_for,
                              rgba32_sse2};

}  // namespace tamber::convert

#endif  // TAMBER_CONVERT_X86
