// The progress screen the bootstrap applet shows while the game files are
// brought up to date: a dark panel in the middle of the frame with an
// animated activity indicator on its left, the status line (with the
// download percentage) and, after a failure, the file concerned.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "draw/font_engine.h"
#include "draw/frame_image.h"
#include "update/updater.h"

namespace tamber {

// What the screen shows of the updater.
struct progress_status {
    uint32_t state = 0;
    uint32_t step_count = 0;
    uint32_t total_bytes = 0;
    uint32_t done_bytes = 0;
    std::string current_name;
    std::string root_name;
    // Why a release was refused, where the file name alone does not say
    // (updater::failure_detail); shown in the file line's place.
    std::string detail;
};

// The objects the host's own text is drawn with; the shell owns them.
struct text_resources {
    const font& large_font;
    const font& small_font;
    render_bitmap& bitmap;
};

// Panel, activity bars, the status line `message` centred on (cx + 8, cy)
// and, in the failure states, "File: " and the name (or the detail, when
// there is one) centred on (cx + 8, cy + 30). (cx, cy) is the centre of the frame.
void draw_progress_screen(const progress_status& status, const frame_view& view, int32_t cx, int32_t cy,
                          std::u16string_view message, const text_resources& text);

// The five bars of the indicator around (x, y); `phase` (the updater's
// step count) lights one of them, moving down and back up over ten phases.
void draw_activity_bars(const frame_view& view, int32_t x, int32_t y, uint32_t phase);

// The status line: the message, with " N%" appended while checking or
// downloading once the total is known.
std::u16string progress_status_line(const progress_status& status, std::u16string_view message);

inline progress_status progress_of(const updater& u) {
    return {u.state(),        u.step_count(), u.total_bytes(),    u.done_bytes(),
            u.current_name(), u.root_name(),  u.failure_detail()};
}

inline void draw_progress_screen(const updater& u, const frame_view& view, int32_t cx, int32_t cy,
                                 std::u16string_view message, const text_resources& text) {
    draw_progress_screen(progress_of(u), view, cx, cy, message, text);
}

}  // namespace tamber
