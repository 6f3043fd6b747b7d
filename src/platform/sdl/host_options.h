// tamber's command line and its store folder. The options are for studios
// and CI (headless runs of a game library); a player runs tamber without
// any.
#pragma once

#include <cstdint>
#include <string>

namespace tamber::sdl {

struct host_options {
    // Frames to run once the update has ended (the lobby's frames, or the
    // failure screen's), then close as the window's close box would. 0: run
    // until closed. Given, the clock is the frame count (20 ms a frame) and
    // the loop never sleeps, so a run is the same every time.
    uint32_t frames = 0;
    std::string snapshot_dir;     // PNG of the frame every snapshot_every frames and at the end
    uint32_t snapshot_every = 25;
    std::string input_file;       // input to replay
    std::string record_file;      // input to record
};

// Parses argv[1..]. False with a one-line reason in `error` for an unknown
// option, a missing or bad value, or --snapshot / --input without --frames
// (they need the frame clock to be repeatable).
bool parse_options(int argc, const char* const* argv, host_options& options, std::string& error);

extern const char usage_text[];

// The store folder: $XDG_DATA_HOME/quillon when XDG_DATA_HOME is an absolute
// path, else HOME/.local/share/quillon; empty when neither gives one.
std::string store_folder(const char* xdg_data_home, const char* home);

// Creates the store folder (and the folders above it, private to the user,
// as XDG data folders are) and makes it the working
// directory, where the library loader finds the game libraries by name.
// False when a step fails; the process then keeps the directory it was
// started in, as quillon.exe does.
bool set_up_store(const std::string& folder);

}  // namespace tamber::sdl
