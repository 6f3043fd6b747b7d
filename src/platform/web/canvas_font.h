// The font engine of the browser host: fonts are CSS font strings on a 2D
// canvas (an OffscreenCanvas, or a detached <canvas> where there is none),
// drawn antialiased, white on a transparent canvas, and read back as
// coverage. "Arial" asks for Arial, then Liberation Sans (which Chromium on
// Debian finds for Arial through fontconfig anyway), then sans-serif. Line
// height and run extents follow GDI: the font's ascent plus descent (from
// measureText's font bounding box, rounded), each character's advance
// rounded to whole pixels and summed, no kerning; glyphs are drawn one by
// one at those whole-pixel pen positions.
//
// Rendered runs are kept in a run_cache, so a line drawn in every frame is
// rasterised by the canvas once. The JavaScript half is canvas_font.js.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "draw/font_engine.h"
#include "platform/web/run_cache.h"

namespace tamber::web {

// What a font request became.
struct canvas_font_info {
    std::string css;  // the CSS font string, "700 20px Arial, ..."
    int32_t ascent = 0;
    int32_t descent = 0;
};

class canvas_font_engine final : public font_engine {
public:
    explicit canvas_font_engine(size_t cache_bytes = run_cache_default_bytes) : cache_(cache_bytes) {}
    canvas_font_engine(const canvas_font_engine&) = delete;
    canvas_font_engine& operator=(const canvas_font_engine&) = delete;

    std::unique_ptr<engine_font> create_font(const font_desc& desc) override;
    std::unique_ptr<engine_bitmap> create_bitmap() override;
    std::unique_ptr<text_context> open(engine_font& font, engine_bitmap& bitmap) override;

    // The rendered runs of this engine's fonts, with their hit and miss
    // counts (every miss is one rasterisation).
    const run_cache& cache() const { return cache_; }

    // The font behind a font this engine made; empty if it has none.
    static canvas_font_info describe(const font& f);

    // The CSS family list a request asks for: the face (quoted), its
    // metric-compatible Liberation face where it has one, and the generic
    // family of the pitch and family.
    static std::string css_families(const font_desc& desc);

private:
    run_cache cache_;
};

// Runs the canvas has drawn (cache misses of every engine) since the page
// started: what the cache saves is seen from the canvas side too.
uint32_t canvas_rasterised_runs();

}  // namespace tamber::web
