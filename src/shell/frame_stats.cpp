#include "shell/frame_stats.h"

namespace tamber {

frame_stats::frame_stats(const char* path, uint32_t start_ms, const updater& update, const applet& library)
    : file_(path && *path ? std::fopen(path, "w") : nullptr), start_ms_(start_ms), update_(update), library_(library) {}

void frame_stats::frame_presented(uint32_t now_ms) {
    if (!file_) return;
    ++frames_;
    // The first frame always; then a line per interval (unsigned
    // differences, so the timer's wrap is harmless).
    if (frames_ > 1 && now_ms - last_report_ms_ < report_interval_ms) return;
    last_report_ms_ = now_ms;
    std::fprintf(file_.get(), "%u %llu %d %u %u %u\n", now_ms - start_ms_, static_cast<unsigned long long>(frames_),
                 library_.is_loaded() ? 1 : 0, update_.state(), update_.done_bytes(), update_.total_bytes());
    std::fflush(file_.get());
}

}  // namespace tamber
