#include "platform/win32/ddraw_system.h"

#include <ddraw.h>

#include <utility>

#include "platform/win32/window.h"

namespace tamber::win32 {

namespace {

static_assert(sizeof(void*) != 4 || sizeof(DDSURFACEDESC2) == 124, "DDSURFACEDESC2 is 124 bytes");
static_assert(sizeof(void*) != 4 || sizeof(DDBLTFX) == 100, "DDBLTFX is 100 bytes");

// One counted reference of a COM interface, released on destruction.
template <typename T>
class com_ref {
public:
    com_ref() = default;
    explicit com_ref(T* p) : p_(p) {}
    ~com_ref() { reset(); }
    com_ref(com_ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    com_ref& operator=(com_ref&& other) noexcept {
        if (this != &other) {
            reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    com_ref(const com_ref&) = delete;
    com_ref& operator=(const com_ref&) = delete;

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }

private:
    T* p_ = nullptr;
};

HWND window_of(window_handle window) { return static_cast<HWND>(window); }

DDSURFACEDESC2 native_desc(const ddraw::surface_desc& d) {
    DDSURFACEDESC2 n{};
    n.dwSize = sizeof n;
    n.dwFlags = d.flags;
    n.dwWidth = d.width;
    n.dwHeight = d.height;
    n.dwBackBufferCount = d.back_buffer_count;
    n.ddsCaps.dwCaps = d.caps;
    if (d.flags & DDSD_PIXELFORMAT) {
        n.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        n.ddpfPixelFormat.dwFlags = d.format.flags;
        n.ddpfPixelFormat.dwRGBBitCount = d.format.rgb_bit_count;
        n.ddpfPixelFormat.dwRBitMask = d.format.red_mask;
        n.ddpfPixelFormat.dwGBitMask = d.format.green_mask;
        n.ddpfPixelFormat.dwBBitMask = d.format.blue_mask;
        n.ddpfPixelFormat.dwRGBAlphaBitMask = d.format.alpha_mask;
    }
    return n;
}

void portable_desc(const DDSURFACEDESC2& n, ddraw::surface_desc& d) {
    d.flags = n.dwFlags;
    d.width = n.dwWidth;
    d.height = n.dwHeight;
    d.pitch = n.lPitch;
    d.back_buffer_count = n.dwBackBufferCount;
    d.caps = n.ddsCaps.dwCaps;
    d.format.flags = n.ddpfPixelFormat.dwFlags;
    d.format.rgb_bit_count = n.ddpfPixelFormat.dwRGBBitCount;
    d.format.red_mask = n.ddpfPixelFormat.dwRBitMask;
    d.format.green_mask = n.ddpfPixelFormat.dwGBitMask;
    d.format.blue_mask = n.ddpfPixelFormat.dwBBitMask;
    d.format.alpha_mask = n.ddpfPixelFormat.dwRGBAlphaBitMask;
    d.memory = n.lpSurface;
}

class dd_clipper final : public ddraw::clipper {
public:
    explicit dd_clipper(IDirectDrawClipper* c) : clipper_(c) {}
    IDirectDrawClipper* get() const { return clipper_.get(); }
    hresult set_hwnd(uint32_t flags, window_handle window) override {
        return clipper_->SetHWnd(flags, window_of(window));
    }

private:
    com_ref<IDirectDrawClipper> clipper_;
};

class dd_surface final : public ddraw::surface {
public:
    explicit dd_surface(IDirectDrawSurface7* s) : surface_(s) {}
    IDirectDrawSurface7* get() const { return surface_.get(); }

    hresult is_lost() override { return surface_->IsLost(); }
    hresult restore() override { return surface_->Restore(); }
    hresult get_surface_desc(ddraw::surface_desc& desc) override {
        DDSURFACEDESC2 n{};
        n.dwSize = sizeof n;
        const HRESULT r = surface_->GetSurfaceDesc(&n);
        if (SUCCEEDED(r)) portable_desc(n, desc);
        return r;
    }
    hresult lock(ddraw::surface_desc& desc, uint32_t flags) override {
        DDSURFACEDESC2 n{};
        n.dwSize = sizeof n;
        const HRESULT r = surface_->Lock(nullptr, &n, flags, nullptr);
        if (SUCCEEDED(r)) portable_desc(n, desc);
        return r;
    }
    hresult unlock() override { return surface_->Unlock(nullptr); }
    hresult blt(const rect* destination, ddraw::surface& source, uint32_t flags, uint32_t fx) override {
        DDBLTFX effects{};
        effects.dwSize = sizeof effects;
        effects.dwDDFX = fx;
        RECT area;
        if (destination) area = {destination->left, destination->top, destination->right, destination->bottom};
        return surface_->Blt(destination ? &area : nullptr, static_cast<dd_surface&>(source).get(), nullptr, flags,
                             &effects);
    }
    hresult flip(uint32_t flags) override { return surface_->Flip(nullptr, flags); }
    hresult get_attached_surface(uint32_t caps, std::unique_ptr<ddraw::surface>& attached) override {
        DDSCAPS2 wanted{};
        wanted.dwCaps = caps;
        IDirectDrawSurface7* found = nullptr;
        const HRESULT r = surface_->GetAttachedSurface(&wanted, &found);
        if (SUCCEEDED(r) && found) attached = std::make_unique<dd_surface>(found);
        return r;
    }
    hresult set_clipper(ddraw::clipper& c) override {
        return surface_->SetClipper(static_cast<dd_clipper&>(c).get());
    }

private:
    com_ref<IDirectDrawSurface7> surface_;
};

class dd_object final : public ddraw::object {
public:
    explicit dd_object(IDirectDraw7* d) : directdraw_(d) {}

    hresult set_cooperative_level(window_handle window, uint32_t flags) override {
        return directdraw_->SetCooperativeLevel(window_of(window), flags);
    }
    hresult set_display_mode(uint32_t width, uint32_t height, uint32_t bits_per_pixel, uint32_t refresh_rate,
                             uint32_t flags) override {
        return directdraw_->SetDisplayMode(width, height, bits_per_pixel, refresh_rate, flags);
    }
    hresult create_surface(const ddraw::surface_desc& desc, std::unique_ptr<ddraw::surface>& created) override {
        DDSURFACEDESC2 n = native_desc(desc);
        IDirectDrawSurface7* s = nullptr;
        const HRESULT r = directdraw_->CreateSurface(&n, &s, nullptr);
        if (SUCCEEDED(r) && s) created = std::make_unique<dd_surface>(s);
        return r;
    }
    hresult test_cooperative_level() override { return directdraw_->TestCooperativeLevel(); }
    hresult flip_to_gdi_surface() override { return directdraw_->FlipToGDISurface(); }
    hresult restore_display_mode() override { return directdraw_->RestoreDisplayMode(); }

private:
    com_ref<IDirectDraw7> directdraw_;
};

// The screen's device context, released on destruction.
class screen_dc {
public:
    screen_dc() : dc_(GetDC(nullptr)) {}
    ~screen_dc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    screen_dc(const screen_dc&) = delete;
    screen_dc& operator=(const screen_dc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

}  // namespace

hresult directdraw_factory::create_directdraw(std::unique_ptr<ddraw::object>& created) {
    void* d = nullptr;
    const HRESULT r = DirectDrawCreateEx(nullptr, &d, IID_IDirectDraw7, nullptr);
    if (SUCCEEDED(r) && d) created = std::make_unique<dd_object>(static_cast<IDirectDraw7*>(d));
    return r;
}

hresult directdraw_factory::create_clipper(uint32_t flags, std::unique_ptr<ddraw::clipper>& created) {
    IDirectDrawClipper* c = nullptr;
    const HRESULT r = DirectDrawCreateClipper(flags, &c, nullptr);
    if (SUCCEEDED(r) && c) created = std::make_unique<dd_clipper>(c);
    return r;
}

bool display_window::is_window(window_handle window) { return IsWindow(window_of(window)) != FALSE; }

uint32_t display_window::window_style(window_handle window) {
    return static_cast<uint32_t>(GetWindowLongW(window_of(window), GWL_STYLE));
}

uint32_t display_window::window_ex_style(window_handle window) {
    return static_cast<uint32_t>(GetWindowLongW(window_of(window), GWL_EXSTYLE));
}

void display_window::set_window_style(window_handle window, uint32_t style) {
    SetWindowLongW(window_of(window), GWL_STYLE, static_cast<LONG>(style));
}

void display_window::set_window_ex_style(window_handle window, uint32_t ex_style) {
    SetWindowLongW(window_of(window), GWL_EXSTYLE, static_cast<LONG>(ex_style));
}

menu_handle display_window::window_menu(window_handle window) { return GetMenu(window_of(window)); }

void display_window::set_window_menu(window_handle window, menu_handle menu) {
    SetMenu(window_of(window), static_cast<HMENU>(menu));
}

bool display_window::is_iconic(window_handle window) { return IsIconic(window_of(window)) != FALSE; }

bool display_window::client_rect_on_screen(window_handle window, rect& area) {
    RECT client;
    POINT origin{0, 0};
    if (!GetClientRect(window_of(window), &client) || !ClientToScreen(window_of(window), &origin)) return false;
    OffsetRect(&client, origin.x, origin.y);
    area = {client.left, client.top, client.right, client.bottom};
    return true;
}

void display_window::size_window_for_client(window_handle window, int32_t width, int32_t height) {
    win32::size_window_for_client(window_of(window), width, height);
}

int32_t display_window::desktop_bits_per_pixel() {
    screen_dc screen;
    return GetDeviceCaps(screen.get(), PLANES) * GetDeviceCaps(screen.get(), BITSPIXEL);
}

}  // namespace tamber::win32
