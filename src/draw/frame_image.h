// The frame image: the planar 800 x 600 picture every applet draws into, and
// the blending fills the host's own screens are built from.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tamber_applet.h"

namespace tamber {

using colour = uint32_t;  // opacity << 24 | blue << 16 | green << 8 | red

// Three 8-bit planes (0 blue, 1 green, 2 red) of width x height bytes each,
// rows back to back. Allocated once, all zero (black); the size never
// changes.
class frame_image {
public:
    frame_image(int32_t width, int32_t height);
    ~frame_image();
    frame_image(const frame_image&) = delete;
    frame_image& operator=(const frame_image&) = delete;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    uint8_t* plane(int index) { return planes_[index].data(); }
    const uint8_t* plane(int index) const { return planes_[index].data(); }

    // A fresh view for one call: width, height, pitch = width, the three
    // plane pointers, every other word 0.
    frame_view view();

private:
    int32_t width_;
    int32_t height_;
    std::vector<uint8_t> planes_[3];
};

// Blends `colour` over `count` pixels of one row starting at byte `offset`
// of every plane. Opacity 255 stores the components, 0 changes nothing,
// otherwise p = min(255, ((p * (255 - a)) >> 8) + c).
void fill_span(const frame_view& view, size_t offset, size_t count, colour c);

// Blends `colour` over the rectangle [left, right) x [top, bottom), clipped
// to the frame.
void fill_rect(const frame_view& view, int32_t left, int32_t top, int32_t right, int32_t bottom, colour c);

struct rect {
    int32_t left, top, right, bottom;
};

// A filled rectangle with a one-pixel border; when fill == border, one plain
// fill. The border's corners are blended twice.
void draw_rect(const frame_view& view, rect r, colour fill, colour border);

namespace reference {
// The per-byte rule, one byte at a time: what the packed paths must match.
// Kept a plain byte loop (the compiler is told not to vectorise it), so that
// benchmarks compare the packed paths against the rule as written.
void fill_span(const frame_view& view, size_t offset, size_t count, colour c);
}  // namespace reference

// The translucent step of fill_span on one plane, and the packed versions of
// it, exposed so that tests can check each one against the reference and
// benchmarks can time each one.
namespace blend {

// p = min(255, ((p * (255 - a)) >> 8) + c) for `count` bytes from p, where
// 0 < a < 255 and c <= 255.
using kernel_fn = void (*)(uint8_t* p, size_t count, uint32_t a, uint32_t c);

struct kernel {
    const char* name;  // "scalar", "sse2", "avx2"
    kernel_fn run;
};

// The packed kernels this build has and this processor can run, narrowest
// first ("sse2", then "avx2"); empty on builds without SSE2.
std::vector<kernel> packed_kernels();

// The kernel fill_span uses, chosen once: the widest packed kernel, or the
// byte loop where there is none.
kernel active();

// fill_span with the translucent case done by `run`.
void fill_span_with(kernel_fn run, const frame_view& view, size_t offset, size_t count, colour c);

}  // namespace blend

}  // namespace tamber
