// The WebAssembly SIMD pixel converters, for the browser host: sixteen
// pixels per step for the 32-bit layouts a canvas takes (bgrx32, rgbx32 and
// rgba32); the other routines of the set are the scalar ones. Compiled to
// nothing unless the compiler targets WebAssembly with -msimd128.
#include "display/pixel_rule.h"

#if TAMBER_CONVERT_WASM
#include <wasm_simd128.h>

namespace tamber::convert {

namespace {

// Sixteen pixels of bytes a, b, c, d (the fourth the same in every pixel)
// into sixty-four bytes a b c d a b c d ...: the planes interleave a byte
// at a time into pairs (a b, c d), then the pairs a pair at a time. The
// engines turn these shuffles into the processor's unpack instructions.
inline void interleave4(v128_t a, v128_t b, v128_t c, v128_t d, uint8_t* out) {
    const v128_t ab_lo = wasm_i8x16_shuffle(a, b, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const v128_t ab_hi = wasm_i8x16_shuffle(a, b, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    const v128_t cd_lo = wasm_i8x16_shuffle(c, d, 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const v128_t cd_hi = wasm_i8x16_shuffle(c, d, 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    wasm_v128_store(out, wasm_i16x8_shuffle(ab_lo, cd_lo, 0, 8, 1, 9, 2, 10, 3, 11));
    wasm_v128_store(out + 16, wasm_i16x8_shuffle(ab_lo, cd_lo, 4, 12, 5, 13, 6, 14, 7, 15));
    wasm_v128_store(out + 32, wasm_i16x8_shuffle(ab_hi, cd_hi, 0, 8, 1, 9, 2, 10, 3, 11));
    wasm_v128_store(out + 48, wasm_i16x8_shuffle(ab_hi, cd_hi, 4, 12, 5, 13, 6, 14, 7, 15));
}

void bgrx32_wasm(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout& layout) {
    const v128_t zero = wasm_i8x16_splat(0);
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64)
        interleave4(wasm_v128_load(p0 + i), wasm_v128_load(p1 + i), wasm_v128_load(p2 + i), zero, out);
    bgrx32_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

void rgba32_wasm(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                 const channel_layout& layout) {
    const v128_t opaque = wasm_i8x16_splat(static_cast<int8_t>(0xFF));
    size_t i = 0;
    for (; i + 16 <= count; i += 16, out += 64)
        interleave4(wasm_v128_load(p2 + i), wasm_v128_load(p1 + i), wasm_v128_load(p0 + i), opaque, out);
    rgba32_scalar(p0 + i, p1 + i, p2 + i, out, count - i, layout);
}

}  // namespace

const converter_set wasm_set{"wasm-simd128",
                             bgrx32_wasm,
                             swapped<bgrx32_wasm>,
                             bgr24_scalar,
                             swapped<bgr24_scalar>,
                             general16_scalar,
                             general24_scalar,
                             general32_scalar,
                             nullptr,
                             rgba32_wasm};

}  // namespace tamber::convert

#endif  // TAMBER_CONVERT_WASM
