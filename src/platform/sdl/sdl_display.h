// The display on SDL: a renderer on the main window and one streaming
// 32-bit texture the frame is converted into with the packed converters,
// then drawn scaled to the window (aspect kept, centred) and presented.
// Windowed or fullscreen: a real 800 x 600 display mode where the display
// offers one, else the desktop's mode with the frame scaled up. Nothing is
// presented while the window is minimised or hidden.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "display/pixel_convert.h"
#include "shell/input_window.h"
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
    // `window` is read at every use (it is created after this object).
    // `show_message` shows a string-table text: the switches' failures.
    sdl_display(SDL_Window*& window, int32_t width, int32_t height,
                std::function<void(uint32_t string_id)> show_message, std::function<void()> post_close);
    ~sdl_display();
    sdl_display(const sdl_display&) = delete;
    sdl_display& operator=(const sdl_display&) = delete;

    // Whether presenting waits for the display's vertical blank, as
    // quillon.exe's flips and tear-free blits do. Off for runs on the frame
    // clock, which go as fast as frames can be made. Read at the next open.
    void set_wait_for_vertical_blank(bool wait) { vsync_ = wait; }

    // Opens the renderer and the texture in windowed mode; on failure shows
    // "going back to windowed mode failed" and posts WM_CLOSE.
    bool switch_to_windowed();
    bool switch_to_fullscreen() override;
    void toggle_display_mode() override;
    // Releases the texture and the renderer and leaves fullscreen mode.
    void close() override;
    bool is_open() const { return renderer_ != nullptr; }
    bool is_fullscreen() const override { return fullscreen_; }

    int32_t check_device() override;
    bool desktop_depth_supported() override { return true; }
    // Converts `view` into the texture and presents it (the mode is
    // irrelevant: SDL presents whole frames). 1 when the window cannot be
    // seen: nothing is converted or presented then.
    int32_t present_frame(const frame_view& view, int mode) override;
    // WM_PAINT: presents the texture again.
    int32_t blit_to_screen(bool no_tearing) override;

private:
    bool open(bool fullscreen);
    bool window_visible() const;
    int32_t present_texture();

    SDL_Window*& window_;
    int32_t width_, height_;
    std::function<void(uint32_t)> show_message_;
    std::function<void()> post_close_;
    converter convert_;
    std::unique_ptr<SDL_Renderer, renderer_closer> renderer_;
    std::unique_ptr<SDL_Texture, texture_closer> texture_;
    bool fullscreen_ = false;
    bool vsync_ = true;
    bool has_frame_ = false;  // the texture holds a converted frame
};

}  // namespace tamber::sdl
