// One whole progress-screen frame (background, panel, bars, status line and
// file line, text through FreeType) against an opaque fill of the whole
// frame, and the packed coverage blend against its scalar reference. Prints
// the ratios measured in this run.
//
// Pass --benchmark_repetitions=N for steadier figures: the ratios then use
// the median of the repetitions.
#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "draw/progress_screen.h"
#include "draw/text.h"
#include "platform/native/freetype_font.h"

namespace tamber {
namespace {

constexpr int32_t width = 800, height = 600;

struct scene {
    freetype_font_engine engine;
    font large{engine, large_font_desc()};
    font small{engine, small_font_desc()};
    render_bitmap bitmap{engine};
    text_resources text{large, small, bitmap};
    frame_image image{width, height};
};

scene& the_scene() {
    static scene s;
    return s;
}

void keep(const frame_view& v) {
    benchmark::DoNotOptimize(v.plane[0]);
    benchmark::DoNotOptimize(v.plane[1]);
    benchmark::DoNotOptimize(v.plane[2]);
    benchmark::ClobberMemory();
}

// The bootstrap applet's frame: background, then the screen.
void draw_frame(const frame_view& v, const progress_status& status, std::u16string_view message) {
    draw_rect(v, {0, 0, v.width, v.height}, 0xFF000025, 0xFF000025);
    draw_progress_screen(status, v, v.width / 2, v.height / 2, message, the_scene().text);
}

void register_benchmarks() {
    benchmark::RegisterBenchmark("opaque_fill/whole_frame", [](benchmark::State& state) {
        const frame_view v = the_scene().image.view();
        for (auto _ : state) {
            fill_rect(v, 0, 0, width, height, 0xFF000025);
            keep(v);
        }
    });
    benchmark::RegisterBenchmark("progress_screen/failed_with_file_line", [](benchmark::State& state) {
        const frame_view v = the_scene().image.view();
        progress_status status;
        status.state = failed_transfer;
        status.current_name = "games/roulette/table.dat";
        for (auto _ : state) {
            ++status.step_count;
            draw_frame(v, status, u"Error downloading Quillon");
            keep(v);
        }
    });
    benchmark::RegisterBenchmark("progress_screen/downloading_33", [](benchmark::State& state) {
        const frame_view v = the_scene().image.view();
        progress_status status;
        status.state = downloading;
        status.total_bytes = 3;
        status.done_bytes = 1;
        for (auto _ : state) {
            ++status.step_count;
            draw_frame(v, status, u"Downloading Quillon...");
            keep(v);
        }
    });

    // One line of the large font: 300 x 22 pixels of the text bitmap.
    static std::vector<uint8_t> coverage = [] {
        std::vector<uint8_t> c(text_bitmap_stride * 22);
        std::mt19937 rng(7);
        for (auto& b : c) b = static_cast<uint8_t>(rng());
        return c;
    }();
    benchmark::RegisterBenchmark("blend_coverage/line", [](benchmark::State& state) {
        const frame_view v = the_scene().image.view();
        for (auto _ : state) {
            blend_coverage(coverage.data(), 300, 22, text_bitmap_stride, v, 258, 289, 0xFF90D8FE);
            keep(v);
        }
    });
    benchmark::RegisterBenchmark("blend_coverage/line/reference", [](benchmark::State& state) {
        const frame_view v = the_scene().image.view();
        for (auto _ : state) {
            reference::blend_coverage(coverage.data(), 300, 22, text_bitmap_stride, v, 258, 289, 0xFF90D8FE);
            keep(v);
        }
    });
}

using bench::ratio_reporter;

void print_ratios(const ratio_reporter& r) {
    std::printf("\n");
    const double fill = r.time("opaque_fill/whole_frame");
    for (const char* name : {"progress_screen/failed_with_file_line", "progress_screen/downloading_33"}) {
        const double t = r.time(name);
        if (fill > 0 && t > 0)
            std::printf("%s: %.2fx an opaque fill of the whole frame (target <= 4x)\n", name, t / fill);
    }
    const double packed = r.time("blend_coverage/line"), scalar = r.time("blend_coverage/line/reference");
    if (packed > 0 && scalar > 0) std::printf("blend_coverage: %.1fx faster than the scalar reference\n", scalar / packed);
}

}  // namespace
}  // namespace tamber

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tamber::register_benchmarks();
    tamber::ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    tamber::print_ratios(reporter);
    return 0;
}
