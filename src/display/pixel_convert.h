// Pixel converters: one row of the planar frame (plane 0 blue, 1 green,
// 2 red, one byte each per pixel) into a row of a DirectDraw surface in its
// pixel format. Direct converters shuffle bytes for the common 24- and
// 32-bit layouts; general converters shift and mask each channel into any
// 16-, 24- or 32-bit layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/directdraw.h"

namespace tamber {

// Where each plane's bits go in a pixel (index 0 blue, 1 green, 2 red):
// the channel's value is (byte >> loss) << shift.
struct channel_layout {
    uint32_t shift[3];  // position of the lowest set bit of the channel's mask
    uint32_t loss[3];   // low bits of the byte dropped; 8 for an empty mask
    uint32_t mask;      // the three masks together: no bit outside is set
    // For 16-bit pixels built a byte at a time: of each channel's value, the
    // bits that fall into the pixel's low byte and into its high byte.
    uint8_t low_byte_mask[3];
    uint8_t high_byte_mask[3];
};

// Converts `count` pixels: from p0, p1, p2 (blue, green, red) into `out`.
using convert_row_fn = void (*)(const uint8_t* p0, const uint8_t* p1, const uint8_t* p2, uint8_t* out, size_t count,
                                const channel_layout& layout);

struct converter {
    const char* name;     // "bgrx32", "rgbx32", "bgr24", "rgb24", "general16", "general24", "general32", "rgba32"
    convert_row_fn row;   // null: the format cannot be converted to
    channel_layout layout;
    explicit operator bool() const { return row != nullptr; }
};

// The channel layout of a surface format's red, green and blue masks.
channel_layout layout_for(const ddraw::pixel_format& format);

// The converter for a surface format, using the widest packed routines this
// processor runs: 16 bits any masks; 24 and 32 bits direct for red in the
// high or the low byte, general otherwise; none for other bit counts.
converter select_converter(const ddraw::pixel_format& format);

// One routine of each kind, all from the same instruction set.
struct converter_set {
    const char* name;  // "scalar", "sse2", "ssse3", "avx2", "wasm-simd128"
    convert_row_fn bgrx32, rgbx32, bgr24, rgb24, general16, general24, general32;
    // For the common 16-bit layouts (the table in pixel_rule.h: 5-6-5 and
    // 5-5-5 either way round, 4-4-4 with red high):
    // a faster routine for the layout, or null to use general16.
    convert_row_fn (*common16)(const channel_layout& layout);
    // Red, green, blue, then 255: the bytes of a browser canvas's image
    // data, which takes the fourth byte as opacity (rgbx32's zero would be
    // transparent). No surface format selects it; rgba_converter does.
    convert_row_fn rgba32;
};

// select_converter with the routines of `set`.
converter select_converter_from(const converter_set& set, const ddraw::pixel_format& format);

// The one-pixel-at-a-time routines: the rule the packed ones must match.
const converter_set& scalar_converters();
// The packed sets this build has and this processor can run, narrowest
// first; empty where there are none.
std::vector<converter_set> packed_converters();
// The set select_converter uses, chosen once.
const converter_set& active_converters();

// The rgba32 converter of the active set, for a canvas's image data.
converter rgba_converter();

}  // namespace tamber
