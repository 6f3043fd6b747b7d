// The font engine seam: what the text layout needs from the platform's text
// renderer, and no more. An engine creates antialiased fonts by pixel
// height, weight and face, measures UTF-16 runs, reports a font's descent,
// and renders a run white on black into the top-left corner of the text
// bitmap, a 2048 x 128 picture of three bytes per pixel (blue, green, red),
// rows top-down, 6144 bytes apart.
//
// GDI does this on Windows; FreeType with fontconfig stands in on native
// builds; tests use a deterministic fake. Glyph shapes and metrics are the
// engine's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tamber {

inline constexpr int32_t text_bitmap_width = 2048;
inline constexpr int32_t text_bitmap_height = 128;
inline constexpr size_t text_bitmap_stride = 2048 * 3;

// A font request, with the meanings of the Windows logical font: a negative
// height asks for that character (em) height in pixels, a positive one for
// that cell height; weight 400 is normal and 700 bold.
struct font_desc {
    int32_t height = 0;
    int32_t weight = 400;
    bool italic = false;
    bool underline = false;
    uint8_t pitch_and_family = 0;
    std::string face;
};

struct text_extent {
    int32_t width = 0;
    int32_t height = 0;
};

// An engine's font and bitmap objects; each engine only ever receives its
// own.
class engine_font {
public:
    virtual ~engine_font() = default;
};

class engine_bitmap {
public:
    virtual ~engine_bitmap() = default;
    // The bitmap's bytes: text_bitmap_height rows of text_bitmap_stride.
    virtual uint8_t* pixels() = 0;
};

// One measuring or drawing pass with one font and the text bitmap selected
// (a memory device context on Windows). Closed when destroyed.
class text_context {
public:
    virtual ~text_context() = default;
    // Width of the run and the font's line height (ascent + descent);
    // {0, 0} if the engine cannot measure.
    virtual text_extent measure(std::u16string_view run) = 0;
    // The font's descent below the baseline; false if unknown.
    virtual bool descent(int32_t& out) = 0;
    // Clears [0, right) x [0, bottom) of the bitmap to black and draws the
    // run white from (0, 0) (top of the line), clipped to that rectangle.
    virtual void render(std::u16string_view run, int32_t right, int32_t bottom) = 0;
};

class font_engine {
public:
    virtual ~font_engine() = default;
    // Null when the font cannot be made.
    virtual std::unique_ptr<engine_font> create_font(const font_desc& desc) = 0;
    // Null when the bitmap cannot be made.
    virtual std::unique_ptr<engine_bitmap> create_bitmap() = 0;
    virtual std::unique_ptr<text_context> open(engine_font& font, engine_bitmap& bitmap) = 0;
};

// A font created through an engine, deleted with its owner. The engine must
// outlive it.
class font {
public:
    font(font_engine& engine, const font_desc& desc) : engine_(&engine), impl_(engine.create_font(desc)) {}
    font(const font&) = delete;
    font& operator=(const font&) = delete;

    font_engine& engine() const { return *engine_; }
    engine_font* get() const { return impl_.get(); }

private:
    font_engine* engine_;
    std::unique_ptr<engine_font> impl_;
};

// The 2048 x 128 bitmap every line of text is rendered into. The engine must
// outlive it.
class render_bitmap {
public:
    explicit render_bitmap(font_engine& engine) : engine_(&engine), impl_(engine.create_bitmap()) {}
    render_bitmap(const render_bitmap&) = delete;
    render_bitmap& operator=(const render_bitmap&) = delete;

    font_engine& engine() const { return *engine_; }
    engine_bitmap* get() const { return impl_.get(); }
    const uint8_t* pixels() const { return impl_ ? impl_->pixels() : nullptr; }

private:
    font_engine* engine_;
    std::unique_ptr<engine_bitmap> impl_;
};

// The fonts of the host's own screens.
inline font_desc large_font_desc() { return {-20, 700, false, false, 0x20, "Arial"}; }
inline font_desc small_font_desc() { return {-13, 400, false, false, 0x20, "Arial"}; }

}  // namespace tamber
