#include "platform/web/fetch_http.h"

#include <cstdint>

// fetch_http.js; handles are its integers, 0 for none.
extern "C" {
uint32_t tamber_web_http_open_session();
uint32_t tamber_web_http_open_url(uint32_t session, const char* url, uint32_t* error);
int32_t tamber_web_http_poll_open(uint32_t request, uint32_t* error);
uint32_t tamber_web_http_status(uint32_t request);
int32_t tamber_web_http_content_length(uint32_t request, uint32_t* length);
int32_t tamber_web_http_read(uint32_t request, void* buffer, uint32_t size, uint32_t* error);
void tamber_web_http_close(uint32_t handle);
uint32_t tamber_web_http_buffered_bytes();
}

namespace tamber::web {
namespace {

http_handle to_handle(uint32_t id) { return reinterpret_cast<http_handle>(static_cast<uintptr_t>(id)); }
uint32_t to_id(http_handle handle) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle)); }

}  // namespace

http_handle fetch_http::open_session(const char*, uint32_t& error) {
    error = 0;
    return to_handle(tamber_web_http_open_session());
}

http_handle fetch_http::open_url(http_handle session, const char* url, uint32_t& error) {
    error = 0;
    if (!url) {
        error = 43;
        return nullptr;
    }
    return to_handle(tamber_web_http_open_url(to_id(session), url, &error));
}

open_status fetch_http::poll_open(http_handle request, uint32_t& error) {
    switch (tamber_web_http_poll_open(to_id(request), &error)) {
    case 0: return open_status::waiting;
    case 1: return open_status::ready;
    default: return open_status::failed;
    }
}

bool fetch_http::query_status(http_handle request, uint32_t& status) {
    const uint32_t code = tamber_web_http_status(to_id(request));
    if (code == 0) return false;
    status = code;
    return true;
}

bool fetch_http::query_content_length(http_handle request, uint32_t& length) {
    return tamber_web_http_content_length(to_id(request), &length) != 0;
}

read_status fetch_http::read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) {
    count = 0;
    if (size > INT32_MAX) size = INT32_MAX;  // the count comes back as an int32_t
    const int32_t result = tamber_web_http_read(to_id(request), buffer, size, &error);
    if (result > 0) {
        count = static_cast<uint32_t>(result);
        return read_status::bytes;
    }
    if (result == 0) return read_status::waiting;
    return result == -1 ? read_status::end : read_status::failed;
}

void fetch_http::close(http_handle handle) { tamber_web_http_close(to_id(handle)); }

uint32_t fetch_http::buffered_bytes() { return tamber_web_http_buffered_bytes(); }

}  // namespace tamber::web
