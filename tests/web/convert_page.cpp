// The pixel converters in the browser (test_convert.py builds this page
// with em++ -msimd128 and reads its console): every packed routine against
// the scalar rule on random planes, then the time of 200 frames of 800x600
// through the scalar and the packed rgbx32 and rgba32 routines. The native
// test build, which compiles every tests/web/*.cpp, gets nothing from it.
#if defined(__EMSCRIPTEN__)

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "display/pixel_convert.h"

namespace tamber::web {
namespace {

ddraw::pixel_format rgb(uint32_t bits, uint32_t red, uint32_t green, uint32_t blue) {
    return {ddraw::pf_rgb, bits, red, green, blue, 0};
}

// A format of each routine kind, the 16-bit ones with and without a
// byte-wise routine.
const ddraw::pixel_format formats[] = {
    rgb(32, 0xFF0000, 0x00FF00, 0x0000FF), rgb(32, 0x0000FF, 0x00FF00, 0xFF0000),
    rgb(24, 0xFF0000, 0x00FF00, 0x0000FF), rgb(24, 0x0000FF, 0x00FF00, 0xFF0000),
    rgb(16, 0xF800, 0x07E0, 0x001F),       rgb(16, 0xF0000, 0x7, 0x38),
    rgb(24, 0x00FF00, 0xFF0000, 0x0000FF), rgb(32, 0x3FF00000, 0x000FFC00, 0x000003FF),
};

// A packed routine and the scalar one it must match.
struct pair {
    std::string name;
    convert_row_fn packed, scalar;
    channel_layout layout;
    size_t size;  // bytes per pixel
};

std::vector<pair> pairs_of(const converter_set& set) {
    std::vector<pair> pairs;
    for (const auto& format : formats) {
        const converter packed = select_converter_from(set, format);
        const converter scalar = select_converter_from(scalar_converters(), format);
        pairs.push_back({std::string(set.name) + " " + packed.name + " red mask " + std::to_string(format.red_mask),
                         packed.row, scalar.row, packed.layout, format.rgb_bit_count / 8});
    }
    pairs.push_back({std::string(set.name) + " rgba32", set.rgba32, scalar_converters().rgba32,
                     rgba_converter().layout, 4});
    return pairs;
}

// Rows of widths 1 to 40 and 800 from random planes; the bytes after each
// row must stay as they were. The number of rows that differ.
int check(const pair& p, std::mt19937& random) {
    std::uniform_int_distribution<int> byte(0, 255);
    constexpr size_t guard = 64;
    std::vector<size_t> widths;
    for (size_t w = 1; w <= 40; ++w) widths.push_back(w);
    widths.push_back(800);
    int failures = 0;
    for (size_t width : widths) {
        std::vector<uint8_t> planes[3];
        for (auto& plane : planes) {
            plane.resize(width);
            for (auto& b : plane) b = static_cast<uint8_t>(byte(random));
        }
        std::vector<uint8_t> got(width * p.size + guard, 0xA5), want(got);
        p.packed(planes[0].data(), planes[1].data(), planes[2].data(), got.data(), width, p.layout);
        p.scalar(planes[0].data(), planes[1].data(), planes[2].data(), want.data(), width, p.layout);
        for (size_t k = 0; k < got.size(); ++k) {
            if (got[k] != want[k]) {
                std::printf("convert: mismatch %s width %zu byte %zu: %d, want %d\n", p.name.c_str(), width, k,
                            got[k], want[k]);
                ++failures;
                break;
            }
        }
    }
    return failures;
}

// Milliseconds for `frames` frames of 800x600 through `row`, a row at a
// time as a presenter converts them.
double time_frames(convert_row_fn row, const channel_layout& layout, int frames, uint32_t& sum) {
    constexpr size_t width = 800, height = 600;
    std::vector<uint8_t> planes[3];
    std::mt19937 random(7);
    for (auto& plane : planes) {
        plane.resize(width * height);
        for (auto& b : plane) b = static_cast<uint8_t>(random());
    }
    std::vector<uint8_t> out(width * height * 4);
    const auto frame = [&] {
        for (size_t y = 0; y < height; ++y)
            row(planes[0].data() + y * width, planes[1].data() + y * width, planes[2].data() + y * width,
                out.data() + y * width * 4, width, layout);
        sum += out[(sum % height) * width * 4];  // keeps every frame's work observable
    };
    frame();  // compiled and in the cache before the clock starts
    const auto start = std::chrono::steady_clock::now();
    for (int f = 0; f < frames; ++f) frame();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void measure(const char* name, convert_row_fn scalar, convert_row_fn packed, const channel_layout& layout) {
    constexpr int frames = 200;
    uint32_t sum = 0;
    const double scalar_ms = time_frames(scalar, layout, frames, sum);
    const double packed_ms = time_frames(packed, layout, frames, sum);
    std::printf("convert: measure %s %d frames scalar %.1f ms %s %.1f ms ratio %.2f (sum %u)\n", name, frames,
                scalar_ms, active_converters().name, packed_ms, scalar_ms / packed_ms, sum);
}

}  // namespace
}  // namespace tamber::web

int main() {
    using namespace tamber;
    using namespace tamber::web;
    std::string names;
    for (const converter_set& set : packed_converters()) names += std::string(" ") + set.name;
    std::printf("convert: sets%s\n", names.c_str());
    std::mt19937 random(20261210);
    int routines = 0, failures = 0;
    for (const converter_set& set : packed_converters()) {
        for (const pair& p : pairs_of(set)) {
            ++routines;
            failures += check(p, random);
        }
    }
    std::printf("convert: checked %d routines, %d mismatches\n", routines, failures);

    const converter rgbx = select_converter(rgb(32, 0x0000FF, 0x00FF00, 0xFF0000));
    measure("rgbx32", scalar_converters().rgbx32, rgbx.row, rgbx.layout);
    const converter rgba = rgba_converter();
    measure("rgba32", scalar_converters().rgba32, rgba.row, rgba.layout);
    std::printf("convert: done\n");
    return 0;
}

#endif  // __EMSCRIPTEN__
