#include "platform/native/freetype_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace tamber {

namespace {

// One rasterised glyph: its whole-pixel advance and its coverage bitmap,
// placed relative to the pen position on the baseline.
struct glyph {
    int32_t advance = 0;
    int32_t left = 0;  // first column, from the pen
    int32_t top = 0;   // first row, above the baseline
    int32_t width = 0;
    int32_t rows = 0;
    std::vector<uint8_t> coverage;
};

// Glyphs are drawn afresh every frame from a small cache; it is emptied
// when it grows past this many.
constexpr size_t glyph_cache_limit = 4096;

struct pattern_deleter {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using pattern_ptr = std::unique_ptr<FcPattern, pattern_deleter>;

struct face_deleter {
    void operator()(FT_Face f) const { FT_Done_Face(f); }
};
using face_ptr = std::unique_ptr<std::remove_pointer_t<FT_Face>, face_deleter>;

// The generic family a Windows pitch-and-family value asks for, tried after
// the face name as the Windows font mapper does.
const char* generic_family(uint8_t pitch_and_family) {
    switch (pitch_and_family & 0xF0) {
    case 0x10: return "serif";       // FF_ROMAN
    case 0x30: return "monospace";   // FF_MODERN
    case 0x40: return "cursive";     // FF_SCRIPT
    case 0x50: return "fantasy";     // FF_DECORATIVE
    default: return (pitch_and_family & 0x03) == 1 ? "monospace" : "sans-serif";  // FIXED_PITCH
    }
}

// Decodes one code point from UTF-16; an unpaired surrogate stands for
// itself (and shows as the missing glyph).
char32_t next_code_point(std::u16string_view run, size_t& i) {
    const char16_t u = run[i++];
    if (u >= 0xD800 && u < 0xDC00 && i < run.size() && run[i] >= 0xDC00 && run[i] < 0xE000)
        return 0x10000 + ((char32_t{u} - 0xD800) << 10) + (char32_t{run[i++]} - 0xDC00);
    return u;
}

class ft_bitmap final : public engine_bitmap {
public:
    uint8_t* pixels() override { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_ = std::vector<uint8_t>(text_bitmap_stride * text_bitmap_height, 0);
};

}  // namespace

// FreeType and a fontconfig configuration of the engine's own, released
// with it.
struct freetype_font_engine::library {
    FT_Library ft = nullptr;
    FcConfig* fc = nullptr;
    library() {
        if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
        fc = FcInitLoadConfigAndFonts();
    }
    ~library() {
        if (fc) FcConfigDestroy(fc);
        if (ft) FT_Done_FreeType(ft);
    }
};

namespace {

class ft_font final : public engine_font {
public:
    ft_font(face_ptr face, const font_desc& desc, bool embolden, bool oblique, std::string file)
        : face_(std::move(face)), embolden_(embolden), oblique_(oblique), underline_(desc.underline),
          file_(std::move(file)) {
        FT_Face f = face_.get();
        const double units = f->units_per_EM ? f->units_per_EM : 2048;
        double win_ascent = f->ascender, win_descent = -f->descender;
        if (const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2));
            os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
            win_ascent = os2->usWinAscent;
            win_descent = os2->usWinDescent;
        }
        // A negative height is the em height in pixels, a positive one the
        // cell height (ascent + descent); 0 asks for a default 16-pixel cell.
        double em = desc.height < 0 ? -double(desc.height) : 0;
        if (desc.height >= 0) {
            const double cell = desc.height > 0 ? desc.height : 16;
            em = cell * units / std::max(1.0, win_ascent + win_descent);
        }
        em = std::clamp(em, 1.0, 4096.0);
        FT_Set_Char_Size(f, 0, static_cast<FT_F26Dot6>(std::lround(em * 64)), 72, 72);
        ascent_ = static_cast<int32_t>(std::lround(win_ascent * em / units));
        descent_ = static_cast<int32_t>(std::lround(win_descent * em / units));
        underline_top_ = ascent_ - static_cast<int32_t>(std::lround(f->underline_position * em / units));
        underline_rows_ = std::max<int32_t>(1, static_cast<int32_t>(std::lround(f->underline_thickness * em / units)));
    }

    int32_t ascent() const { return ascent_; }
    int32_t descent() const { return descent_; }
    int32_t line_height() const { return ascent_ + descent_; }

    const glyph& get(char32_t code) {
        if (const auto it = cache_.find(code); it != cache_.end()) return it->second;
        if (cache_.size() >= glyph_cache_limit) cache_.clear();
        return cache_.emplace(code, rasterise(code)).first->second;
    }

    int32_t advance_of(std::u16string_view run) {
        int32_t width = 0;
        for (size_t i = 0; i < run.size();) width += get(next_code_point(run, i)).advance;
        return width;
    }

    bool underline() const { return underline_; }
    int32_t underline_top() const { return underline_top_; }
    int32_t underline_rows() const { return underline_rows_; }

    freetype_face_info info() const {
        FT_Face f = face_.get();
        return {file_, f->family_name ? f->family_name : "", f->style_name ? f->style_name : "",
                ascent_, descent_, embolden_, oblique_};
    }

private:
    glyph rasterise(char32_t code) {
        glyph g;
        FT_Face f = face_.get();
        const FT_UInt index = FT_Get_Char_Index(f, code);
        if (FT_Load_Glyph(f, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0) return g;
        FT_GlyphSlot slot = f->glyph;
        if (embolden_) FT_GlyphSlot_Embolden(slot);
        if (oblique_) FT_GlyphSlot_Oblique(slot);
        g.advance = static_cast<int32_t>((slot->advance.x + 32) >> 6);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) return g;
        const FT_Bitmap& bm = slot->bitmap;
        if (bm.pixel_mode != FT_PIXEL_MODE_GRAY || bm.buffer == nullptr) return g;
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.width = static_cast<int32_t>(bm.width);
        g.rows = static_cast<int32_t>(bm.rows);
        g.coverage.resize(static_cast<size_t>(g.width) * static_cast<size_t>(g.rows));
        const unsigned char* row = bm.pitch >= 0 ? bm.buffer : bm.buffer + (bm.rows - 1) * size_t(-bm.pitch);
        for (int32_t y = 0; y < g.rows; ++y, row += bm.pitch)
            std::copy(row, row + g.width, g.coverage.begin() + y * g.width);
        return g;
    }

    face_ptr face_;
    bool embolden_, oblique_, underline_;
    std::string file_;
    int32_t ascent_ = 0, descent_ = 0, underline_top_ = 0, underline_rows_ = 1;
    std::unordered_map<char32_t, glyph> cache_;
};

class ft_context final : public text_context {
public:
    ft_context(ft_font& font, engine_bitmap& bitmap) : font_(font), pixels_(bitmap.pixels()) {}

    text_extent measure(std::u16string_view run) override { return {font_.advance_of(run), font_.line_height()}; }

    bool descent(int32_t& out) override {
        out = font_.descent();
        return true;
    }

    void render(std::u16string_view run, int32_t right, int32_t bottom) override {
        right = std::clamp(right, 0, text_bitmap_width);
        bottom = std::clamp(bottom, 0, text_bitmap_height);
        if (right == 0 || bottom == 0) return;
        for (int32_t y = 0; y < bottom; ++y) std::fill_n(row(y), 3 * right, uint8_t{0});
        int32_t pen = 0;
        for (size_t i = 0; i < run.size() && pen < right;) {
            const glyph& g = font_.get(next_code_point(run, i));
            draw_glyph(g, pen + g.left, font_.ascent() - g.top, right, bottom);
            pen += g.advance;
        }
        if (font_.underline()) {
            const int32_t x1 = std::min(pen, right);
            const int32_t y0 = std::max(font_.underline_top(), 0);
            const int32_t y1 = std::min(font_.underline_top() + font_.underline_rows(), bottom);
            for (int32_t y = y0; y < y1; ++y)
                if (x1 > 0) std::fill_n(row(y), 3 * x1, uint8_t{255});
        }
    }

private:
    uint8_t* row(int32_t y) { return pixels_ + static_cast<size_t>(y) * text_bitmap_stride; }

    // White on black: overlapping glyphs keep the larger coverage.
    void draw_glyph(const glyph& g, int32_t x, int32_t y, int32_t right, int32_t bottom) {
        const int32_t gx0 = std::max(0, -x), gx1 = std::min(g.width, right - x);
        const int32_t gy0 = std::max(0, -y), gy1 = std::min(g.rows, bottom - y);
        for (int32_t gy = gy0; gy < gy1; ++gy) {
            const uint8_t* src = g.coverage.data() + static_cast<size_t>(gy) * static_cast<size_t>(g.width);
            uint8_t* dst = row(y + gy) + 3 * static_cast<size_t>(x + gx0);
            for (int32_t gx = gx0; gx < gx1; ++gx, dst += 3) {
                const uint8_t c = std::max(dst[0], src[gx]);
                dst[0] = dst[1] = dst[2] = c;
            }
        }
    }

    ft_font& font_;
    uint8_t* pixels_;
};

}  // namespace

freetype_font_engine::freetype_font_engine() : library_(std::make_unique<library>()) {}
freetype_font_engine::~freetype_font_engine() = default;

bool freetype_font_engine::ok() const { return library_->ft != nullptr && library_->fc != nullptr; }

std::unique_ptr<engine_font> freetype_font_engine::create_font(const font_desc& desc) {
    if (!ok()) return nullptr;
    pattern_ptr request(FcPatternCreate());
    if (!request) return nullptr;
    if (!desc.face.empty())
        FcPatternAddString(request.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(desc.face.c_str()));
    FcPatternAddString(request.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(generic_family(desc.pitch_and_family)));
    const int weight = desc.weight > 0 ? desc.weight : 400;  // FW_DONTCARE
    FcPatternAddInteger(request.get(), FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
    FcPatternAddInteger(request.get(), FC_SLANT, desc.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(request.get(), FC_SCALABLE, FcTrue);
    FcConfigSubstitute(library_->fc, request.get(), FcMatchPattern);
    FcDefaultSubstitute(request.get());
    FcResult result = FcResultNoMatch;
    pattern_ptr match(FcFontMatch(library_->fc, request.get(), &result));
    if (!match) return nullptr;

    FcChar8* file = nullptr;
    if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch || file == nullptr) return nullptr;
    int index = 0, matched_weight = FC_WEIGHT_REGULAR, matched_slant = FC_SLANT_ROMAN;
    FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);
    FcPatternGetInteger(match.get(), FC_WEIGHT, 0, &matched_weight);
    FcPatternGetInteger(match.get(), FC_SLANT, 0, &matched_slant);

    FT_Face raw = nullptr;
    const std::string path(reinterpret_cast<const char*>(file));
    if (FT_New_Face(library_->ft, path.c_str(), index, &raw) != 0) return nullptr;
    face_ptr face(raw);
    if (!FT_IS_SCALABLE(raw)) return nullptr;
    FT_Select_Charmap(raw, FT_ENCODING_UNICODE);
    // Bold or italic that the matched face lacks is synthesised, as GDI does.
    const bool embolden = weight >= 600 && matched_weight < FC_WEIGHT_DEMIBOLD;
    const bool oblique = desc.italic && matched_slant == FC_SLANT_ROMAN;
    return std::make_unique<ft_font>(std::move(face), desc, embolden, oblique, path);
}

std::unique_ptr<engine_bitmap> freetype_font_engine::create_bitmap() { return std::make_unique<ft_bitmap>(); }

std::unique_ptr<text_context> freetype_font_engine::open(engine_font& font, engine_bitmap& bitmap) {
    return std::make_unique<ft_context>(static_cast<ft_font&>(font), bitmap);
}

freetype_face_info freetype_font_engine::describe(const font& f) {
    if (dynamic_cast<freetype_font_engine*>(&f.engine()) == nullptr || f.get() == nullptr) return {};
    return static_cast<const ft_font*>(f.get())->info();
}

}  // namespace tamber
