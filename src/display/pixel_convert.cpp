// The pixel converters: choosing one for a surface format, and the scalar
// rule. Each frame converts 480,000 pixels, so every converter has packed
// versions, one file per instruction set (pixel_convert_sse2.cpp, _ssse3,
// _avx2, _wasm), that work on sixteen (or thirty-two) pixels per step; each
// packed loop finishes the row's last pixels with the scalar rule
// (pixel_rule.h), so any width works. The scalar routines are the rule as written and what
// the tests compare the packed ones against.
#include "display/pixel_convert.h"

#include "cpu/cpu_features.h"
#include "display/pixel_rule.h"

namespace tamber {

using namespace convert;

namespace {

constexpr converter_set scalar_set{"scalar",
                                   bgrx32_scalar,
                                   swapped<bgrx32_scalar>,
                                   bgr24_scalar,
                                   swapped<bgr24_scalar>,
                                   general16_scalar,
                                   general24_scalar,
                                   general32_scalar,
                                   nullptr,
                                   rgba32_scalar};

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
    sets.push_back(convert::sse2_set);
    if (cpu_has(cpu_feature::ssse3)) sets.push_back(convert::ssse3_set);
    if (cpu_has(cpu_feature::avx2)) sets.push_back(convert::avx2_set);
#endif
#if TAMBER_CONVERT_WASM
    // A module built with SIMD instructions loads only where they run.
    sets.push_back(convert::wasm_set);
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

converter rgba_converter() {
    const ddraw::pixel_format rgba{ddraw::pf_rgb, 32, 0x0000FF, 0x00FF00, 0xFF0000, 0xFF000000};
    return {"rgba32", active_converters().rgba32, layout_for(rgba)};
}

}  // namespace tamber
