// A plain GDI presenter used until the DirectDraw display device is in
// place: windowed only, converts the planar frame into a 32-bit DIB and
// stretches it onto the client area.
#pragma once

#include <windows.h>

#include <vector>

#include "shell/shell.h"

namespace tamber::win32 {

class gdi_display final : public tamber::display_control {
public:
    explicit gdi_display(HWND& window) : window_(window) {}

    bool open() { return window_ != nullptr; }
    void close() {}

    int32_t check_device() override { return 0; }
    bool is_fullscreen() const override { return false; }
    bool desktop_depth_supported() override;
    bool switch_to_fullscreen() override { return false; }
    int32_t present_frame(const frame_view& view, int mode) override;
    // Shows the last presented frame again (WM_PAINT); false when there is
    // none.
    bool repaint(HDC dc);

private:
    HWND& window_;
    std::vector<uint32_t> pixels_;
    int32_t width_ = 0, height_ = 0;
};

}  // namespace tamber::win32
