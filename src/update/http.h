// The HTTP seam: what the fetcher needs of an HTTP client. WinINet in
// quillon.exe, libcurl in native builds. Error codes are the platform's
// (GetLastError on Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace tamber {

using http_handle = void*;

// The longest chain of redirects a request follows.
constexpr int max_redirects = 10;

// The replies a request follows to their Location: 301, 302, 303, 307 and
// 308. Every other status is the final reply, Location or not: 300 (a
// choice for the user to make), 304 (an answer to a conditional request,
// which is never made) and 305 (a proxy to be taken from the server) mean
// nothing the client can act on.
constexpr bool is_followed_redirect(uint32_t status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// What one read of a body gave.
enum class read_status {
    bytes,    // `count` (above 0) body bytes
    waiting,  // nothing has arrived yet; the body goes on
    end,      // the body ended completely
    failed,   // the transfer failed, or ended before its body was complete
};

// Where an opened request stands before its body.
enum class open_status {
    waiting,  // the reply's headers are not in yet
    ready,    // the final reply's headers are in: status and length can be read
    failed,   // no reply: not connected, or the redirect chain failed
};

class http_client {
public:
    // A client handle carrying the user agent, using the system's proxy
    // settings, synchronous. Null on failure, with the error in `error`.
    virtual http_handle open_session(const char* user_agent, uint32_t& error) = 0;
    // Starts a GET of an absolute URL: never answered from a cache, no
    // cookies sent or stored, redirects (is_followed_redirect) followed up
    // to max_redirects (a longer chain fails). Returns at once, without
    // waiting for the connection or the reply; poll_open tells when the
    // headers are in.
    // Null when the request cannot even be started, with the error in
    // `error`.
    virtual http_handle open_url(http_handle session, const char* url, uint32_t& error) = 0;
    // Whether the final reply's headers are in, without waiting for them.
    // On `failed` (what a blocking open would have failed with: no
    // connection, a redirect chain too long) the error is in `error`.
    virtual open_status poll_open(http_handle request, uint32_t& error) = 0;
    // Once poll_open said `ready`:
    // the numeric status; false when it cannot be read.
    virtual bool query_status(http_handle request, uint32_t& status) = 0;
    // The numeric Content-Length; false when there is none.
    virtual bool query_content_length(http_handle request, uint32_t& length) = 0;
    // Takes at most `size` of the body bytes that have arrived, without
    // waiting for more: `waiting` when none have. A body cut off before its
    // end (a chunked body without its last chunk) is `failed`; a body shorter
    // than its Content-Length is `end`, and the caller compares the sizes.
    // On `failed` the error is in `error`.
    virtual read_status read(http_handle request, void* buffer, uint32_t size, uint32_t& count,
                             uint32_t& error) = 0;
    // Closing a request whose body has not been read to its end abandons
    // it: the rest is never read, whatever the server goes on sending.
    virtual void close(http_handle handle) = 0;

protected:
    ~http_client() = default;
};

// Owns one handle of an http_client and closes it through that client.
// Taking a new handle first closes the one held before.
class http_owner {
public:
    explicit http_owner(http_client& client) : client_(&client) {}
    ~http_owner() { close(); }
    http_owner(const http_owner&) = delete;
    http_owner& operator=(const http_owner&) = delete;

    void reset(http_handle handle) {
        close();
        handle_ = handle;
    }
    void close() {
        if (handle_) client_->close(std::exchange(handle_, nullptr));
    }
    http_handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    http_client* client_;
    http_handle handle_ = nullptr;
};

}  // namespace tamber
