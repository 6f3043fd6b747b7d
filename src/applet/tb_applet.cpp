#include "applet/tb_applet.h"

#include "draw/frame_image.h"

namespace tamber {

void tb_applet::start_update() { step_count_ = 0; }

void tb_applet::update(uint32_t) { ++step_count_; }

void tb_applet::render(uint32_t, frame_view* frame, int32_t, int32_t) {
    draw_rect(*frame, {0, 0, frame->width, frame->height}, 0xFF000025, 0xFF000025);
    const int32_t cx = frame->width / 2, cy = frame->height / 2;
    draw_rect(*frame, {cx - 240, cy - 48, cx + 240, cy + 48}, 0xC0000000, 0xFF90D8FE);
    uint32_t k = step_count_ % 10;
    if (k >= 5) k = 9 - k;
    for (int32_t i = 0; i < 5; ++i) {
        const colour c = static_cast<uint32_t>(i) == k ? 0xFF90D8FE : 0xFF2B4065;
        const int32_t x = cx - 212;
        draw_rect(*frame, {x - 8, cy - 9 + 4 * i, x + 8, cy - 7 + 4 * i}, c, c);
    }
}

}  // namespace tamber
