#include "platform/web/run_cache.h"

#include <cstring>

#include "draw/font_engine.h"

namespace tamber::web {

namespace {

// What the bookkeeping of one entry (list node, index slot) roughly costs,
// counted with its bytes so that many tiny runs cannot grow without bound.
constexpr size_t entry_overhead = 96;

template <typename T>
void append_bytes(std::string& out, const T& value) {
    char raw[sizeof(T)];
    std::memcpy(raw, &value, sizeof(T));
    out.append(raw, sizeof(T));
}

}  // namespace

std::string run_key(std::string_view font, std::u16string_view run, int32_t right, int32_t bottom) {
    // Fixed-size fields and the font's length first: no two keys of
    // different parts can spell the same bytes.
    std::string key;
    key.reserve(16 + font.size() + 2 * run.size());
    append_bytes(key, right);
    append_bytes(key, bottom);
    append_bytes(key, static_cast<uint64_t>(font.size()));
    key.append(font);
    for (const char16_t u : run) append_bytes(key, u);
    return key;
}

size_t run_cache::entry::bytes() const { return key.size() + coverage.size() + entry_overhead; }

const std::vector<uint8_t>* run_cache::find(std::string_view key) {
    const auto it = index_.find(key);
    if (it == index_.end()) {
        ++misses_;
        return nullptr;
    }
    ++hits_;
    entries_.splice(entries_.begin(), entries_, it->second);
    return &it->second->coverage;
}

void run_cache::store(std::string key, std::vector<uint8_t> coverage) {
    if (const auto it = index_.find(key); it != index_.end()) erase(it->second);
    entry e{std::move(key), std::move(coverage)};
    const size_t size = e.bytes();
    if (size > limit_) return;
    while (bytes_ + size > limit_ && !entries_.empty()) erase(std::prev(entries_.end()));
    entries_.push_front(std::move(e));
    index_.emplace(entries_.front().key, entries_.begin());
    bytes_ += size;
}

void run_cache::clear() {
    index_.clear();
    entries_.clear();
    bytes_ = 0;
}

void run_cache::erase(std::list<entry>::iterator it) {
    bytes_ -= it->bytes();
    index_.erase(it->key);
    entries_.erase(it);
}

void blit_coverage(const uint8_t* coverage, int32_t right, int32_t bottom, uint8_t* bitmap) {
    for (int32_t y = 0; y < bottom; ++y) {
        const uint8_t* src = coverage + static_cast<size_t>(y) * static_cast<size_t>(right);
        uint8_t* dst = bitmap + static_cast<size_t>(y) * text_bitmap_stride;
        for (int32_t x = 0; x < right; ++x, dst += 3) dst[0] = dst[1] = dst[2] = src[x];
    }
}

}  // namespace tamber::web
