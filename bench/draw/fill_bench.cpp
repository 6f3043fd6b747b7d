// The blending fills over a whole 800 x 600 frame: the translucent case
// against the per-byte reference (fill_span as dispatched, each packed
// kernel on its own, and fill_rect row by row), and the opaque case against
// memset of the same bytes. Prints the ratios measured in this run.
//
// Pass --benchmark_repetitions=N for steadier figures: the ratios then use
// the median of the repetitions.
#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "draw/frame_image.h"

namespace tamber {
namespace {

constexpr int32_t width = 800, height = 600;
constexpr size_t plane_bytes = size_t{width} * height;
constexpr colour translucent = 0xC0102030;
constexpr colour opaque = 0xFF90D8FE;

frame_image& frame() {
    static frame_image image(width, height);
    return image;
}

// One whole frame per iteration: the three planes.
void count_bytes(benchmark::State& state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 3 * static_cast<int64_t>(plane_bytes));
}

template <typename Fill>
void run(benchmark::State& state, Fill fill) {
    const frame_view v = frame().view();
    for (auto _ : state) {
        fill(v);
        benchmark::DoNotOptimize(v.plane[0]);
        benchmark::DoNotOptimize(v.plane[1]);
        benchmark::DoNotOptimize(v.plane[2]);
        benchmark::ClobberMemory();
    }
    count_bytes(state);
}

using bench::ratio_reporter;

void print_ratios(const ratio_reporter& r) {
    const double reference = r.time("fill_span/translucent/reference");
    std::printf("\n");
    auto faster = [&](const std::string& name, const std::string& label, const char* target) {
        const double t = r.time(name);
        if (t > 0 && reference > 0)
            std::printf("%s: %.1fx the scalar reference%s\n", label.c_str(), reference / t, target);
    };
    faster("fill_span/translucent", std::string("fill_span translucent (") + blend::active().name + ")",
           " (target >= 8x)");
    for (const auto& k : blend::packed_kernels())
        faster(std::string("fill_span/translucent/") + k.name, std::string("  ") + k.name + " kernel", "");
    faster("fill_rect/translucent/whole_frame", "fill_rect translucent, whole frame", "");

    const double memset_time = r.time("memset");
    const double opaque_time = r.time("fill_span/opaque");
    if (memset_time > 0 && opaque_time > 0)
        std::printf("fill_span opaque: %.2fx memset time (target <= 1.2x)\n", opaque_time / memset_time);
}

void register_benchmarks() {
    benchmark::RegisterBenchmark("fill_span/translucent/reference", [](benchmark::State& state) {
        run(state, [](const frame_view& v) { reference::fill_span(v, 0, plane_bytes, translucent); });
    });
    benchmark::RegisterBenchmark("fill_span/translucent", [](benchmark::State& state) {
        run(state, [](const frame_view& v) { fill_span(v, 0, plane_bytes, translucent); });
    });
    for (const auto& k : blend::packed_kernels()) {
        const blend::kernel_fn kernel = k.run;
        benchmark::RegisterBenchmark((std::string("fill_span/translucent/") + k.name).c_str(),
                                     [kernel](benchmark::State& state) {
                                         run(state, [kernel](const frame_view& v) {
                                             blend::fill_span_with(kernel, v, 0, plane_bytes, translucent);
                                         });
                                     });
    }
    benchmark::RegisterBenchmark("fill_rect/translucent/whole_frame", [](benchmark::State& state) {
        run(state, [](const frame_view& v) { fill_rect(v, 0, 0, width, height, translucent); });
    });
    benchmark::RegisterBenchmark("fill_span/opaque", [](benchmark::State& state) {
        run(state, [](const frame_view& v) { fill_span(v, 0, plane_bytes, opaque); });
    });
    benchmark::RegisterBenchmark("memset", [](benchmark::State& state) {
        run(state, [](const frame_view& v) {
            for (int i = 0; i < 3; ++i) std::memset(v.plane[i], static_cast<int>((opaque >> (16 - 8 * i)) & 0xFF), plane_bytes);
        });
    });
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
