#include "platform/web/run_cache.h"

#include <gtest/gtest.h>

#include "draw/font_engine.h"

namespace tamber::web {
namespace {

std::vector<uint8_t> coverage_of(size_t n, uint8_t value) { return std::vector<uint8_t>(n, value); }

TEST(RunKey, EveryPartTellsKeysApart) {
    const std::string base = run_key("700 20px Arial", u"Retrieving", 100, 22);
    EXPECT_EQ(base, run_key("700 20px Arial", u"Retrieving", 100, 22));
    EXPECT_NE(base, run_key("400 20px Arial", u"Retrieving", 100, 22));
    EXPECT_NE(base, run_key("700 20px Arial", u"Retrieving.", 100, 22));
    EXPECT_NE(base, run_key("700 20px Arial", u"Retrieving", 99, 22));
    EXPECT_NE(base, run_key("700 20px Arial", u"Retrieving", 100, 21));
    // The font's end is not guessed from the bytes: a font name ending in
    // what another run begins with is another key.
    EXPECT_NE(run_key("ab", u"c", 1, 1), run_key("a", u"bc", 1, 1));
    EXPECT_NE(run_key(std::string_view("a\0", 2), u"", 1, 1), run_key("a", u"\0", 1, 1));
}

TEST(RunCache, FindsWhatWasStoredAndCounts) {
    run_cache cache;
    const std::string key = run_key("f", u"run", 3, 2);
    EXPECT_EQ(cache.find(key), nullptr);
    cache.store(key, {1, 2, 3, 4, 5, 6});
    for (int i = 0; i < 99; ++i) {
        const std::vector<uint8_t>* found = cache.find(key);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    }
    EXPECT_EQ(cache.misses(), 1u);
    EXPECT_EQ(cache.hits(), 99u);
    // Storing under the same key replaces, and is counted once.
    const size_t bytes = cache.bytes();
    cache.store(key, {9, 9, 9, 9, 9, 9});
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.bytes(), bytes);
    EXPECT_EQ((*cache.find(key))[0], 9);
    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.bytes(), 0u);
    EXPECT_EQ(cache.find(key), nullptr);
}

TEST(RunCache, DropsTheLeastRecentlyUsedPastTheLimit) {
    // Room for three runs of 1000 bytes with their keys, not four.
    run_cache cache(3500);
    const std::string a = run_key("f", u"a", 100, 10), b = run_key("f", u"b", 100, 10),
                      c = run_key("f", u"c", 100, 10), d = run_key("f", u"d", 100, 10);
    cache.store(a, coverage_of(1000, 1));
    cache.store(b, coverage_of(1000, 2));
    cache.store(c, coverage_of(1000, 3));
    ASSERT_NE(cache.find(a), nullptr);  // a is now the most recent; b the oldest
    cache.store(d, coverage_of(1000, 4));
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_LE(cache.bytes(), cache.limit());
    EXPECT_EQ(cache.find(b), nullptr);
    EXPECT_NE(cache.find(a), nullptr);
    EXPECT_NE(cache.find(c), nullptr);
    EXPECT_NE(cache.find(d), nullptr);

    // A run larger than the whole limit is not kept and keeps the others.
    cache.store(run_key("f", u"huge", 400, 10), coverage_of(4000, 5));
    EXPECT_EQ(cache.size(), 3u);
    EXPECT_EQ(cache.find(run_key("f", u"huge", 400, 10)), nullptr);
}

TEST(RunCache, ManyRunsStayWithinTheDefaultLimit) {
    // Every line of a long session stays bounded, however many there are;
    // a full-size bitmap's coverage fits.
    run_cache cache;
    const size_t full = size_t{text_bitmap_width} * text_bitmap_height;
    for (int i = 0; i < 200; ++i) {
        std::u16string run = u"line ";
        run += static_cast<char16_t>(u'A' + i);
        cache.store(run_key("f", run, text_bitmap_width, text_bitmap_height), coverage_of(full, 7));
        ASSERT_LE(cache.bytes(), run_cache_default_bytes);
    }
    EXPECT_GE(cache.size(), 2u);
}

TEST(BlitCoverage, WritesGreyInsideTheRectangleOnly) {
    std::vector<uint8_t> bitmap(text_bitmap_stride * text_bitmap_height, 0x55);
    const std::vector<uint8_t> coverage{0, 10, 20, 30, 40, 50};  // 3 x 2
    blit_coverage(coverage.data(), 3, 2, bitmap.data());
    for (int32_t y = 0; y < 3; ++y)
        for (int32_t x = 0; x < 4; ++x)
            for (int32_t k = 0; k < 3; ++k) {
                const uint8_t got = bitmap[static_cast<size_t>(y) * text_bitmap_stride + 3 * x + k];
                const uint8_t want = (x < 3 && y < 2) ? coverage[static_cast<size_t>(y * 3 + x)] : 0x55;
                EXPECT_EQ(got, want) << x << "," << y << "," << k;
            }
}

}  // namespace
}  // namespace tamber::web
