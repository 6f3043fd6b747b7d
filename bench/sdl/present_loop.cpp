// tamber_present_loop [FRAMES]: converts and presents an 800 x 600 frame
// FRAMES times (default 600) through tamber's SDL display, as tamber does
// every frame, and prints "present_loop <frames/s>". Run it with the video
// driver tamber is measured on (SDL_VIDEODRIVER=offscreen, or an X display).
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

#include "draw/frame_image.h"
#include "platform/sdl/sdl_display.h"

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: tamber_present_loop [FRAMES]\n");
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "present_loop: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("present_loop", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 800, 600,
                                          SDL_WINDOW_SHOWN);
    int result = 1;
    {
        tamber::sdl::sdl_display display;
        tamber::frame_image frame(800, 600);
        display.set_wait_for_vertical_blank(false);  // as tamber on the frame clock
        if (window && display.open_windowed(window, {800, 600, 32}) == 0) {
            // The clock starts after the first frame, as the host's frame
            // statistics do: that frame carries the renderer's set-up.
            display.present_frame(frame.view(), tamber::present_mode::flip);
            const uint64_t start = SDL_GetPerformanceCounter();
            for (long i = 0; i < frames; ++i) {
                // A frame that changes, so nothing can be skipped.
                frame.plane(0)[static_cast<size_t>(i) % (800 * 600)] = static_cast<uint8_t>(i);
                SDL_Event event;
                while (SDL_PollEvent(&event)) {
                }
                display.present_frame(frame.view(), tamber::present_mode::flip);
            }
            const double seconds =
                static_cast<double>(SDL_GetPerformanceCounter() - start) / static_cast<double>(SDL_GetPerformanceFrequency());
            std::printf("present_loop %.1f\n", static_cast<double>(frames) / seconds);
            result = 0;
        } else {
            std::fprintf(stderr, "present_loop: no window or display: %s\n", SDL_GetError());
        }
    }
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
    return result;
}
