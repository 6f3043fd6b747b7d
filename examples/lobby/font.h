// The lobby's own bitmap font: printable ASCII (32-126), each glyph five
// pixels wide and nine tall (seven above the baseline, two for descenders),
// drawn in a cell six pixels wide and ten tall. Text is drawn at an integer
// scale; from scale 2 on, diagonal steps are filled in so large text looks
// smooth rather than blocky. Characters outside 32-126 draw as '?'.
#pragma once

#include <cstdint>

#include "canvas.h"

namespace lobby {

constexpr int32_t glyph_advance = 6; // cell width, pixels at scale 1
constexpr int32_t glyph_height = 10; // cell height, pixels at scale 1
constexpr int32_t cap_height = 7;    // height of capitals and digits

// Width in pixels of the text at the scale (no trailing spacing column).
int32_t text_width(const char *text, int32_t scale);

// Draws the text with its cell's top-left corner at (x, y).
void draw_text(canvas &c, int32_t x, int32_t y, const char *text, int32_t scale, colour ink);

// The same with a dark copy `shadow` pixels down and to the right first.
void draw_text_shadowed(canvas &c, int32_t x, int32_t y, const char *text, int32_t scale, colour ink,
                        colour shadow_ink, int32_t shadow);

// Centred horizontally on cx.
void draw_text_centred(canvas &c, int32_t cx, int32_t y, const char *text, int32_t scale, colour ink);

} // namespace lobby
