#include "canvas.h"

#include "assets.h"

#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lobby {

colour mix(colour a, colour b, int32_t t) {
    auto one = [t](uint8_t from, uint8_t to) {
        return uint8_t(from + ((int32_t(to) - int32_t(from)) * t) / 256);
    };
    return colour{one(a.r, b.r), one(a.g, b.g), one(a.b, b.b)};
}

colour scale(colour c, int32_t t) {
    auto one = [t](uint8_t v) {
        const int32_t s = (int32_t(v) * t) >> 8;
        return uint8_t(s > 255 ? 255 : (s < 0 ? 0 : s));
    };
    return colour{one(c.r), one(c.g), one(c.b)};
}

int32_t isqrt(int64_t n) {
    if (n <= 0) return 0;
    // The double's root is within one of the answer for every n the lobby
    // passes (and far beyond); the two loops make it exact. Discs and rounded
    // corners take one root a row, so this is worth a bit of care.
    int64_t s = int64_t(std::sqrt(double(n)));
    while (s > 0 && s * s > n) --s;
    while ((s + 1) * (s + 1) <= n) ++s;
    return int32_t(s);
}

canvas::canvas(frame_view *view) {
    if (view == nullptr) return;
    if (view->width <= 0 || view->height <= 0 || view->pitch < view->width) return;
    if (!view->plane[0] || !view->plane[1] || !view->plane[2]) return;
    width_ = view->width;
    height_ = view->height;
    pitch_ = view->pitch;
    for (int p = 0; p < 3; ++p) planes_[p] = view->plane[p];
    usable_ = true;
}

void canvas::span(int32_t x0, int32_t x1, int32_t y, colour c, uint8_t alpha) {
    if (!usable_ || alpha == 0 || y < 0 || y >= height_) return;
    if (x0 < 0) x0 = 0;
    if (x1 > width_) x1 = width_;
    if (x0 >= x1) return;
    const uint8_t component[3] = {c.b, c.g, c.r};
    for (int p = 0; p < 3; ++p) {
        uint8_t *out = row(p, y);
        const uint8_t v = component[p];
        if (alpha == 255) {
            for (int32_t x = x0; x < x1; ++x) out[x] = v;
        } else {
            blend_row(out + x0, x1 - x0, v, alpha);
        }
    }
}

void blend_row(uint8_t *out, int32_t count, uint8_t value, uint8_t alpha) {
    // With n = out * (255 - alpha) + value * alpha and t = n + 128,
    // (t + (t >> 8)) >> 8 is n / 255 rounded, for every n up to 255 * 255;
    // t + (t >> 8) stays below 65,536, so all of it fits in 16-bit lanes:
    // sixteen pixels per step where SSE2 is there (always on x86-64; a
    // 32-bit build may lack it).
    const uint16_t keep = uint16_t(255u - alpha), add = uint16_t(value * alpha + 128u);
    int32_t x = 0;
#if defined(__SSE2__)
    const __m128i keep8 = _mm_set1_epi16(int16_t(keep)), add8 = _mm_set1_epi16(int16_t(add));
    const __m128i zero = _mm_setzero_si128();
    auto blend8 = [&](__m128i p) {
        const __m128i t = _mm_add_epi16(_mm_mullo_epi16(p, keep8), add8);
        return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    };
    for (; x + 16 <= count; x += 16) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(out + x));
        const __m128i lo = blend8(_mm_unpacklo_epi8(p, zero)), hi = blend8(_mm_unpackhi_epi8(p, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x), _mm_packus_epi16(lo, hi));
    }
#endif
    for (; x < count; ++x) {
        const uint32_t t = out[x] * uint32_t(keep) + add;
        out[x] = uint8_t((t + (t >> 8)) >> 8);
    }
}

void canvas::fill(rect r, colour c, uint8_t alpha) {
    if (r.top < 0) r.top = 0;
    if (r.bottom > height_) r.bottom = height_;
    for (int32_t y = r.top; y < r.bottom; ++y) span(r.left, r.right, y, c, alpha);
}

void canvas::frame(rect r, colour c, int32_t thickness, uint8_t alpha) {
    if (r.width() <= 0 || r.height() <= 0 || thickness <= 0) return;
    if (thickness * 2 >= r.width() || thickness * 2 >= r.height()) {
        fill(r, c, alpha);
        return;
    }
    fill(rect{r.left, r.top, r.right, r.top + thickness}, c, alpha);
    fill(rect{r.left, r.bottom - thickness, r.right, r.bottom}, c, alpha);
    fill(rect{r.left, r.top + thickness, r.left + thickness, r.bottom - thickness}, c, alpha);
    fill(rect{r.right - thickness, r.top + thickness, r.right, r.bottom - thickness}, c, alpha);
}

void canvas::fill_rounded(rect r, int32_t radius, colour c, uint8_t alpha) {
    rounded_rows(r, radius, c, c, alpha);
}

void canvas::fill_rounded_gradient(rect r, int32_t radius, colour top, colour bottom) {
    rounded_rows(r, radius, top, bottom, 255);
}

void canvas::rounded_rows(rect r, int32_t radius, colour top, colour bottom, uint8_t alpha) {
    if (r.width() <= 0 || r.height() <= 0) return;
    if (radius * 2 > r.width()) radius = r.width() / 2;
    if (radius * 2 > r.height()) radius = r.height() / 2;
    if (radius < 0) radius = 0;
    const int32_t y0 = r.top < 0 ? 0 : r.top;
    const int32_t y1 = r.bottom > height_ ? height_ : r.bottom;
    for (int32_t y = y0; y < y1; ++y) {
        // Rows inside a corner band are narrowed by how far the arc of a
        // circle centred `radius` in from the corner lies from the edge.
        int32_t from_edge = -1;
        if (y < r.top + radius) from_edge = y - r.top;
        else if (y >= r.bottom - radius) from_edge = r.bottom - 1 - y;
        int32_t inset = 0;
        if (from_edge >= 0) {
            // Doubled units: the row's middle is 2*(radius-from_edge)-1 half
            // pixels from the arc's centre.
            const int64_t dy2 = 2 * int64_t(radius - from_edge) - 1;
            const int32_t dx2 = isqrt(int64_t(4) * radius * radius - dy2 * dy2);
            inset = radius - (dx2 + 1) / 2;
        }
        const colour c = mix(top, bottom, int32_t((int64_t(y - r.top) * 256) / r.height()));
        span(r.left + inset, r.right - inset, y, c, alpha);
    }
}

void canvas::fill_disc(int32_t cx, int32_t cy, int32_t radius, colour c, uint8_t alpha) {
    if (radius <= 0) return;
    for (int32_t dy = -radius; dy <= radius; ++dy) {
        const int32_t y = cy + dy;
        if (y < 0 || y >= height_) continue;
        const int32_t half = isqrt(int64_t(radius) * radius - int64_t(dy) * dy + radius / 2);
        span(cx - half, cx + half + 1, y, c, alpha);
    }
}

void canvas::gradient(rect r, colour top, colour bottom) {
    const int32_t h = r.height();
    if (h <= 0) return;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        if (y < 0 || y >= height_) continue;
        span(r.left, r.right, y, mix(top, bottom, int32_t((int64_t(y - r.top) * 256) / h)));
    }
}

void canvas::blit(const image &picture, rect from, int32_t x, int32_t y, colour key) {
    if (!usable_) return;
    // Clip the source rectangle to the picture, then to the part that lands
    // on the canvas (in 64 bits: the coordinates may be anything).
    int64_t left = from.left < 0 ? 0 : from.left, top = from.top < 0 ? 0 : from.top;
    int64_t right = from.right > picture.width ? picture.width : from.right;
    int64_t bottom = from.bottom > picture.height ? picture.height : from.bottom;
    int64_t to_x = int64_t(x) + (left - from.left), to_y = int64_t(y) + (top - from.top);
    if (to_x < 0) { left -= to_x; to_x = 0; }
    if (to_y < 0) { top -= to_y; to_y = 0; }
    if (right - left > width_ - to_x) right = left + (width_ - to_x);
    if (bottom - top > height_ - to_y) bottom = top + (height_ - to_y);
    if (right <= left || bottom <= top) return;
    for (int64_t sy = top; sy < bottom; ++sy) {
        const colour *in = &picture.pixels[sy * picture.width + left];
        const int32_t dy = int32_t(to_y + (sy - top));
        uint8_t *blue = row(0, dy) + to_x, *green = row(1, dy) + to_x, *red = row(2, dy) + to_x;
        for (int64_t i = 0; i < right - left; ++i) {
            const colour p = in[i];
            if (p.r == key.r && p.g == key.g && p.b == key.b) continue;
            blue[i] = p.b;
            green[i] = p.g;
            red[i] = p.r;
        }
    }
}

} // namespace lobby
