// SHA-256 throughput: the compression paths one block at a time, streamed
// updates, and hash_file on a file in the page cache. Argument 0 is the SHA
// extensions path, 1 the portable path. scripts/bench-sha256.sh compares the
// file hashing with openssl and sha256sum in the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "update/sha256.h"

namespace {

using namespace tamber;

enum path_choice : int64_t { hardware = 0, portable = 1 };

// Selects the path for one benchmark; false (and the benchmark is skipped)
// when the CPU has no SHA extensions to measure.
bool choose_path(benchmark::State& state) {
    tamber::sha256_force_portable(state.range(0) == portable);
    if (state.range(0) == hardware && !sha256_hardware()) {
        state.SkipWithError("no SHA extensions on this CPU");
        return false;
    }
    state.SetLabel(state.range(0) == hardware ? "hardware" : "portable");
    return true;
}

std::vector<uint8_t> test_bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = uint8_t(i * 131 + (i >> 9));
    return bytes;
}

void bm_transform(benchmark::State& state) {
    if (!choose_path(state)) return;
    const std::vector<uint8_t> block = test_bytes(64);
    sha256_context context;
    sha256_init(context);
    for (auto _ : state) {
        sha256_transform(context, block.data());
        benchmark::DoNotOptimize(context.state);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 64);
    sha256_force_portable(false);
}
BENCHMARK(bm_transform)->Arg(hardware)->Arg(portable);

void bm_reference_transform(benchmark::State& state) {
    const std::vector<uint8_t> block = test_bytes(64);
    sha256_context context;
    sha256_init(context);
    for (auto _ : state) {
        reference::sha256_transform(context, block.data());
        benchmark::DoNotOptimize(context.state);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * 64);
}
BENCHMARK(bm_reference_transform);

// Streamed in 4096-byte pieces, as hash_file feeds it.
void bm_update(benchmark::State& state) {
    if (!choose_path(state)) return;
    const std::vector<uint8_t> data = test_bytes(1 << 20);
    uint8_t out[32];
    for (auto _ : state) {
        sha256_context context;
        sha256_init(context);
        for (size_t at = 0; at < data.size(); at += 4096) sha256_update(context, data.data() + at, 4096);
        sha256_final(context, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    sha256_force_portable(false);
}
BENCHMARK(bm_update)->Arg(hardware)->Arg(portable);

// A 32 MiB file, read through hash_file from the page cache.
void bm_hash_file(benchmark::State& state) {
    if (!choose_path(state)) return;
    const std::string name = "tamber_sha256_bench.tmp";
    const std::vector<uint8_t> data = test_bytes(32 << 20);
    if (std::FILE* file = std::fopen(name.c_str(), "wb")) {
        std::fwrite(data.data(), 1, data.size(), file);
        std::fclose(file);
    }
    uint8_t out[32];
    for (auto _ : state) {
        std::FILE* file = std::fopen(name.c_str(), "rb");
        if (!file) {
            state.SkipWithError("cannot open the scratch file");
            break;
        }
        benchmark::DoNotOptimize(hash_file(file, out));
        std::fclose(file);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(data.size()));
    std::error_code error;
    std::filesystem::remove(name, error);
    sha256_force_portable(false);
}
BENCHMARK(bm_hash_file)->Arg(hardware)->Arg(portable)->Unit(benchmark::kMillisecond);

}  // namespace
