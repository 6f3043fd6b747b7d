// The packed blending paths against the per-byte reference: each kernel this
// processor can run, called directly, and fill_span as dispatched.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "draw/frame_image.h"

namespace tamber {
namespace {

// Three planes of `size` bytes and a view of them.
struct planes {
    explicit planes(size_t size) {
        for (auto& p : bytes) p.resize(size);
    }
    frame_view view() {
        frame_view v{};
        for (int i = 0; i < 3; ++i) v.plane[i] = bytes[i].data();
        return v;
    }
    void randomise(std::mt19937& rng) {
        for (auto& p : bytes)
            for (auto& b : p) b = static_cast<uint8_t>(rng());
    }
    std::vector<uint8_t> bytes[3];
};

// A span filler under test: a kernel called directly, or fill_span itself.
struct path {
    std::string name;
    void (*fill)(blend::kernel_fn, const frame_view&, size_t, size_t, colour);
    blend::kernel_fn kernel;
};

std::vector<path> paths() {
    std::vector<path> all;
    for (const auto& k : blend::packed_kernels()) all.push_back({k.name, blend::fill_span_with, k.run});
    all.push_back({"fill_span",
                   [](blend::kernel_fn, const frame_view& v, size_t offset, size_t count, colour c) {
                       fill_span(v, offset, count, c);
                   },
                   nullptr});
    return all;
}

// Runs one span through the path and through the reference, from the same
// bytes, and compares all three planes in full (the bytes around the span
// must be left alone too).
void expect_same(const path& p, planes& start, size_t offset, size_t count, colour c) {
    planes expected = start;
    planes actual = start;
    reference::fill_span(expected.view(), offset, count, c);
    p.fill(p.kernel, actual.view(), offset, count, c);
    for (int i = 0; i < 3; ++i) {
        if (actual.bytes[i] == expected.bytes[i]) continue;
        const auto mismatch = std::mismatch(actual.bytes[i].begin(), actual.bytes[i].end(), expected.bytes[i].begin());
        const size_t at = static_cast<size_t>(mismatch.first - actual.bytes[i].begin());
        ADD_FAILURE() << p.name << ": colour " << std::hex << c << std::dec << ", offset " << offset << ", count "
                      << count << ": plane " << i << " byte " << at << " is " << int(*mismatch.first)
                      << ", expected " << int(*mismatch.second) << " (was " << int(start.bytes[i][at]) << ")";
        return;
    }
}

TEST(fill_span_kernels, every_packed_path_this_processor_has_is_tested) {
    std::vector<std::string> names;
    for (const auto& k : blend::packed_kernels()) names.push_back(k.name);
    std::vector<std::string> expected;
#if defined(__SSE2__) && (defined(__i386__) || defined(__x86_64__))
    expected.push_back("sse2");
    if (__builtin_cpu_supports("avx2")) expected.push_back("avx2");
#endif
    EXPECT_EQ(names, expected);
    // fill_span uses the widest of them.
    EXPECT_EQ(std::string(blend::active().name), expected.empty() ? "scalar" : expected.back());
}

TEST(fill_span_kernels, every_byte_opacity_and_component) {
    // Every byte value at an even and at an odd position (the packed kernels
    // treat the two bytes of a 16-bit lane differently).
    std::vector<uint8_t> all(512);
    for (size_t n = 0; n < all.size(); ++n) all[n] = static_cast<uint8_t>(n / 2);
    for (const auto& k : blend::packed_kernels()) {
        int failures = 0;
        for (uint32_t a = 1; a < 255 && failures < 5; ++a)
            for (uint32_t c = 0; c < 256 && failures < 5; ++c) {
                std::vector<uint8_t> bytes = all;
                k.run(bytes.data(), bytes.size(), a, c);
                for (size_t n = 0; n < bytes.size(); ++n) {
                    const uint32_t p = all[n];
                    const uint32_t want = std::min<uint32_t>(255, ((p * (255 - a)) >> 8) + c);
                    if (bytes[n] != want) {
                        ADD_FAILURE() << k.name << ": " << p << " under opacity " << a << ", component " << c
                                      << " gave " << int(bytes[n]) << ", expected " << want;
                        ++failures;
                        break;
                    }
                }
            }
    }
}

TEST(fill_span_kernels, match_the_reference_at_every_offset_count_and_opacity) {
    std::mt19937 rng(12345);
    planes start(64 + 800 + 64);
    for (const auto& p : paths()) {
        for (uint32_t a = 0; a < 256; ++a) {
            start.randomise(rng);
            // Counts 0 to 100 cover every remainder after the 16- and 32-byte
            // steps; the offset moves the span across alignments.
            for (size_t count = 0; count <= 100; ++count)
                expect_same(p, start, (count * 7 + a) % 64, count, a << 24 | (rng() & 0xFFFFFF));
            expect_same(p, start, a % 64, 800, a << 24 | (rng() & 0xFFFFFF));
            if (HasFailure()) return;
        }
    }
}

TEST(fill_span_kernels, match_the_reference_over_a_whole_frame) {
    std::mt19937 rng(4242);
    constexpr size_t size = 800 * 600;
    planes start(size);
    start.randomise(rng);
    for (const auto& p : paths())
        for (uint32_t a : {0x00u, 0x01u, 0x02u, 0x40u, 0x7Fu, 0x80u, 0x81u, 0xC0u, 0xFDu, 0xFEu, 0xFFu}) {
            expect_same(p, start, 0, size, a << 24 | (rng() & 0xFFFFFF));
            expect_same(p, start, 1, size - 1, a << 24 | (rng() & 0xFFFFFF));
        }
}

TEST(fill_span_kernels, fill_rect_matches_the_reference_row_by_row) {
    std::mt19937 rng(99);
    planes actual(800 * 600);
    actual.randomise(rng);
    planes expected = actual;
    frame_view av = actual.view(), ev = expected.view();
    av.width = ev.width = 800;
    av.height = ev.height = 600;
    av.pitch = ev.pitch = 800;
    for (colour c : {0xC0102030u, 0x01FFFFFFu, 0xFE000000u, 0xFF90D8FEu, 0x80808080u}) {
        const int32_t l = static_cast<int32_t>(rng() % 900) - 50, t = static_cast<int32_t>(rng() % 700) - 50;
        const int32_t r = l + static_cast<int32_t>(rng() % 500), b = t + static_cast<int32_t>(rng() % 400);
        fill_rect(av, l, t, r, b, c);
        for (int32_t y = std::max(t, 0); y < std::min(b, 600); ++y)
            if (std::max(l, 0) < std::min(r, 800))
                reference::fill_span(ev, static_cast<size_t>(y) * 800 + static_cast<size_t>(std::max(l, 0)),
                                     static_cast<size_t>(std::min(r, 800) - std::max(l, 0)), c);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(actual.bytes[i] == expected.bytes[i]) << "colour " << std::hex << c;
    }
}

}  // namespace
}  // namespace tamber
