// canvas: clipped drawing on the host's planar frame.
//
// The host hands applet_render a frame_view: three planes (blue, green, red),
// one byte per pixel each, rows `pitch` bytes apart. A canvas wraps one view
// for the duration of a render call and clips every shape to the view's
// width and height, so callers may pass any coordinates: negative, huge, or
// beyond a frame smaller than the 800 x 600 the lobby is laid out for.
// Nothing here allocates.
#pragma once

#include <cstdint>

#include "tamber_applet.h"

namespace lobby {

struct colour {
    uint8_t r = 0, g = 0, b = 0;
};

constexpr colour rgb(uint32_t hex) {
    return colour{uint8_t(hex >> 16), uint8_t(hex >> 8), uint8_t(hex)};
}

// a + (b - a) * t / 256, per component; t in 0..256.
colour mix(colour a, colour b, int32_t t);
// Component-wise scale by t / 256 (t = 256 keeps the colour).
colour scale(colour c, int32_t t);

// Left/top inclusive, right/bottom exclusive.
struct rect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;

    constexpr bool contains(int32_t x, int32_t y) const {
        return x >= left && x < right && y >= top && y < bottom;
    }
    constexpr int32_t width() const { return right - left; }
    constexpr int32_t height() const { return bottom - top; }
    constexpr rect inset(int32_t d) const { return rect{left + d, top + d, right - d, bottom - d}; }
    constexpr rect moved(int32_t dx, int32_t dy) const {
        return rect{left + dx, top + dy, right + dx, bottom + dy};
    }
};

// An RGB picture loaded from the lobby's assets (assets.h).
struct image;

class canvas {
public:
    // A view with a null plane, a non-positive size or a pitch narrower than
    // the width is unusable: every drawing call is then a no-op.
    explicit canvas(frame_view *view);

    bool usable() const { return usable_; }
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // alpha 255 is opaque, 0 leaves the frame as it is.
    void span(int32_t x0, int32_t x1, int32_t y, colour c, uint8_t alpha = 255);
    void fill(rect r, colour c, uint8_t alpha = 255);
    // One-pixel-wide outline inside r.
    void frame(rect r, colour c, int32_t thickness = 1, uint8_t alpha = 255);
    // Rectangle with quarter-circle corners of the given radius.
    void fill_rounded(rect r, int32_t radius, colour c, uint8_t alpha = 255);
    // The same, shaded from `top` at the first row to `bottom` at the last.
    void fill_rounded_gradient(rect r, int32_t radius, colour top, colour bottom);
    void fill_disc(int32_t cx, int32_t cy, int32_t radius, colour c, uint8_t alpha = 255);
    // Top-to-bottom gradient from `top` to `bottom` over r.
    void gradient(rect r, colour top, colour bottom);
    // Copies part of an image (source rectangle `from`) with its top-left at
    // (x, y); pixels of the key colour are left out (transparent).
    void blit(const image &picture, rect from, int32_t x, int32_t y, colour key);

    // Direct pixel access for the few effects that shade per pixel (the felt).
    // Rows are clipped by the caller: y in [0, height), x0/x1 within width.
    uint8_t *row(int plane, int32_t y) const { return planes_[plane] + int64_t(y) * pitch_; }

private:
    void rounded_rows(rect r, int32_t radius, colour top, colour bottom, uint8_t alpha);

    bool usable_ = false;
    int32_t width_ = 0, height_ = 0, pitch_ = 0;
    uint8_t *planes_[3] = {nullptr, nullptr, nullptr};
};

// Blends `value` over `count` bytes of one plane with straight alpha:
// each byte becomes (byte * (255 - alpha) + value * alpha) / 255, rounded.
void blend_row(uint8_t *out, int32_t count, uint8_t value, uint8_t alpha);

// Integer square root: the largest s with s * s <= n (n >= 0).
int32_t isqrt(int64_t n);

} // namespace lobby
