#include "platform/win32/gdi_font.h"

#include <windows.h>

#include <string>
#include <type_traits>

namespace tamber::win32 {

namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "GDI text is UTF-16");

struct gdi_object_deleter {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
template <typename Handle>
using gdi_object = std::unique_ptr<std::remove_pointer_t<Handle>, gdi_object_deleter>;

class gdi_font final : public engine_font {
public:
    explicit gdi_font(HFONT handle) : handle_(handle) {}
    HFONT get() const { return handle_.get(); }

private:
    gdi_object<HFONT> handle_;
};

class dib_bitmap final : public engine_bitmap {
public:
    dib_bitmap(HBITMAP handle, uint8_t* bits) : handle_(handle), bits_(bits) {}
    HBITMAP get() const { return handle_.get(); }
    uint8_t* pixels() override { return bits_; }

private:
    gdi_object<HBITMAP> handle_;
    uint8_t* bits_;
};

// The screen's device context, released at once.
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

class memory_dc {
public:
    memory_dc() : dc_(CreateCompatibleDC(nullptr)) {}
    ~memory_dc() {
        if (dc_) DeleteDC(dc_);
    }
    memory_dc(const memory_dc&) = delete;
    memory_dc& operator=(const memory_dc&) = delete;
    HDC get() const { return dc_; }

private:
    HDC dc_;
};

// An object selected into a device context; the previous one is selected
// back on destruction.
class selection {
public:
    selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc ? SelectObject(dc, object) : nullptr) {}
    ~selection() {
        if (previous_ && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    selection(const selection&) = delete;
    selection& operator=(const selection&) = delete;
    bool ok() const { return previous_ != nullptr && previous_ != HGDI_ERROR; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

class gdi_context final : public text_context {
public:
    gdi_context(gdi_font& font, dib_bitmap& bitmap)
        : bitmap_(dc_.get(), bitmap.get()), font_(dc_.get(), font.get()) {
        if (dc_.get()) {
            SetTextColor(dc_.get(), RGB(255, 255, 255));
            SetBkColor(dc_.get(), RGB(0, 0, 0));
        }
    }

    text_extent measure(std::u16string_view run) override {
        SIZE size{};
        if (!usable() || !GetTextExtentPoint32W(dc_.get(), wide(run), static_cast<int>(run.size()), &size)) return {};
        return {static_cast<int32_t>(size.cx), static_cast<int32_t>(size.cy)};
    }

    bool descent(int32_t& out) override {
        TEXTMETRICW metrics{};
        if (!usable() || !GetTextMetricsW(dc_.get(), &metrics)) return false;
        out = metrics.tmDescent;
        return true;
    }

    void render(std::u16string_view run, int32_t right, int32_t bottom) override {
        if (!usable()) return;
        RECT r{0, 0, right, bottom};
        ExtTextOutW(dc_.get(), 0, 0, ETO_OPAQUE | ETO_CLIPPED, &r, wide(run), static_cast<UINT>(run.size()), nullptr);
        // The bitmap's bytes are read directly next: let GDI finish first.
        GdiFlush();
    }

private:
    bool usable() const { return dc_.get() != nullptr && bitmap_.ok() && font_.ok(); }

    const wchar_t* wide(std::u16string_view run) {
        buffer_.assign(run.begin(), run.end());
        return buffer_.c_str();
    }

    // Declared in this order so that destruction restores the font, then
    // the bitmap, then deletes the device context.
    memory_dc dc_;
    selection bitmap_;
    selection font_;
    std::wstring buffer_;
};

}  // namespace

std::unique_ptr<engine_font> gdi_font_engine::create_font(const font_desc& desc) {
    HFONT handle = CreateFontA(desc.height, 0, 0, 0, desc.weight, desc.italic, desc.underline, FALSE, ANSI_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, desc.pitch_and_family,
                               desc.face.c_str());
    if (handle == nullptr) return nullptr;
    return std::make_unique<gdi_font>(handle);
}

std::unique_ptr<engine_bitmap> gdi_font_engine::create_bitmap() {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = text_bitmap_width;
    info.bmiHeader.biHeight = -text_bitmap_height;  // top-down: row 0 is the top row
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP handle;
    {
        screen_dc screen;
        handle = CreateDIBSection(screen.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    }
    if (handle == nullptr || bits == nullptr) {
        if (handle) DeleteObject(handle);
        return nullptr;
    }
    return std::make_unique<dib_bitmap>(handle, static_cast<uint8_t*>(bits));
}

std::unique_ptr<text_context> gdi_font_engine::open(engine_font& font, engine_bitmap& bitmap) {
    return std::make_unique<gdi_context>(static_cast<gdi_font&>(font), static_cast<dib_bitmap&>(bitmap));
}

void* gdi_font_engine::handle(const font& f) {
    if (dynamic_cast<gdi_font_engine*>(&f.engine()) == nullptr || f.get() == nullptr) return nullptr;
    return static_cast<const gdi_font*>(f.get())->get();
}

}  // namespace tamber::win32
