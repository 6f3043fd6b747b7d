#include "draw/text.h"

#include <algorithm>
#include <cwctype>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tamber {

namespace {

constexpr int32_t max_wrap_width = 2048;

bool is_space(char16_t u) { return std::iswspace(static_cast<wint_t>(u)) != 0; }

// The text up to its first NUL unit.
std::u16string_view until_nul(std::u16string_view text) {
    const size_t nul = text.find(u'\0');
    return nul == std::u16string_view::npos ? text : text.substr(0, nul);
}

// From the end of one line to the start of the next: white space other
// than line feeds, then at most one line feed and the white space after
// it. A second line feed stays: it starts an empty line.
const char16_t* next_line(const char16_t* p, const char16_t* end) {
    while (p != end && *p != u'\n' && is_space(*p)) ++p;
    if (p != end && *p == u'\n') {
        ++p;
        while (p != end && *p != u'\n' && is_space(*p)) ++p;
    }
    return p;
}

// One measuring or drawing pass; null when the font or the bitmap could
// not be made (then nothing is measured or drawn).
std::unique_ptr<text_context> open_context(const font& f, render_bitmap& bitmap) {
    if (f.get() == nullptr || bitmap.get() == nullptr || &f.engine() != &bitmap.engine()) return nullptr;
    return f.engine().open(*f.get(), *bitmap.get());
}

int32_t line_height(text_context& dc) { return dc.measure(u" ").height; }

struct clip_box {
    int32_t x0, x1, y0, y1;
};

// The part of the w x h rectangle at (x, y) inside the view; false when
// nothing is. Computed in 64 bits so far-off positions cannot overflow.
bool clip(const frame_view& view, int32_t w, int32_t h, int32_t x, int32_t y, clip_box& out) {
    const int64_t right = int64_t{x} + w, bottom = int64_t{y} + h;
    if (x >= view.width || y >= view.height || right <= 0 || bottom <= 0) return false;
    out.x0 = std::max(x, 0);
    out.x1 = static_cast<int32_t>(std::min<int64_t>(right, view.width));
    out.y0 = std::max(y, 0);
    out.y1 = static_cast<int32_t>(std::min<int64_t>(bottom, view.height));
    return out.x0 < out.x1 && out.y0 < out.y1;
}

inline uint8_t blend_byte(uint32_t p, uint32_t c, uint32_t k) {
    return static_cast<uint8_t>((p * (255 - c) + c * k) >> 8);
}

void blend_row_scalar(const uint8_t* src, uint8_t* b, uint8_t* g, uint8_t* r, size_t n, uint32_t kb, uint32_t kg,
                      uint32_t kr) {
    for (size_t i = 0; i < n; ++i) {
        const uint32_t c = src[3 * i];
        b[i] = blend_byte(b[i], c, kb);
        g[i] = blend_byte(g[i], c, kg);
        r[i] = blend_byte(r[i], c, kr);
    }
}

#if defined(__SSE2__)

// Sixteen coverage bytes from 48 bitmap bytes (bytes 0, 3, ..., 45) with
// SSE2 alone. One round interleaves the first 24 bytes with the last 24,
// which moves byte j to position 2j mod 47; four rounds move it to 16j mod
// 47, and 16 * 3i = 48i = i (mod 47), so byte 3i lands at position i.
inline __m128i gather_coverage(const uint8_t* src) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 32));
    for (int round = 0; round < 3; ++round) {
        const __m128i t0 = _mm_unpacklo_epi8(a, _mm_unpackhi_epi64(b, b));
        const __m128i t1 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(a, a), c);
        const __m128i t2 = _mm_unpacklo_epi8(b, _mm_unpackhi_epi64(c, c));
        a = t0;
        b = t1;
        c = t2;
    }
    return _mm_unpacklo_epi8(a, _mm_unpackhi_epi64(b, b));
}

// (p * (255 - c) + c * k) >> 8 for sixteen bytes; every 16-bit lane holds
// at most 255 * 255, so the sums cannot wrap.
inline __m128i blend16(__m128i p, __m128i cov_lo, __m128i cov_hi, __m128i inv_lo, __m128i inv_hi, __m128i k) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(p, zero), inv_lo), _mm_mullo_epi16(cov_lo, k));
    const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(p, zero), inv_hi), _mm_mullo_epi16(cov_hi, k));
    return _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8));
}

void blend_row(const uint8_t* src, uint8_t* b, uint8_t* g, uint8_t* r, size_t n, uint32_t kb, uint32_t kg,
               uint32_t kr) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i vb = _mm_set1_epi16(static_cast<int16_t>(kb));
    const __m128i vg = _mm_set1_epi16(static_cast<int16_t>(kg));
    const __m128i vr = _mm_set1_epi16(static_cast<int16_t>(kr));
    size_t i = 0;
    // Whole groups of sixteen pixels only: the loads never pass the last
    // pixel of the row.
    for (; i + 16 <= n; i += 16) {
        const __m128i cov = gather_coverage(src + 3 * i);
        const __m128i cov_lo = _mm_unpacklo_epi8(cov, zero), cov_hi = _mm_unpackhi_epi8(cov, zero);
        const __m128i inv_lo = _mm_sub_epi16(full, cov_lo), inv_hi = _mm_sub_epi16(full, cov_hi);
        auto* pb = reinterpret_cast<__m128i*>(b + i);
        auto* pg = reinterpret_cast<__m128i*>(g + i);
        auto* pr = reinterpret_cast<__m128i*>(r + i);
        _mm_storeu_si128(pb, blend16(_mm_loadu_si128(pb), cov_lo, cov_hi, inv_lo, inv_hi, vb));
        _mm_storeu_si128(pg, blend16(_mm_loadu_si128(pg), cov_lo, cov_hi, inv_lo, inv_hi, vg));
        _mm_storeu_si128(pr, blend16(_mm_loadu_si128(pr), cov_lo, cov_hi, inv_lo, inv_hi, vr));
    }
    blend_row_scalar(src + 3 * i, b + i, g + i, r + i, n - i, kb, kg, kr);
}

#else

void blend_row(const uint8_t* src, uint8_t* b, uint8_t* g, uint8_t* r, size_t n, uint32_t kb, uint32_t kg,
               uint32_t kr) {
    blend_row_scalar(src, b, g, r, n, kb, kg, kr);
}

#endif

template <typename Row>
void blend_rect(Row row, const uint8_t* pixels, int32_t w, int32_t h, size_t stride, const frame_view& view, int32_t x,
                int32_t y, colour c) {
    clip_box box;
    if (pixels == nullptr || !clip(view, w, h, x, y, box)) return;
    const uint32_t kb = (c >> 16) & 0xFF, kg = (c >> 8) & 0xFF, kr = c & 0xFF;
    const uint8_t* src =
        pixels + static_cast<size_t>(box.y0 - y) * stride + static_cast<size_t>(box.x0 - x) * 3;
    size_t offset = static_cast<size_t>(box.y0) * static_cast<size_t>(view.pitch) + static_cast<size_t>(box.x0);
    const size_t n = static_cast<size_t>(box.x1 - box.x0);
    for (int32_t row_y = box.y0; row_y < box.y1; ++row_y) {
        row(src, view.plane[0] + offset, view.plane[1] + offset, view.plane[2] + offset, n, kb, kg, kr);
        src += stride;
        offset += static_cast<size_t>(view.pitch);
    }
}

}  // namespace

line_fit fit_line(text_context& dc, const char16_t* start, const char16_t* end, int32_t max_width) {
    int32_t width = 0;
    const char16_t* pos = start;  // end of the words accepted so far
    for (;;) {
        const char16_t* p = pos;
        while (p != end && *p != u'\n' && is_space(*p)) ++p;
        if (p == end) return {p, width};
        if (*p == u'\n') return {pos, width};
        while (p != end && !is_space(*p)) ++p;
        const int32_t m = dc.measure(std::u16string_view(start, static_cast<size_t>(p - start))).width;
        if (m > max_width) {
            // A first word that does not fit is taken whole.
            if (pos == start) return {p, m};
            return {pos, width};
        }
        pos = p;
        width = m;
    }
}

text_extent measure_text(std::u16string_view text, const font& f, render_bitmap& bitmap, int32_t wrap_width) {
    text = until_nul(text);
    if (wrap_width == 0 || wrap_width > max_wrap_width) wrap_width = max_wrap_width;
    const auto dc = open_context(f, bitmap);
    if (!dc) return {};
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    const int32_t lh = line_height(*dc);
    text_extent block;
    while (p != end) {
        const line_fit line = fit_line(*dc, p, end, wrap_width);
        // A run that ends the text with width 0 is not a line; an empty line
        // between two line feeds is.
        if (line.end != end || line.width != 0) {
            block.width = std::max(block.width, line.width);
            block.height += lh;
        }
        p = next_line(line.end, end);
    }
    return block;
}

void render_text(const frame_view& view, render_bitmap& bitmap, std::u16string_view text, int32_t x, int32_t y,
                 int32_t max_width, const font& f, colour c, uint32_t flags) {
    text = until_nul(text);
    const auto dc = open_context(f, bitmap);
    if (!dc) return;
    int32_t descent = 0;
    if ((flags & text_baseline) != 0 && dc->descent(descent)) y += descent;
    const char16_t* p = text.data();
    const char16_t* const end = p + text.size();
    const int32_t lh = line_height(*dc);
    const uint8_t* pixels = bitmap.pixels();
    while (p != end) {
        const line_fit line = fit_line(*dc, p, end, max_width);
        if (line.width != 0) {
            const int32_t right = std::min(line.width, text_bitmap_width);
            const int32_t bottom = std::min(lh, text_bitmap_height);
            dc->render(std::u16string_view(p, static_cast<size_t>(line.end - p)), right, bottom);
            blend_coverage(pixels, right, bottom, text_bitmap_stride, view, x, y, c);
        }
        // Lines of width 0 draw nothing but still take their height.
        if (line.end != end || line.width != 0) y += lh;
        p = next_line(line.end, end);
    }
}

void blend_coverage(const uint8_t* pixels, int32_t w, int32_t h, size_t stride, const frame_view& view, int32_t x,
                    int32_t y, colour c) {
    blend_rect(blend_row, pixels, w, h, stride, view, x, y, c);
}

namespace reference {
void blend_coverage(const uint8_t* pixels, int32_t w, int32_t h, size_t stride, const frame_view& view, int32_t x,
                    int32_t y, colour c) {
    blend_rect(blend_row_scalar, pixels, w, h, stride, view, x, y, c);
}
}  // namespace reference

void draw_text(const frame_view& view, render_bitmap& bitmap, std::u16string_view text, int32_t x, int32_t y,
               int32_t max_width, const font& f, uint32_t flags, colour c, colour c2) {
    text = until_nul(text);
    if (text.empty()) return;
    const int32_t mw = (max_width == 0 || max_width > max_wrap_width) ? max_wrap_width : max_width;
    if (flags == 0) {
        render_text(view, bitmap, text, x, y, mw, f, c, 0);
        return;
    }
    const text_extent block = measure_text(text, f, bitmap, mw);
    const int32_t w = block.width, h = block.height;

    if ((flags & text_right) != 0)
        x -= w;
    else if ((flags & text_centre) != 0)
        x -= w / 2;
    if ((flags & text_clamp_x) != 0) {
        if (x < 0 || w > view.width)
            x = 0;
        else if (x + w > view.width)
            x = view.width - w;
    }

    if ((flags & (text_bottom | text_baseline)) != 0)
        y -= h;
    else if ((flags & text_middle) != 0)
        y -= h / 2;
    if ((flags & text_clamp_y) != 0) {
        if (y < 0 || h > view.height)
            y = 0;
        else if (y + h > view.height)
            y = view.height - h;
    }

    // The rendering passes wrap at the measured width.
    if ((flags & text_outline) != 0) {
        render_text(view, bitmap, text, x, y - 1, w, f, c2, flags);
        render_text(view, bitmap, text, x - 1, y, w, f, c2, flags);
        render_text(view, bitmap, text, x + 1, y, w, f, c2, flags);
        render_text(view, bitmap, text, x, y + 1, w, f, c2, flags);
    } else if ((flags & text_box) != 0) {
        draw_rect(view, {x - 4, y - 3, x + w + 4, y + h + 3}, c2, c);
    }
    render_text(view, bitmap, text, x, y, w, f, c, flags);
}

std::u16string widen_bytes(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (const char b : bytes) out.push_back(static_cast<char16_t>(static_cast<signed char>(b)));
    return out;
}

}  // namespace tamber
