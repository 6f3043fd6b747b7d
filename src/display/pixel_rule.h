// The pixel converters' rule, one pixel at a time, shared by every
// instruction set: the scalar routines are these loops, and each packed
// routine finishes the last pixels of a row with them. Also the net shifts
// of the common 16-bit formats that have byte-wise packed routines. Only the
// converters' own files include this.
#pragma once

#include <cstddef>
#include <cstdint>

#include "display/pixel_convert.h"
#include "draw/scalar_rule.h"

#if defined(__SSE2__) && (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define TAMBER_CONVERT_X86 1
#else
#define TAMBER_CONVERT_X86 0
#endif

// WebAssembly with the 128-bit SIMD instructions (-msimd128).
#if defined(__wasm_simd128__)
#define TAMBER_CONVERT_WASM 1
#else
#define TAMBER_CONVERT_WASM 0
#endif

namespace tamber::convert {

// A channel's position minus the bits it loses: how far its byte moves.
inline int net_shift(const channel_layout& l, int c) {
    return static_cast<int>(l.shift[c]) - static_cast<int>(l.loss[c]);
}

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

// The six scalar routines.
TAMBER_SCALAR_FUNCTION inline void bgrx32_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                                 size_t count, const channel_layout&) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i, out += 4) {
        out[0] = p0[i];
        out[1] = p1[i];
        out[2] = p2[i];
        out[3] = 0;
    }
}
TAMBER_SCALAR_FUNCTION inline void bgr24_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                                size_t count, const channel_layout&) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i, out += 3) {
        out[0] = p0[i];
        out[1] = p1[i];
        out[2] = p2[i];
    }
}
TAMBER_SCALAR_FUNCTION inline void general16_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                    uint8_t* out, size_t count, const channel_layout& l) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i) store16(out + 2 * i, general_pixel(p0[i], p1[i], p2[i], l));
}
TAMBER_SCALAR_FUNCTION inline void general24_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                    uint8_t* out, size_t count, const channel_layout& l) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i) store24(out + 3 * i, general_pixel(p0[i], p1[i], p2[i], l));
}
TAMBER_SCALAR_FUNCTION inline void general32_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2,
                                                    uint8_t* out, size_t count, const channel_layout& l) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i) store32(out + 4 * i, general_pixel(p0[i], p1[i], p2[i], l));
}

TAMBER_SCALAR_FUNCTION inline void rgba32_scalar(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out,
                                                 size_t count, const channel_layout&) {
    TAMBER_SCALAR_LOOP
    for (size_t i = 0; i < count; ++i, out += 4) {
        out[0] = p2[i];
        out[1] = p1[i];
        out[2] = p0[i];
        out[3] = 255;
    }
}

// Red in the low byte: the direct routines with planes 0 and 2 exchanged.
template <convert_row_fn direct>
void swapped(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
             const channel_layout& layout) {
    direct(p2, p1, p0, out, count, layout);
}

// The common 16-bit formats, built a byte at a time by the packed routines:
// one row per format, the net shifts (position minus lost bits) of blue,
// green and red, and the pixel's bits from 15 down to 0 (x: unused).
#define TAMBER_COMMON16_LAYOUTS(X)                                 \
    X(-3, 3, 8)  /* red-green-blue 5-6-5:  RRRRRGGG GGGBBBBB */    \
    X(-3, 2, 7)  /* red-green-blue 5-5-5:  xRRRRRGG GGGBBBBB */    \
    X(8, 3, -3)  /* blue-green-red 5-6-5:  BBBBBGGG GGGRRRRR */    \
    X(7, 2, -3)  /* blue-green-red 5-5-5:  xBBBBBGG GGGRRRRR */    \
    X(-4, 0, 4)  /* red-green-blue 4-4-4:  xxxxRRRR GGGGBBBB */

// The packed sets (pixel_convert_sse2.cpp, _ssse3.cpp, _avx2.cpp,
// _wasm.cpp).
#if TAMBER_CONVERT_X86
extern const converter_set sse2_set;
extern const converter_set ssse3_set;
extern const converter_set avx2_set;
#endif
#if TAMBER_CONVERT_WASM
extern const converter_set wasm_set;
#endif

}  // namespace tamber::convert
