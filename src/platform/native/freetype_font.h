// The font engine of native builds: fonts found through fontconfig (so
// "Arial" resolves to a metric-compatible face such as Liberation Sans) and
// rasterised, antialiased, by FreeType. Line height and run extents follow
// GDI: the font's ascent plus descent, whole-pixel advances, no kerning.
#pragma once

#include <memory>
#include <string>

#include "draw/font_engine.h"

namespace tamber {

// Which face a font request resolved to.
struct freetype_face_info {
    std::string file;
    std::string family;
    std::string style;
    int32_t ascent = 0;
    int32_t descent = 0;
    bool synthetic_bold = false;
    bool synthetic_italic = false;
};

class freetype_font_engine final : public font_engine {
public:
    freetype_font_engine();
    ~freetype_font_engine() override;
    freetype_font_engine(const freetype_font_engine&) = delete;
    freetype_font_engine& operator=(const freetype_font_engine&) = delete;

    // False when FreeType could not start; no font can be made then.
    bool ok() const;

    std::unique_ptr<engine_font> create_font(const font_desc& desc) override;
    std::unique_ptr<engine_bitmap> create_bitmap() override;
    std::unique_ptr<text_context> open(engine_font& font, engine_bitmap& bitmap) override;

    // The face behind a font this engine made; empty if it has none.
    static freetype_face_info describe(const font& f);

private:
    struct library;
    std::unique_ptr<library> library_;
};

}  // namespace tamber
