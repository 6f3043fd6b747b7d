// A page for fetch_http's browser test. The test starts requests from
// JavaScript (page_start); a frame loop drives each one as the fetcher
// does (poll_open until ready, then at most 64 KiB a frame) and prints what
// happened to the console:
//   case <id> open ready status=<n> length=<n>|none
//   case <id> open failed error=<n>
//   case <id> end bytes=<n> sum=<FNV-1a of the body>
//   case <id> failed error=<n> bytes=<n>
// A body is kept whole in a growing vector and read straight into its end,
// so the wasm memory grows between reads.
#include <emscripten.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

#include "platform/web/fetch_http.h"

namespace {

using tamber::http_handle;

struct page_case {
    http_handle request = nullptr;
    bool reading = true;  // false: the body is never read
    bool opened = false;
    bool over = false;
    std::vector<uint8_t> body;
};

tamber::web::fetch_http client;
http_handle session = nullptr;
std::map<int, page_case> cases;
uint32_t frames = 0;

uint32_t fnv1a(const std::vector<uint8_t>& bytes) {
    uint32_t hash = 2166136261u;
    for (uint8_t byte : bytes) hash = (hash ^ byte) * 16777619u;
    return hash;
}

void step(int id, page_case& c) {
    uint32_t error = 0;
    if (!c.opened) {
        const tamber::open_status open = client.poll_open(c.request, error);
        if (open == tamber::open_status::waiting) return;
        if (open == tamber::open_status::failed) {
            std::printf("case %d open failed error=%u\n", id, error);
            c.over = true;
            return;
        }
        c.opened = true;
        uint32_t status = 0, length = 0;
        const bool has_status = client.query_status(c.request, status);
        if (client.query_content_length(c.request, length))
            std::printf("case %d open ready status=%u length=%u\n", id, has_status ? status : 0, length);
        else
            std::printf("case %d open ready status=%u length=none\n", id, has_status ? status : 0);
    }
    if (!c.reading) return;
    const std::size_t had = c.body.size();
    c.body.resize(had + 65536);
    uint32_t count = 0;
    const tamber::read_status status = client.read(c.request, c.body.data() + had, 65536, count, error);
    c.body.resize(had + count);
    if (status == tamber::read_status::end) {
        std::printf("case %d end bytes=%zu sum=%u\n", id, c.body.size(), fnv1a(c.body));
        c.over = true;
    } else if (status == tamber::read_status::failed) {
        std::printf("case %d failed error=%u bytes=%zu\n", id, error, c.body.size());
        c.over = true;
    }
}

void frame() {
    ++frames;
    for (auto& [id, c] : cases)
        if (!c.over) step(id, c);
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void page_start(int id, const char* url, int reading) {
    uint32_t error = 0;
    page_case& c = cases[id];
    c.reading = reading != 0;
    c.request = client.open_url(session, url, error);
    if (!c.request) {
        std::printf("case %d start failed error=%u\n", id, error);
        c.over = true;
    }
}

// Closes the request `times` times over: a second close must do nothing.
EMSCRIPTEN_KEEPALIVE void page_close(int id, int times) {
    page_case& c = cases[id];
    for (int i = 0; i < times; ++i) client.close(c.request);
    c.over = true;
}

EMSCRIPTEN_KEEPALIVE void page_close_session() { client.close(session); }

EMSCRIPTEN_KEEPALIVE uint32_t page_frames() { return frames; }

EMSCRIPTEN_KEEPALIVE uint32_t page_buffered_bytes() { return tamber::web::fetch_http::buffered_bytes(); }
}

int main() {
    uint32_t error = 0;
    session = client.open_session("tamber-test", error);
    std::printf("page ready session=%s\n", session ? "yes" : "no");
    emscripten_set_main_loop(frame, 0, false);
    return 0;
}
