#include "platform/win32/gdi_display.h"

namespace tamber::win32 {

bool gdi_display::desktop_depth_supported() {
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, PLANES) * GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return depth == 16 || depth == 24 || depth == 32;
}

int32_t gdi_display::present_frame(const frame_view& view, int) {
    width_ = view.width;
    height_ = view.height;
    const size_t count = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    pixels_.resize(count);
    for (size_t i = 0; i < count; ++i)
        pixels_[i] = view.plane[0][i] | (view.plane[1][i] << 8) | (static_cast<uint32_t>(view.plane[2][i]) << 16);
    if (IsIconic(window_)) return 1;
    HDC dc = GetDC(window_);
    const bool shown = repaint(dc);
    ReleaseDC(window_, dc);
    return shown ? 0 : E_FAIL;
}

bool gdi_display::repaint(HDC dc) {
    if (pixels_.empty()) return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    RECT client;
    GetClientRect(window_, &client);
    return StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, width_, height_, pixels_.data(), &info,
                         DIB_RGB_COLORS, SRCCOPY) != 0;
}

}  // namespace tamber::win32
