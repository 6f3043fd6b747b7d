// What tamber does after every presented frame: the frame clock and the
// lobby's start (sdl_windows), PNG snapshots of the frame, and the end of a
// run of a given number of frames.
#pragma once

#include <cstdint>
#include <string>

#include "applet/applet.h"
#include "draw/frame_image.h"
#include "platform/sdl/sdl_shell.h"
#include "shell/shell.h"
#include "update/updater.h"

namespace tamber::sdl {

// Snapshot file names: the progress screen's frames by their number from
// the start ("progress-000050.png"), the lobby's by their number from its
// first frame ("lobby-000025.png", the same in every run of the same input),
// and "final.png" for the last frame of a run of N frames.
std::string snapshot_name(bool lobby, uint32_t frame);

// The frame as an 8-bit RGB PNG file.
bool write_frame_png(const std::string& path, const frame_image& frame);

class frame_step final : public frame_listener {
public:
    // frames: 0 runs until closed. snapshot_dir: empty writes none.
    frame_step(sdl_windows& windows, const frame_image& frame, const applet& library, const updater& update,
               uint32_t frames, std::string snapshot_dir, uint32_t snapshot_every);

    void frame_presented(uint32_t now_ms) override;
    // Frame statistics of the measuring build are passed on to.
    void chain(frame_listener* next) { next_ = next; }
    // False once a snapshot could not be written (the run then fails).
    bool snapshots_ok() const { return snapshots_ok_; }

private:
    void snapshot(const std::string& name);

    sdl_windows& windows_;
    const frame_image& frame_;
    const applet& library_;
    const updater& update_;
    uint32_t frames_;
    std::string snapshot_dir_;
    uint32_t snapshot_every_;
    frame_listener* next_ = nullptr;
    uint32_t presented_ = 0;     // every frame
    uint32_t lobby_frames_ = 0;  // the lobby's
    uint32_t counted_ = 0;       // once the update has ended
    bool closing_ = false;
    bool snapshots_ok_ = true;
};

}  // namespace tamber::sdl
