// fill_span: the blending fill every panel of the host's screens is built
// from. Opaque spans are a byte fill per plane; translucent spans run over
// whole rows every frame, so they are done 16 or 32 bytes at a time with
// packed integer instructions where the processor has them, with the same
// results as the per-byte rule.
#include <cstring>

#include "cpu/cpu_features.h"
#include "draw/frame_image.h"

#if defined(__SSE2__) && (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#define TAMBER_FILL_X86 1
#include <immintrin.h>
#else
#define TAMBER_FILL_X86 0
#endif

#include "draw/scalar_rule.h"

namespace tamber {

namespace {

// The component of colour c that goes to plane i: blue (bits 16-23) to
// plane 0, green to plane 1, red (bits 0-7) to plane 2.
uint32_t component(colour c, int i) { return (c >> (16 - 8 * i)) & 0xFF; }

// The per-byte rule with m = 255 - a; the packed kernels finish with it.
inline void blend_bytes(uint8_t* p, size_t count, uint32_t m, uint32_t c) {
    for (size_t n = 0; n < count; ++n) {
        const uint32_t v = ((p[n] * m) >> 8) + c;
        p[n] = static_cast<uint8_t>(v < 255 ? v : 255);
    }
}

#if TAMBER_FILL_X86

// Sixteen bytes at once. Each 16-bit lane holds two bytes, lo and hi, and is
// multiplied by m = 255 - a (at most 254, so every product fits in 16 bits):
// - lo: moved to the high half first, so the high half of the 32-bit product
//   (lo << 8) * m is (lo * m) >> 8, in the low byte where lo belongs;
// - hi: moved to the low half, multiplied, and the product's high byte,
//   (hi * m) >> 8, is already where hi belongs.
// Both results are at most 253 and fill disjoint bytes; the component is
// then added to every byte with unsigned saturation, which is min(255, ...).
inline __m128i blend16(__m128i v, __m128i m, __m128i c, __m128i high_bytes) {
    const __m128i lo = _mm_mulhi_epu16(_mm_slli_epi16(v, 8), m);
    const __m128i hi = _mm_and_si128(_mm_mullo_epi16(_mm_srli_epi16(v, 8), m), high_bytes);
    return _mm_adds_epu8(_mm_or_si128(lo, hi), c);
}

void blend_sse2(uint8_t* p, size_t count, uint32_t a, uint32_t c) {
    const uint32_t m = 255 - a;
    const __m128i vm = _mm_set1_epi16(static_cast<short>(m));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c));
    const __m128i high_bytes = _mm_set1_epi16(static_cast<short>(0xFF00));
    size_t n = 0;
    for (; n + 16 <= count; n += 16) {
        __m128i* q = reinterpret_cast<__m128i*>(p + n);
        _mm_storeu_si128(q, blend16(_mm_loadu_si128(q), vm, vc, high_bytes));
    }
    blend_bytes(p + n, count - n, m, c);
}

// The same as blend_sse2, thirty-two bytes at once; a last step of sixteen
// keeps the byte loop under sixteen bytes.
__attribute__((target("avx2"))) void blend_avx2(uint8_t* p, size_t count, uint32_t a, uint32_t c) {
    const uint32_t m = 255 - a;
    const __m256i vm = _mm256_set1_epi16(static_cast<short>(m));
    const __m256i vc = _mm256_set1_epi8(static_cast<char>(c));
    const __m256i high_bytes = _mm256_set1_epi16(static_cast<short>(0xFF00));
    size_t n = 0;
    for (; n + 32 <= count; n += 32) {
        __m256i* q = reinterpret_cast<__m256i*>(p + n);
        const __m256i v = _mm256_loadu_si256(q);
        const __m256i lo = _mm256_mulhi_epu16(_mm256_slli_epi16(v, 8), vm);
        const __m256i hi = _mm256_and_si256(_mm256_mullo_epi16(_mm256_srli_epi16(v, 8), vm), high_bytes);
        _mm256_storeu_si256(q, _mm256_adds_epu8(_mm256_or_si256(lo, hi), vc));
    }
    if (n + 16 <= count) {
        __m128i* q = reinterpret_cast<__m128i*>(p + n);
        _mm_storeu_si128(q, blend16(_mm_loadu_si128(q), _mm256_castsi256_si128(vm), _mm256_castsi256_si128(vc),
                                    _mm256_castsi256_si128(high_bytes)));
        n += 16;
    }
    blend_bytes(p + n, count - n, m, c);
}

#else

void blend_scalar(uint8_t* p, size_t count, uint32_t a, uint32_t c) { blend_bytes(p, count, 255 - a, c); }

#endif  // TAMBER_FILL_X86

blend::kernel choose_kernel() {
#if TAMBER_FILL_X86
    if (cpu_has(cpu_feature::avx2)) return {"avx2", blend_avx2};
    return {"sse2", blend_sse2};
#else
    return {"scalar", blend_scalar};
#endif
}

}  // namespace

namespace reference {
TAMBER_SCALAR_FUNCTION void fill_span(const frame_view& view, size_t offset, size_t count, colour c) {
    const uint32_t a = c >> 24;
    if (a == 0) return;
    for (int i = 0; i < 3; ++i) {
        const uint32_t k = component(c, i);
        uint8_t* p = view.plane[i] + offset;
        if (a == 255) {
            for (size_t n = 0; n < count; ++n) p[n] = static_cast<uint8_t>(k);
            continue;
        }
        TAMBER_SCALAR_LOOP
        for (size_t n = 0; n < count; ++n) {
            const uint32_t v = ((p[n] * (255 - a)) >> 8) + k;
            p[n] = static_cast<uint8_t>(v < 255 ? v : 255);
        }
    }
}
}  // namespace reference

namespace blend {

std::vector<kernel> packed_kernels() {
    std::vector<kernel> kernels;
#if TAMBER_FILL_X86
    kernels.push_back({"sse2", blend_sse2});
    if (cpu_has(cpu_feature::avx2)) kernels.push_back({"avx2", blend_avx2});
#endif
    return kernels;
}

kernel active() {
    static const kernel chosen = choose_kernel();
    return chosen;
}

void fill_span_with(kernel_fn run, const frame_view& view, size_t offset, size_t count, colour c) {
    const uint32_t a = c >> 24;
    if (a == 0 || count == 0) return;
    for (int i = 0; i < 3; ++i) {
        uint8_t* p = view.plane[i] + offset;
        if (a == 255)
            std::memset(p, static_cast<int>(component(c, i)), count);
        else
            run(p, count, a, component(c, i));
    }
}

}  // namespace blend

void fill_span(const frame_view& view, size_t offset, size_t count, colour c) {
    static const blend::kernel_fn run = blend::active().run;
    blend::fill_span_with(run, view, offset, count, c);
}

}  // namespace tamber
