#include "platform/sdl/headless.h"

#include <cstdio>
#include <vector>

#include "image/png.h"

namespace tamber::sdl {

std::string snapshot_name(bool lobby, uint32_t frame) {
    char name[40];
    std::snprintf(name, sizeof name, "%s-%06u.png", lobby ? "lobby" : "progress", static_cast<unsigned>(frame));
    return name;
}

bool write_frame_png(const std::string& path, const frame_image& frame) {
    const size_t pixels = static_cast<size_t>(frame.width()) * static_cast<size_t>(frame.height());
    std::vector<uint8_t> rgb(pixels * 3);
    for (size_t i = 0; i < pixels; ++i) {
        rgb[3 * i] = frame.plane(2)[i];
        rgb[3 * i + 1] = frame.plane(1)[i];
        rgb[3 * i + 2] = frame.plane(0)[i];
    }
    return write_png(path, static_cast<uint32_t>(frame.width()), static_cast<uint32_t>(frame.height()), rgb);
}

frame_step::frame_step(sdl_windows& windows, const frame_image& frame, const applet& library, const updater& update,
                       uint32_t frames, std::string snapshot_dir, uint32_t snapshot_every)
    : windows_(windows),
      frame_(frame),
      library_(library),
      update_(update),
      frames_(frames),
      snapshot_dir_(std::move(snapshot_dir)),
      snapshot_every_(snapshot_every ? snapshot_every : 1) {}

void frame_step::snapshot(const std::string& name) {
    if (snapshot_dir_.empty()) return;
    const std::string path = snapshot_dir_ + "/" + name;
    if (!write_frame_png(path, frame_)) {
        std::fprintf(stderr, "tamber: cannot write the snapshot %s\n", path.c_str());
        snapshots_ok_ = false;
    }
}

void frame_step::frame_presented(uint32_t now_ms) {
    windows_.frame_presented();
    if (next_) next_->frame_presented(now_ms);
    ++presented_;
    const bool lobby = library_.is_loaded();
    const uint32_t number = lobby ? ++lobby_frames_ : presented_;
    if (number % snapshot_every_ == 0) snapshot(snapshot_name(lobby, number));

    // Frames count once the update is over: the lobby's, or those of the
    // screen a failed update ends on.
    const uint32_t state = update_.state();
    const bool updating = !lobby && state >= fetching_catalogue && state <= complete;
    if (frames_ == 0 || closing_ || updating) return;
    if (++counted_ < frames_) return;
    snapshot("final.png");
    closing_ = true;
    windows_.post({wm::close, 0, 0});
}

}  // namespace tamber::sdl
