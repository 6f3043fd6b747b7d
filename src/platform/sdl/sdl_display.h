// The display on SDL: a renderer on the main window and one streaming
// 32-bit texture the frame is converted into with the packed converters,
// then drawn scaled to the window (aspect kept, centred) and presented.
// Windowed or fullscreen: a real 800 x 600 display mode where the display
// offers one, else the desktop's mode with the frame scaled up. Nothing is
// presented while the window is minimised or hidden.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <memory>

#include "display/pixel_convert.h"
#include "shell/window_procedure.h"
#include "shell/shell.h"

namespace tamber::sdl {

struct renderer_closer {
    void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
struct texture_closer {
    void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};

// The packed pixel format of SDL_PIXELFORMAT_ARGB8888 as the converters
// describe formats.
ddraw::pixel_format argb8888_format();

// How the window shows the frame: fullscreen in a display mode of the
// frame's size where the display has one, else over the desktop's mode.
enum class fullscreen_kind { exact_mode, desktop };
fullscreen_kind choose_fullscreen(const SDL_DisplayMode* modes, int count, int width, int height);

class sdl_display final : public display_control, public window_display {
public:
    // The display opens on the window the shell hands it.
    sdl_display();
    ~sdl_display();
    sdl_display(const sdl_display&) = delete;
    sdl_display& operator=(const sdl_display&) = delete;

    // Whether presenting waits for the display's vertical blank, as
    // quillon.exe's flips and tear-free blits do. Off for runs on the frame
    // clock, which go as fast as frames can be made. Read at the next open.
    void set_wait_for_vertical_blank(bool wait) { vsync_ = wait; }

    // Open the renderer and the texture on `window` (an SDL_Window), closing
    // what was open: 0, or a negative code when the display refused (what
    // the user is told is the shell's decision). No window: 1400, as
    // Windows answers for an invalid window, and nothing opens.
    int32_t open_windowed(window_handle window, display_mode mode) override;
    int32_t open_fullscreen(window_handle window, display_mode mode) override;
    // Releases the texture and the renderer and leaves fullscreen mode.
    void close() override;
    bool is_open() const override { return renderer_ != nullptr; }
    bool is_fullscreen() const override { return fullscreen_; }

    int32_t check_device() override;
    bool desktop_depth_supported() override { return true; }
    // Converts `view` into the texture and presents it (the mode is
    // irrelevant: SDL presents whole frames). 1 when the window cannot be
    // seen: nothing is converted or presented then.
    int32_t present_frame(const frame_view& view, present_mode mode) override;
    // WM_PAINT: presents the texture again.
    int32_t blit_to_screen(blit_mode mode) override;

private:
    int32_t open(window_handle window, display_mode mode, bool fullscreen);
    bool window_visible() const;
    int32_t present_texture();

    SDL_Window* window_ = nullptr;  // the window the display is open on
    int32_t width_ = 0, height_ = 0;
    converter convert_;
    std::unique_ptr<SDL_Renderer, renderer_closer> renderer_;
    std::unique_ptr<SDL_Texture, texture_closer> texture_;
    bool fullscreen_ = false;
    bool vsync_ = true;
    bool has_frame_ = false;  // the texture holds a converted frame
};

}  // namespace tamber::sdl
