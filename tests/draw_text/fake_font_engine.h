// A deterministic font engine for layout tests: every unit advances 8
// pixels, lines are 16 pixels high with a descent of 4, and every glyph
// that is not white space renders as a solid 6 x 10 box standing on the
// baseline (columns 1-6 and rows 2-11 of its 8 x 16 cell). It records every
// run it renders.
#pragma once

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "draw/font_engine.h"

namespace tamber::testing {

class fake_font_engine final : public font_engine {
public:
    static constexpr int32_t advance = 8;
    static constexpr int32_t line_height = 16;
    static constexpr int32_t descent_px = 4;

    struct rendered_run {
        int32_t font_height;
        std::u16string text;
        int32_t right, bottom;
    };
    std::vector<rendered_run> runs;
    int measures = 0;

    std::unique_ptr<engine_font> create_font(const font_desc& desc) override {
        return std::make_unique<fake_font>(desc);
    }
    std::unique_ptr<engine_bitmap> create_bitmap() override { return std::make_unique<fake_bitmap>(); }
    std::unique_ptr<text_context> open(engine_font& f, engine_bitmap& b) override {
        return std::make_unique<context>(*this, static_cast<fake_font&>(f), static_cast<fake_bitmap&>(b));
    }

private:
    struct fake_font final : engine_font {
        explicit fake_font(const font_desc& d) : desc(d) {}
        font_desc desc;
    };
    struct fake_bitmap final : engine_bitmap {
        std::vector<uint8_t> bytes = std::vector<uint8_t>(text_bitmap_stride * text_bitmap_height, 0x77);
        uint8_t* pixels() override { return bytes.data(); }
    };
    class context final : public text_context {
    public:
        context(fake_font_engine& e, fake_font& f, fake_bitmap& b) : engine_(e), font_(f), bitmap_(b) {}
        text_extent measure(std::u16string_view run) override {
            ++engine_.measures;
            return {static_cast<int32_t>(run.size()) * advance, line_height};
        }
        bool descent(int32_t& out) override {
            out = descent_px;
            return true;
        }
        void render(std::u16string_view run, int32_t right, int32_t bottom) override {
            engine_.runs.push_back({font_.desc.height, std::u16string(run), right, bottom});
            for (int32_t y = 0; y < bottom; ++y) {
                uint8_t* row = bitmap_.bytes.data() + static_cast<size_t>(y) * text_bitmap_stride;
                std::fill(row, row + 3 * right, 0);
                if (y < 2 || y >= 12) continue;
                for (size_t i = 0; i < run.size(); ++i) {
                    if (std::iswspace(static_cast<wint_t>(run[i]))) continue;
                    const int32_t x0 = static_cast<int32_t>(i) * advance + 1;
                    const int32_t x1 = std::min(x0 + 6, right);
                    for (int32_t x = x0; x < x1; ++x) row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = 255;
                }
            }
        }

    private:
        fake_font_engine& engine_;
        fake_font& font_;
        fake_bitmap& bitmap_;
    };
};

}  // namespace tamber::testing
