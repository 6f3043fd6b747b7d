#include "draw/progress_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "draw/text.h"

namespace tamber {

namespace {

constexpr colour panel_fill = 0xC0000000;
constexpr colour highlight = 0xFF90D8FE;  // panel border, lit bar, status line
constexpr colour shade = 0xFF2B4065;      // unlit bars, file line

// The name the file line shows: the root name when the update could not
// start or the root is not listed, the file being transferred or written
// when that failed; none otherwise.
const std::string* failed_name(const progress_status& status) {
    switch (status.state) {
    case failed_internet:
    case failed_root_missing:
        return &status.root_name;
    case failed_open:
    case failed_http_status:
    case failed_transfer:
    case failed_write:
        return &status.current_name;
    default:
        return nullptr;
    }
}

}  // namespace

std::u16string progress_status_line(const progress_status& status, std::u16string_view message) {
    std::u16string line(message);
    if ((status.state == checking || status.state == downloading) && status.total_bytes != 0) {
        // A server file larger than listed takes the value past 100; it is
        // shown as computed. Rounded half away from zero on every build.
        const double percent = static_cast<double>(status.done_bytes) * 100.0 / static_cast<double>(status.total_bytes);
        char buffer[32];
        const int n = std::snprintf(buffer, sizeof buffer, " %.0f%%", std::round(percent));
        if (n > 0) line += widen_bytes(std::string_view(buffer, static_cast<size_t>(std::min<int>(n, 31))));
    }
    return line;
}

void draw_activity_bars(const frame_view& view, int32_t x, int32_t y, uint32_t phase) {
    uint32_t k = phase % 10;
    if (k >= 5) k = 9 - k;
    for (int32_t i = 0; i < 5; ++i) {
        const colour c = static_cast<uint32_t>(i) == k ? highlight : shade;
        draw_rect(view, {x - 8, y - 9 + 4 * i, x + 8, y - 7 + 4 * i}, c, c);
    }
}

void draw_progress_screen(const progress_status& status, const frame_view& view, int32_t cx, int32_t cy,
                          std::u16string_view message, const text_resources& text) {
    draw_rect(view, {cx - 240, cy - 48, cx + 240, cy + 48}, panel_fill, highlight);
    draw_activity_bars(view, cx - 212, cy, status.step_count);
    message = message.substr(0, message.find(u'\0'));
    if (message.empty()) return;
    const std::u16string line = progress_status_line(status, message);
    draw_text(view, text.bitmap, line, cx + 8, cy, 0, text.large_font, text_centre | text_middle, highlight, 0);

    const std::string* name = failed_name(status);
    if (name == nullptr || name->empty()) return;
    const std::string file_line = status.detail.empty() ? "File: " + *name : status.detail;
    draw_text(view, text.bitmap, widen_bytes(file_line), cx + 8, cy + 30, 0, text.small_font, text_centre | text_middle,
              shade, 0);
}

}  // namespace tamber
