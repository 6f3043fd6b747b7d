// The font engine of the Windows build: GDI fonts (CreateFontA, antialiased),
// a top-down 24-bit DIB section as the text bitmap, and a memory device
// context per measuring or drawing pass.
#pragma once

#include "draw/font_engine.h"

namespace tamber::win32 {

class gdi_font_engine final : public font_engine {
public:
    std::unique_ptr<engine_font> create_font(const font_desc& desc) override;
    std::unique_ptr<engine_bitmap> create_bitmap() override;
    std::unique_ptr<text_context> open(engine_font& font, engine_bitmap& bitmap) override;

    // The HFONT behind a font this engine made; null otherwise.
    static void* handle(const font& f);
};

}  // namespace tamber::win32
