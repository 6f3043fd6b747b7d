#include "draw/frame_image.h"

#include <algorithm>
#include <limits>

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

namespace {
// r.top + 1 and the like, held at the end of the range instead of
// overflowing: an edge that far out lies off the frame either way.
int32_t next(int32_t v) { return v == std::numeric_limits<int32_t>::max() ? v : v + 1; }
int32_t previous(int32_t v) { return v == std::numeric_limits<int32_t>::min() ? v : v - 1; }
}  // namespace

void draw_rect(const frame_view& view, rect r, colour fill, colour border) {
    if (fill == border) {
        fill_rect(view, r.left, r.top, r.right, r.bottom, fill);
        return;
    }
    // The edges overlap at the corners, which a translucent border therefore
    // blends twice.
    fill_rect(view, r.left, r.top, r.right, next(r.top), border);
    fill_rect(view, r.left, previous(r.bottom), r.right, r.bottom, border);
    fill_rect(view, r.left, r.top, next(r.left), r.bottom, border);
    fill_rect(view, previous(r.right), r.top, r.right, r.bottom, border);
    fill_rect(view, next(r.left), next(r.top), previous(r.right), previous(r.bottom), fill);
}

}  // namespace tamber
