// The page of the canvas font engine's browser test (test_canvas_font.py):
// exported functions the test calls through ccall, each answering with a
// small JSON object.
#include <emscripten/emscripten.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "draw/frame_image.h"
#include "draw/progress_screen.h"
#include "draw/text.h"
#include "platform/web/canvas_font.h"

using namespace tamber;

namespace {

web::canvas_font_engine& engine() {
    static web::canvas_font_engine e;
    return e;
}

render_bitmap& bitmap() {
    static render_bitmap b(engine());
    return b;
}

std::vector<std::unique_ptr<font>>& fonts() {
    static std::vector<std::unique_ptr<font>> all;
    return all;
}

// UTF-8 to UTF-16 (well-formed input only: the test's own strings).
std::u16string utf16(const char* text) {
    std::u16string out;
    for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p;) {
        char32_t c = *p++;
        int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (more) c &= 0x3F >> more;
        for (; more > 0 && *p; --more) c = (c << 6) | (*p++ & 0x3F);
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

const char* answer(const std::string& json) {
    static std::string kept;
    kept = json;
    return kept.c_str();
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string number(const char* name, long long value) { return "\"" + std::string(name) + "\":" + std::to_string(value); }

std::unique_ptr<text_context> open(int f) { return engine().open(*fonts().at(f)->get(), *bitmap().get()); }

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int page_font(int height, int weight, int italic, int underline, const char* face) {
    const font_desc desc{height, weight, italic != 0, underline != 0, 0x20, face};
    auto f = std::make_unique<font>(engine(), desc);
    if (f->get() == nullptr) return -1;
    fonts().push_back(std::move(f));
    return static_cast<int>(fonts().size()) - 1;
}

EMSCRIPTEN_KEEPALIVE const char* page_measure(int f, const char* text) {
    const auto dc = open(f);
    const std::u16string run = utf16(text);
    const text_extent m = dc->measure(run);
    int32_t descent = -1;
    dc->descent(descent);
    // The sum of the run's characters measured one by one (a surrogate pair
    // is one character).
    long long sum = 0;
    for (size_t i = 0; i < run.size();) {
        const size_t n = (run[i] >= 0xD800 && run[i] < 0xDC00 && i + 1 < run.size()) ? 2 : 1;
        sum += dc->measure(std::u16string_view(run).substr(i, n)).width;
        i += n;
    }
    const web::canvas_font_info info = web::canvas_font_engine::describe(*fonts().at(f));
    return answer("{" + number("width", m.width) + "," + number("height", m.height) + "," +
                  number("descent", descent) + "," + number("ascent", info.ascent) + "," +
                  number("sum", sum) + ",\"css\":" + quoted(info.css) + "}");
}

// Units that UTF-8 cannot carry: a pair for U+1D400 and each of its halves
// alone.
EMSCRIPTEN_KEEPALIVE const char* page_surrogates(int f) {
    const auto dc = open(f);
    const char16_t pair[] = {0xD835, 0xDC00};
    const std::u16string_view both(pair, 2), high(pair, 1), low(pair + 1, 1);
    return answer("{" + number("pair", dc->measure(both).width) + "," + number("high", dc->measure(high).width) +
                  "," + number("low", dc->measure(low).width) + "}");
}

// Renders the run into a bitmap filled with 0x55 and describes what it
// holds: where coverage is, whether it is grey and whether anything outside
// the rectangle changed.
EMSCRIPTEN_KEEPALIVE const char* page_render(int f, const char* text, int right, int bottom) {
    uint8_t* pixels = bitmap().get()->pixels();
    std::fill_n(pixels, text_bitmap_stride * text_bitmap_height, uint8_t{0x55});
    open(f)->render(utf16(text), right, bottom);
    long long lit = 0, full = 0, max_x = -1, max_y = -1, min_y = -1, grey = 1, outside = 0;
    uint32_t hash = 2166136261u;
    for (int32_t y = 0; y < text_bitmap_height; ++y)
        for (int32_t x = 0; x < text_bitmap_width; ++x) {
            const uint8_t* p = pixels + static_cast<size_t>(y) * text_bitmap_stride + 3 * static_cast<size_t>(x);
            if (x >= right || y >= bottom) {
                outside += p[0] != 0x55 || p[1] != 0x55 || p[2] != 0x55;
                continue;
            }
            grey &= p[0] == p[1] && p[1] == p[2];
            hash = (hash ^ p[0]) * 16777619u;
            if (p[0] == 0) continue;
            ++lit;
            full += p[0] == 255;
            max_x = std::max<long long>(max_x, x);
            max_y = std::max<long long>(max_y, y);
            if (min_y < 0) min_y = y;
        }
    return answer("{" + number("lit", lit) + "," + number("full", full) + "," + number("max_x", max_x) + "," +
                  number("min_y", min_y) + "," + number("max_y", max_y) + "," + number("grey", grey) + "," +
                  number("outside", outside) + "," + number("hash", hash) + "}");
}

EMSCRIPTEN_KEEPALIVE const char* page_counts() {
    const web::run_cache& cache = engine().cache();
    return answer("{" + number("hits", static_cast<long long>(cache.hits())) + "," +
                  number("misses", static_cast<long long>(cache.misses())) + "," +
                  number("canvas", web::canvas_rasterised_runs()) + "," +
                  number("bytes", static_cast<long long>(cache.bytes())) + "}");
}

// `frames` frames of the progress screen with an engine of its own: a
// failed transfer (status and file line the same every frame) or, with
// `vary`, a download whose percentage changes every tenth frame.
EMSCRIPTEN_KEEPALIVE const char* page_progress(int frames, int vary) {
    web::canvas_font_engine own;
    const font large(own, large_font_desc()), small(own, small_font_desc());
    render_bitmap own_bitmap(own);
    const text_resources text{large, small, own_bitmap};
    frame_image frame(800, 600);
    progress_status status;
    status.state = vary ? downloading : failed_transfer;
    status.total_bytes = 1000;
    status.current_name = "rootname.bin";
    std::set<std::u16string> lines;
    const uint32_t canvas_before = web::canvas_rasterised_runs();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        status.step_count = static_cast<uint32_t>(i);
        if (vary) status.done_bytes = static_cast<uint32_t>(i / 10 * 100);
        lines.insert(progress_status_line(status, u"Retrieving file list..."));
        draw_progress_screen(status, frame.view(), 400, 300, u"Retrieving file list...", text);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    // Lit pixels of the last frame's red plane around the status line.
    long long lit = 0;
    for (int32_t y = 280; y < 320; ++y)
        for (int32_t x = 250; x < 550; ++x) lit += frame.plane(2)[y * 800 + x] > 0x80;
    const long long distinct = static_cast<long long>(lines.size()) + (vary ? 0 : 1);
    return answer("{" + number("hits", static_cast<long long>(own.cache().hits())) + "," +
                  number("misses", static_cast<long long>(own.cache().misses())) + "," +
                  number("canvas", web::canvas_rasterised_runs() - canvas_before) + "," +
                  number("distinct", distinct) + "," + number("lit", lit) + "," +
                  number("micros", static_cast<long long>(ms * 1000)) + "}");
}

}  // extern "C"
