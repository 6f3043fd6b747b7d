#include "platform/web/canvas_font.h"

#include <algorithm>
#include <vector>

// canvas_font.js.
extern "C" {
int32_t tamber_web_font_create(const char* families, int32_t weight, int32_t italic, int32_t underline,
                               int32_t height);
void tamber_web_font_destroy(int32_t id);
int32_t tamber_web_font_ascent(int32_t id);
int32_t tamber_web_font_descent(int32_t id);
int32_t tamber_web_font_css(int32_t id, char* out, int32_t size);
int32_t tamber_web_font_measure(int32_t id, const char16_t* run, int32_t length);
int32_t tamber_web_font_render(int32_t id, const char16_t* run, int32_t length, int32_t right, int32_t bottom,
                               uint8_t* coverage);
uint32_t tamber_web_font_rasterised();
}

namespace tamber::web {

namespace {

// Faces with a metric-compatible Liberation face, which stands in where
// the face itself is missing (as fontconfig maps them on native builds).
struct face_alias {
    std::string_view face, liberation;
};
constexpr face_alias liberation_faces[] = {
    {"arial", "Liberation Sans"},
    {"helvetica", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"times", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
    {"courier", "Liberation Mono"},
};

bool same_face(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A family name in CSS: a single word of letters as it is ("Arial"),
// unless it is a keyword; anything else quoted, with quotes and backslashes
// escaped.
std::string css_family(std::string_view name) {
    constexpr std::string_view keywords[] = {"serif", "monospace", "cursive", "fantasy", "math", "emoji",
                                             "fangsong", "inherit", "initial", "unset", "revert", "default"};
    const bool word = !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    });
    if (word && std::none_of(std::begin(keywords), std::end(keywords),
                             [&](std::string_view k) { return same_face(name, k); }))
        return std::string(name);
    std::string out = "'";
    for (const char c : name) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

// The generic family a Windows pitch-and-family value asks for, as the
// Windows font mapper falls back to it.
const char* generic_family(uint8_t pitch_and_family) {
    switch (pitch_and_family & 0xF0) {
    case 0x10: return "serif";       // FF_ROMAN
    case 0x30: return "monospace";   // FF_MODERN
    case 0x40: return "cursive";     // FF_SCRIPT
    case 0x50: return "fantasy";     // FF_DECORATIVE
    default: return (pitch_and_family & 0x03) == 1 ? "monospace" : "sans-serif";  // FIXED_PITCH
    }
}

class canvas_bitmap final : public engine_bitmap {
public:
    uint8_t* pixels() override { return bytes_.data(); }

private:
    std::vector<uint8_t> bytes_ = std::vector<uint8_t>(text_bitmap_stride * text_bitmap_height, 0);
};

class canvas_font final : public engine_font {
public:
    canvas_font(int32_t id, std::string key)
        : id_(id), key_(std::move(key)), ascent_(tamber_web_font_ascent(id)), descent_(tamber_web_font_descent(id)) {}
    ~canvas_font() override { tamber_web_font_destroy(id_); }
    canvas_font(const canvas_font&) = delete;
    canvas_font& operator=(const canvas_font&) = delete;

    int32_t id() const { return id_; }
    const std::string& key() const { return key_; }
    int32_t ascent() const { return ascent_; }
    int32_t descent() const { return descent_; }

    canvas_font_info info() const {
        char css[512];
        const int32_t n = tamber_web_font_css(id_, css, sizeof css);
        return {std::string(css, static_cast<size_t>(std::clamp<int32_t>(n, 0, sizeof css - 1))), ascent_, descent_};
    }

private:
    int32_t id_;
    std::string key_;  // names the font in the run cache
    int32_t ascent_, descent_;
};

class canvas_context final : public text_context {
public:
    canvas_context(canvas_font& font, engine_bitmap& bitmap, run_cache& cache)
        : font_(font), pixels_(bitmap.pixels()), cache_(cache) {}

    text_extent measure(std::u16string_view run) override {
        const int32_t width = tamber_web_font_measure(font_.id(), run.data(), static_cast<int32_t>(run.size()));
        return {width, font_.ascent() + font_.descent()};
    }

    bool descent(int32_t& out) override {
        out = font_.descent();
        return true;
    }

    void render(std::u16string_view run, int32_t right, int32_t bottom) override {
        right = std::clamp(right, 0, text_bitmap_width);
        bottom = std::clamp(bottom, 0, text_bitmap_height);
        if (right == 0 || bottom == 0) return;
        std::string key = run_key(font_.key(), run, right, bottom);
        if (const std::vector<uint8_t>* coverage = cache_.find(key)) {
            blit_coverage(coverage->data(), right, bottom, pixels_);
            return;
        }
        std::vector<uint8_t> coverage(static_cast<size_t>(right) * static_cast<size_t>(bottom), 0);
        const bool drawn = tamber_web_font_render(font_.id(), run.data(), static_cast<int32_t>(run.size()), right,
                                                  bottom, coverage.data()) != 0;
        // A canvas that failed leaves the rectangle black, and is asked again
        // next time.
        blit_coverage(coverage.data(), right, bottom, pixels_);
        if (drawn) cache_.store(std::move(key), std::move(coverage));
    }

private:
    canvas_font& font_;
    uint8_t* pixels_;
    run_cache& cache_;
};

}  // namespace

std::string canvas_font_engine::css_families(const font_desc& desc) {
    std::string families;
    if (!desc.face.empty()) {
        families = css_family(desc.face) + ", ";
        for (const face_alias& alias : liberation_faces)
            if (same_face(desc.face, alias.face)) families += css_family(alias.liberation) + ", ";
    }
    return families + generic_family(desc.pitch_and_family);
}

std::unique_ptr<engine_font> canvas_font_engine::create_font(const font_desc& desc) {
    const std::string families = css_families(desc);
    const int32_t weight = std::clamp(desc.weight > 0 ? desc.weight : 400, 1, 1000);  // 0: FW_DONTCARE
    const int32_t id = tamber_web_font_create(families.c_str(), weight, desc.italic, desc.underline, desc.height);
    if (id <= 0) return nullptr;
    std::string key = std::to_string(desc.height) + ' ' + std::to_string(weight) + (desc.italic ? " i" : "") +
                      (desc.underline ? " u " : " ") + families;
    return std::make_unique<canvas_font>(id, std::move(key));
}

std::unique_ptr<engine_bitmap> canvas_font_engine::create_bitmap() { return std::make_unique<canvas_bitmap>(); }

std::unique_ptr<text_context> canvas_font_engine::open(engine_font& font, engine_bitmap& bitmap) {
    return std::make_unique<canvas_context>(static_cast<canvas_font&>(font), bitmap, cache_);
}

canvas_font_info canvas_font_engine::describe(const font& f) {
    if (dynamic_cast<canvas_font_engine*>(&f.engine()) == nullptr || f.get() == nullptr) return {};
    return static_cast<const canvas_font*>(f.get())->info();
}

uint32_t canvas_rasterised_runs() { return tamber_web_font_rasterised(); }

}  // namespace tamber::web
