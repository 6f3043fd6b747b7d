// One whole update run, timed: the updater over the libcurl client steps in
// a loop with no frame drawn (or paced as frames), from the first request to
// `complete`.
//
// Usage: tamber_update_download_bench BASE_URL STORE_DIR [ROOT_NAME [FRAME_MS]]
// FRAME_MS (default 0): the frame period each step is paced to, as the
// host's frames pace them; 0 steps in a loop.
// The store folder becomes the current directory (files are written there).
// Prints "bytes N", "seconds S" and "steps K" on separate lines; exits 1 if
// the run does not complete.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>

#include "platform/native/curl_http.h"
#include "update/updater.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s BASE_URL STORE_DIR [ROOT_NAME [FRAME_MS]]\n", argv[0]);
        return 2;
    }
    const std::string base_url = argv[1];
    const std::string root_name = argc > 3 ? argv[3] : "tblobby.dll";
    const int frame_ms = argc > 4 ? std::atoi(argv[4]) : 0;
    std::error_code error;
    std::filesystem::current_path(argv[2], error);
    if (error) {
        std::fprintf(stderr, "cannot enter %s: %s\n", argv[2], error.message().c_str());
        return 2;
    }

    tamber::native::curl_http http;
    tamber::updater up(http);
    up.set_base_url(base_url);
    uint64_t steps = 0;
    const auto begin = std::chrono::steady_clock::now();
    auto next = begin;
    up.start(root_name);
    while (up.state() >= tamber::fetching_catalogue && up.state() <= tamber::downloading) {
        up.step();
        ++steps;
        if (frame_ms > 0) {
            next += std::chrono::milliseconds(frame_ms);
            const auto now = std::chrono::steady_clock::now();
            if (next > now)
                std::this_thread::sleep_until(next);
            else
                next = now;
        }
    }
    const auto end = std::chrono::steady_clock::now();
    if (up.state() != tamber::complete) {
        std::fprintf(stderr, "the run ended in state %u at '%s' (see download.log)\n", up.state(),
                     up.current_name().c_str());
        return 1;
    }
    std::printf("bytes %u\nseconds %.6f\nsteps %llu\n", up.done_bytes(),
                std::chrono::duration<double>(end - begin).count(), static_cast<unsigned long long>(steps));
    return 0;
}
