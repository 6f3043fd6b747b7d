// Converting a whole 800 x 600 frame into a surface: convert_frame into a
// 32-bit BGRX, a 24-bit and a 16-bit 5-6-5 surface, each against memcpy of
// the same number of output bytes, plus every converter set on its own and
// the scalar rule. Prints the ratios measured in this run.
//
// It also times the memory traffic of a conversion with no arithmetic: read
// the three planes, store the output bytes. That is the floor any converter
// meets; where it is above memcpy, the cache holds memcpy's working set but
// not the conversion's (for 5-6-5: 1.92 MB against 2.4 MB).
//
// Each benchmark runs five times, interleaved in random order with the
// others, and the ratios use the medians: the machine is shared, and a
// burst of other work then spreads over all of them instead of skewing one.
// Other --benchmark_repetitions values are taken as given.
#include <benchmark/benchmark.h>

#include "ratio_reporter.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "display/present.h"
#include "draw/frame_image.h"

namespace tamber {
namespace {

constexpr int32_t width = 800, height = 600;

// A surface in plain memory, rows tightly packed, starting on a cache line
// as surface memory does.
class memory_surface final : public ddraw::surface {
public:
    explicit memory_surface(uint32_t bytes_per_pixel)
        : pitch_(static_cast<int32_t>(width * bytes_per_pixel)),
          bytes_(size_t{width} * height * bytes_per_pixel),
          storage_(bytes_ + 64) {}

    size_t bytes() const { return bytes_; }
    uint8_t* data() {
        const auto at = reinterpret_cast<uintptr_t>(storage_.data());
        return storage_.data() + ((64 - at % 64) % 64);
    }

    hresult is_lost() override { return 0; }
    hresult restore() override { return 0; }
    hresult get_surface_desc(ddraw::surface_desc&) override { return 0; }
    hresult lock(ddraw::surface_desc& desc, uint32_t) override {
        desc.width = width;
        desc.height = height;
        desc.pitch = pitch_;
        desc.memory = data();
        return 0;
    }
    hresult unlock() override { return 0; }
    hresult blt(const rect*, ddraw::surface&, uint32_t, uint32_t) override { return 0; }
    hresult flip(uint32_t) override { return 0; }
    hresult get_attached_surface(uint32_t, std::unique_ptr<ddraw::surface>&) override { return ddraw::err_generic; }
    hresult set_clipper(ddraw::clipper&) override { return 0; }

private:
    int32_t pitch_;
    size_t bytes_;
    std::vector<uint8_t> storage_;
};

// A frame of noise, so that no converter meets only zero bytes.
frame_image& frame() {
    static frame_image image(width, height);
    static const bool filled = [] {
        uint32_t seed = 12345;
        for (int p = 0; p < 3; ++p)
            for (size_t i = 0; i < size_t{width} * height; ++i) {
                seed = seed * 1664525 + 1013904223;
                image.plane(p)[i] = static_cast<uint8_t>(seed >> 24);
            }
        return true;
    }();
    (void)filled;
    return image;
}

// Reads the three planes and stores BytesPerPixel bytes per pixel, one
// vector of pixels per step, with no conversion: the memory traffic of
// convert_frame alone. One xor keeps every load in use.
template <typename Bytes, uint32_t BytesPerPixel>
void traffic_only(const frame_view& view, uint8_t* out) {
    constexpr size_t step = sizeof(Bytes);
    const size_t pixels = size_t{width} * height;
    for (size_t i = 0; i < pixels; i += step) {
        Bytes v[4];
        std::memcpy(&v[0], view.plane[0] + i, step);
        std::memcpy(&v[1], view.plane[1] + i, step);
        std::memcpy(&v[2], view.plane[2] + i, step);
        v[3] = v[0] ^ v[1];
        for (uint32_t k = 0; k < BytesPerPixel; ++k, out += step) std::memcpy(out, &v[3 - k], step);
    }
}

#if defined(__x86_64__) || defined(__i386__)
using bytes32 = uint8_t __attribute__((vector_size(32)));
template <uint32_t BytesPerPixel>
__attribute__((target("avx2"))) void traffic_only_avx2(const frame_view& view, uint8_t* out) {
    traffic_only<bytes32, BytesPerPixel>(view, out);
}
#endif

using traffic_fn = void (*)(const frame_view&, uint8_t*);

template <uint32_t BytesPerPixel>
traffic_fn traffic_for_cpu() {
#if defined(__x86_64__) || defined(__i386__)
    if (__builtin_cpu_supports("avx2")) return traffic_only_avx2<BytesPerPixel>;
#endif
    return traffic_only<uint64_t, BytesPerPixel>;
}

traffic_fn traffic_for(uint32_t bytes_per_pixel) {
    switch (bytes_per_pixel) {
    case 2: return traffic_for_cpu<2>();
    case 3: return traffic_for_cpu<3>();
    default: return traffic_for_cpu<4>();
    }
}

struct format_case {
    const char* name;
    uint32_t bytes_per_pixel;
    ddraw::pixel_format format;
};
const format_case formats[] = {
    {"bgrx32", 4, {ddraw::pf_rgb, 32, 0xFF0000, 0x00FF00, 0x0000FF, 0}},
    {"bgr24", 3, {ddraw::pf_rgb, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0}},
    {"rgb565", 2, {ddraw::pf_rgb, 16, 0xF800, 0x07E0, 0x001F, 0}},
};

using bench::ratio_reporter;

void register_benchmarks() {
    for (const format_case& f : formats) {
        const std::string name = f.name;
        benchmark::RegisterBenchmark(("convert_frame/" + name).c_str(), [f](benchmark::State& state) {
            memory_surface target(f.bytes_per_pixel);
            const frame_view view = frame().view();
            for (auto _ : state) {
                benchmark::DoNotOptimize(convert_frame(view, target, f.format));
                benchmark::ClobberMemory();
            }
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * target.bytes()));
        });
        benchmark::RegisterBenchmark(("memcpy/" + name).c_str(), [f](benchmark::State& state) {
            memory_surface target(f.bytes_per_pixel), source(f.bytes_per_pixel);
            std::memset(source.data(), 0x5A, source.bytes());
            for (auto _ : state) {
                std::memcpy(target.data(), source.data(), source.bytes());
                benchmark::DoNotOptimize(target.data());
                benchmark::ClobberMemory();
            }
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * target.bytes()));
        });
        benchmark::RegisterBenchmark(("traffic/" + name).c_str(), [f](benchmark::State& state) {
            memory_surface target(f.bytes_per_pixel);
            const frame_view view = frame().view();
            const traffic_fn traffic = traffic_for(f.bytes_per_pixel);
            for (auto _ : state) {
                traffic(view, target.data());
                benchmark::ClobberMemory();
            }
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * target.bytes()));
        });
        std::vector<converter_set> sets = packed_converters();
        sets.insert(sets.begin(), scalar_converters());
        for (const converter_set& set : sets) {
            const converter c = select_converter_from(set, f.format);
            benchmark::RegisterBenchmark(("rows/" + name + "/" + set.name).c_str(), [c, f](benchmark::State& state) {
                memory_surface target(f.bytes_per_pixel);
                const frame_view view = frame().view();
                const size_t pitch = size_t{width} * f.bytes_per_pixel;
                for (auto _ : state) {
                    for (size_t y = 0; y < height; ++y) {
                        const size_t o = y * width;
                        c.row(view.plane[0] + o, view.plane[1] + o, view.plane[2] + o, target.data() + y * pitch,
                              width, c.layout);
                    }
                    benchmark::ClobberMemory();
                }
                state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * target.bytes()));
            });
        }
    }
}

// convert_frame against memcpy timed in alternating blocks of ten frames,
// thirty-one blocks each: both see the same state of a shared machine.
// Returns the ratio of the median block times.
double paired_ratio(const format_case& f) {
    memory_surface target(f.bytes_per_pixel), source(f.bytes_per_pixel);
    std::memset(source.data(), 0x5A, source.bytes());
    const frame_view view = frame().view();
    using clock = std::chrono::steady_clock;
    std::vector<double> convert, copy;
    for (int block = 0; block < 31; ++block) {
        auto start = clock::now();
        for (int i = 0; i < 10; ++i) benchmark::DoNotOptimize(convert_frame(view, target, f.format));
        convert.push_back(std::chrono::duration<double>(clock::now() - start).count());
        start = clock::now();
        for (int i = 0; i < 10; ++i) {
            std::memcpy(target.data(), source.data(), source.bytes());
            benchmark::ClobberMemory();
        }
        copy.push_back(std::chrono::duration<double>(clock::now() - start).count());
    }
    std::sort(convert.begin(), convert.end());
    std::sort(copy.begin(), copy.end());
    return convert[convert.size() / 2] / copy[copy.size() / 2];
}

void print_ratios(const ratio_reporter& r) {
    std::printf("\nconverters in use: %s\n", active_converters().name);
    for (const format_case& f : formats) {
        const double convert = r.time(std::string("convert_frame/") + f.name);
        const double copy = r.time(std::string("memcpy/") + f.name);
        const double scalar = r.time(std::string("rows/") + f.name + "/scalar");
        const double traffic = r.time(std::string("traffic/") + f.name);
        if (convert > 0 && copy > 0)
            std::printf("convert_frame %-7s %.2fx the memcpy time of its output (%.2fx timed in alternation; target "
                        "<= 1.1x), %.1fx faster than the scalar rule; its memory traffic alone: %.2fx\n",
                        f.name, convert / copy, paired_ratio(f), scalar > 0 ? scalar / convert : 0.0,
                        traffic / copy);
    }
}

}  // namespace
}  // namespace tamber

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    bool repetitions_given = false;
    for (char* a : args) repetitions_given |= std::strncmp(a, "--benchmark_repetitions", 23) == 0;
    char repetitions[] = "--benchmark_repetitions=5";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    if (!repetitions_given) {
        args.push_back(repetitions);
        args.push_back(interleaving);
    }
    argc = static_cast<int>(args.size());
    args.push_back(nullptr);
    argv = args.data();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tamber::register_benchmarks();
    tamber::ratio_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    tamber::print_ratios(reporter);
    return 0;
}
