// The text rasterizer: word-wrapped UTF-16 text drawn into the planar frame.
// Each line is rendered white on black by the font engine into the text
// bitmap, whose brightness is then blended into the frame as coverage in
// the wanted colour. On top: alignment of the whole block around a point,
// clamping into the frame, an outline and a box.
//
// Text is taken up to its first NUL unit. White space is what iswspace
// accepts; a line feed also breaks the line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "draw/font_engine.h"
#include "draw/frame_image.h"

namespace tamber {

// draw_text flags. With none, (x, y) is the top-left corner of the first
// line.
enum text_flag : uint32_t {
    text_centre = 0x01,      // x is the block's horizontal centre
    text_right = 0x02,       // x is the block's right edge (wins over centre)
    text_clamp_x = 0x04,     // keep the block inside the frame horizontally
    text_middle = 0x08,      // y is the block's vertical middle
    text_bottom = 0x10,      // y is the block's bottom
    text_clamp_y = 0x20,     // keep the block inside the frame vertically
    text_outline = 0x40,     // the text in colour2 at the four 1-pixel offsets first
    text_box = 0x80,         // a colour2 box with a border in the text colour behind
    text_baseline = 0x100,   // as bottom, then lowered by the descent: y is the last baseline
};

struct line_fit {
    const char16_t* end;  // end of the line
    int32_t width;        // its measured width
};

// The longest run of whole words from `start` that fits `max_width`; a
// first word that is too wide is taken whole. Stops before a line feed.
line_fit fit_line(text_context& dc, const char16_t* start, const char16_t* end, int32_t max_width);

// The wrapped block's widest line and total height. A wrapping width of 0
// or more than 2048 means 2048.
text_extent measure_text(std::u16string_view text, const font& f, render_bitmap& bitmap, int32_t wrap_width);

// Draws the wrapped lines from the top-left point (x, y); of the flags only
// text_baseline is used (every line is lowered by the font's descent).
void render_text(const frame_view& view, render_bitmap& bitmap, std::u16string_view text, int32_t x, int32_t y,
                 int32_t max_width, const font& f, colour c, uint32_t flags);

// Blends a w x h rectangle of a three-bytes-per-pixel bitmap into the frame
// at (x, y), clipped: each pixel's first byte is the coverage c, and every
// plane byte p with colour component k becomes (p * (255 - c) + c * k) >> 8.
// The colour's opacity is not used.
void blend_coverage(const uint8_t* pixels, int32_t w, int32_t h, size_t stride, const frame_view& view, int32_t x,
                    int32_t y, colour c);

// The entry point: wrapping width max_width (0 or more than 2048: 2048),
// placement and decorations by `flags`. Only the blue, green and red of the
// text colour (and of colour2 for the outline) are used; the box uses both
// colours whole.
void draw_text(const frame_view& view, render_bitmap& bitmap, std::u16string_view text, int32_t x, int32_t y,
               int32_t max_width, const font& f, uint32_t flags, colour c, colour c2);

// A byte string as UTF-16, one unit per byte, each byte taken as a signed
// character (only ASCII maps to itself), without any code page.
std::u16string widen_bytes(std::string_view bytes);

namespace reference {
// One byte at a time: what the packed blend must match.
void blend_coverage(const uint8_t* pixels, int32_t w, int32_t h, size_t stride, const frame_view& view, int32_t x,
                    int32_t y, colour c);
}  // namespace reference

}  // namespace tamber
