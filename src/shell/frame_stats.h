// Frame statistics for measuring the host from outside: the host built for
// measuring (quillon-measure.exe, CMake option TAMBER_MEASURE_HOST), with the
// environment variable TAMBER_FRAME_STATS naming a file, writes
// a line there at its first presented frame and then at most every quarter
// of a second:
//
//   <ms since start> <frames presented> <lobby> <update state> <done bytes> <total bytes>
//
// <lobby> is 1 once the lobby library is the current applet; the update
// figures are the bootstrap applet's updater's. A script reads the frame
// rate, the download's progress and the time to the first frame from it.
// Nothing is written, and nothing costs, when the variable is unset; the
// player's quillon.exe has none of this and reads no environment variable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "shell/shell.h"
#include "update/updater.h"

namespace tamber {

class frame_stats final : public frame_listener {
public:
    static constexpr uint32_t report_interval_ms = 250;

    // Opens `path` for writing (replacing it); start_ms is the clock
    // reading the times count from. `library` tells whether the lobby runs.
    frame_stats(const char* path, uint32_t start_ms, const updater& update, const applet& library);

    bool is_open() const { return file_ != nullptr; }

    void frame_presented(uint32_t now_ms) override;

private:
    struct file_closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    std::unique_ptr<std::FILE, file_closer> file_;
    uint32_t start_ms_;
    const updater& update_;
    const applet& library_;
    uint64_t frames_ = 0;
    uint32_t last_report_ms_ = 0;
};

}  // namespace tamber
