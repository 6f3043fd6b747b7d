#include "draw/frame_image.h"

#include <algorithm>
#include <cstring>

namespace tamber {

frame_image::frame_image(int32_t width, int32_t height) : width_(width), height_(height) {
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (auto& plane : planes_) plane.assign(bytes, 0);
}

frame_image::~frame_image() {
    // Freed plane 2 first, then 1, then 0.
    for (int i = 2; i >= 0; --i) std::vector<uint8_t>().swap(planes_[i]);
}

frame_view frame_image::view() {
    frame_view v{};
    v.width = width_;
    v.height = height_;
    v.pitch = width_;
    for (int i = 0; i < 3; ++i) v.plane[i] = planes_[i].data();
    return v;
}

namespace reference {
void fill_span(const frame_view& view, size_t offset, size_t count, colour c) {
    const uint32_t a = c >> 24;
    if (a == 0) return;
    for (int i = 0; i < 3; ++i) {
        // Plane 0 takes blue (bits 16-23), plane 1 green, plane 2 red.
        const uint32_t component = (c >> (16 - 8 * i)) & 0xFF;
        uint8_t* p = view.plane[i] + offset;
        if (a == 255) {
            for (size_t n = 0; n < count; ++n) p[n] = static_cast<uint8_t>(component);
            continue;
        }
        for (size_t n = 0; n < count; ++n) {
            const uint32_t v = ((p[n] * (255 - a)) >> 8) + component;
            p[n] = static_cast<uint8_t>(std::min<uint32_t>(v, 255));
        }
    }
}
}  // namespace reference

void fill_span(const frame_view& view, size_t offset, size_t count, colour c) {
    reference::fill_span(view, offset, count, c);
}

void fill_rect(const frame_view& view, int32_t left, int32_t top, int32_t right, int32_t bottom, colour c) {
    if ((c >> 24) == 0) return;
    if (left >= view.width || top >= view.height || right <= 0 || bottom <= 0) return;
    const int32_t x0 = std::max(left, 0), x1 = std::min(right, view.width);
    const int32_t y0 = std::max(top, 0), y1 = std::min(bottom, view.height);
    if (x0 >= x1 || y0 >= y1) return;
    for (int32_t y = y0; y < y1; ++y)
        fill_span(view, static_cast<size_t>(y) * static_cast<size_t>(view.pitch) + static_cast<size_t>(x0),
                  static_cast<size_t>(x1 - x0), c);
}

void draw_rect(const frame_view& view, rect r, colour fill, colour border) {
    if (fill == border) {
        fill_rect(view, r.left, r.top, r.right, r.bottom, fill);
        return;
    }
    fill_rect(view, r.left, r.top, r.right, r.top + 1, border);
    fill_rect(view, r.left, r.bottom - 1, r.right, r.bottom, border);
    fill_rect(view, r.left, r.top, r.left + 1, r.bottom, border);
    fill_rect(view, r.right - 1, r.top, r.right, r.bottom, border);
    fill_rect(view, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, fill);
}

}  // namespace tamber
