// present_loop.exe: the fastest the host's frame could be on this system.
// It opens the host's main window and display device through the host's own
// code, exactly as quillon.exe does, and then does nothing each frame but
// what the shell's frame step ends with: convert the 800 x 600 frame image
// and present it (present_frame, the same mode, hence the same DirectDraw
// calls and blit flags). No applet, no update, no text, no sleep.
//
// Usage: present_loop.exe SECONDS [OUTPUT_FILE]
// Prints "<frames> frames in <seconds> s: <rate> frames/s" and writes
// "<frames> <seconds> <rate> <failed presents>" to OUTPUT_FILE (Wine's
// standard output is not always easy to catch). Exit code 0 when every
// frame was presented, 1 when the device did not open or a present failed,
// 2 on bad arguments.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "display/display_device.h"
#include "draw/frame_image.h"
#include "platform/win32/ddraw_system.h"
#include "platform/win32/window.h"
#include "shell/shell.h"

namespace {

constexpr int32_t frame_width = 800;
constexpr int32_t frame_height = 600;

HWND main_window = nullptr;

// What the host's window procedure does with the few messages this loop
// meets: no background erasing, paint validated, the loop ends when the
// window goes.
LRESULT CALLBACK loop_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_DESTROY:
        main_window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

// A diagonal gradient in all three planes, so that every converted byte
// differs from its neighbours.
void fill_gradient(tamber::frame_image& frame) {
    for (int32_t y = 0; y < frame.height(); ++y) {
        for (int32_t x = 0; x < frame.width(); ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(frame.width()) + static_cast<size_t>(x);
            frame.plane(0)[i] = static_cast<uint8_t>(x + y);
            frame.plane(1)[i] = static_cast<uint8_t>(x * 2);
            frame.plane(2)[i] = static_cast<uint8_t>(y * 2);
        }
    }
}

double seconds_between(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: present_loop.exe SECONDS [OUTPUT_FILE]\n");
        return 2;
    }
    char* end = nullptr;
    const double run_seconds = std::strtod(argv[1], &end);
    if (end == argv[1] || *end != '\0' || !(run_seconds > 0) || run_seconds > 3600) {
        std::fprintf(stderr, "present_loop: SECONDS must be a number above 0 and at most 3600: '%s'\n", argv[1]);
        return 2;
    }
    const char* output = argc == 3 ? argv[2] : nullptr;

    // The host's objects, in the host's order: the frame, the DirectDraw
    // factory and the window calls, the display device.
    tamber::frame_image frame(frame_width, frame_height);
    fill_gradient(frame);
    tamber::win32::directdraw_factory directdraw;
    tamber::win32::display_window display_window;
    tamber::display_device display(directdraw, display_window);

    DWORD error = 0;
    if (!tamber::win32::create_main_window(GetModuleHandleW(nullptr), loop_window_procedure, L"present loop",
                                           frame.width(), frame.height(), main_window, error)) {
        std::fprintf(stderr, "present_loop: creating the window failed (error %lu)\n",
                     static_cast<unsigned long>(error));
        return 1;
    }
    // The shell's start-up switch: windowed mode with the frame's size.
    const tamber::display_mode mode{static_cast<uint32_t>(frame_width), static_cast<uint32_t>(frame_height),
                                    tamber::fullscreen_bits_per_pixel};
    if (const int32_t r = display.open_windowed(main_window, mode); r < 0 || !display.is_open()) {
        std::fprintf(stderr, "present_loop: the display device did not open in windowed mode (%08lX)\n",
                     static_cast<unsigned long>(static_cast<uint32_t>(r)));
        return 1;
    }

    LARGE_INTEGER frequency, started{}, now{};
    QueryPerformanceFrequency(&frequency);
    uint64_t frames = 0, failed = 0;
    bool timing = false;
    bool quit = false;
    // The shell's loop: every waiting message first, a frame whenever the
    // queue is empty. The clock starts at the first presented frame, as the
    // host's frame statistics do.
    while (!quit) {
        MSG msg;
        if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
            } else {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            continue;
        }
        if (display.present_frame(frame.view(), tamber::present_mode::flip) < 0) ++failed;
        QueryPerformanceCounter(&now);
        if (!timing) {
            started = now;
            timing = true;
            continue;
        }
        ++frames;
        if (seconds_between(started, now, frequency) >= run_seconds) break;
    }
    display.close();
    if (main_window) DestroyWindow(main_window);

    const double elapsed = timing ? seconds_between(started, now, frequency) : 0.0;
    const double rate = elapsed > 0 ? static_cast<double>(frames) / elapsed : 0.0;
    std::printf("%llu frames in %.3f s: %.1f frames/s (%llu presents failed)\n",
                static_cast<unsigned long long>(frames), elapsed, rate, static_cast<unsigned long long>(failed));
    std::fflush(stdout);
    if (output) {
        std::FILE* f = std::fopen(output, "w");
        if (!f) {
            std::fprintf(stderr, "present_loop: cannot write %s\n", output);
            return 1;
        }
        std::fprintf(f, "%llu %.6f %.3f %llu\n", static_cast<unsigned long long>(frames), elapsed, rate,
                     static_cast<unsigned long long>(failed));
        const bool written = std::fclose(f) == 0;
        if (!written) return 1;
    }
    return failed == 0 && frames > 0 ? 0 : 1;
}
