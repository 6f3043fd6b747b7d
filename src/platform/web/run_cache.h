// The glyph-run cache of the browser host's font engine: the coverage of
// rendered runs, so that a line drawn again in the next frame (the progress
// screen draws the same lines every frame) is copied instead of being
// rasterised by the canvas again. Keyed by font, run and clip rectangle;
// the least recently used runs leave first once the stored bytes pass the
// limit. Plain C++, so it is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tamber::web {

inline constexpr size_t run_cache_default_bytes = size_t{2} << 20;

// The key of one rendered run: `font` names the font completely (two fonts
// with the same name draw the same pixels).
std::string run_key(std::string_view font, std::u16string_view run, int32_t right, int32_t bottom);

class run_cache {
public:
    explicit run_cache(size_t byte_limit = run_cache_default_bytes) : limit_(byte_limit) {}
    run_cache(const run_cache&) = delete;
    run_cache& operator=(const run_cache&) = delete;

    // The coverage stored under the key (one byte per pixel, rows of the
    // key's width), or null; counts a hit or a miss, and a hit makes the
    // run the most recently used.
    const std::vector<uint8_t>* find(std::string_view key);
    // Stores a run's coverage (replacing any under the same key), then drops
    // the least recently used runs until the total fits the limit. A run
    // larger than the limit on its own is not kept.
    void store(std::string key, std::vector<uint8_t> coverage);
    void clear();

    size_t bytes() const { return bytes_; }
    size_t size() const { return entries_.size(); }
    size_t limit() const { return limit_; }
    // Lookups that found a run, and those that did not (each of which the
    // engine rasterises).
    uint64_t hits() const { return hits_; }
    uint64_t misses() const { return misses_; }

private:
    struct entry {
        std::string key;
        std::vector<uint8_t> coverage;
        size_t bytes() const;
    };
    void erase(std::list<entry>::iterator it);

    size_t limit_;
    size_t bytes_ = 0;
    uint64_t hits_ = 0, misses_ = 0;
    std::list<entry> entries_;  // most recently used first
    // Views of the keys held by the list's nodes, which never move.
    std::unordered_map<std::string_view, std::list<entry>::iterator> index_;
};

// Writes right x bottom coverage bytes into the top-left corner of the
// text bitmap (text_bitmap_stride bytes a row) as grey: each byte in all
// three of the pixel's bytes.
void blit_coverage(const uint8_t* coverage, int32_t right, int32_t bottom, uint8_t* bitmap);

}  // namespace tamber::web
