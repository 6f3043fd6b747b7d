// libcurl behind the HTTP seam, for native builds.
//
// A session is a curl multi handle carrying the user agent; its requests
// share its connection cache, so consecutive files reuse one connection.
// Each request:
//   - GET with the user agent, the proxy from the environment (libcurl's
//     http_proxy / no_proxy handling), no cookie engine, "Cache-Control:
//     no-cache" and "Pragma: no-cache" so no cache on the way answers it,
//     http and https only;
//   - redirects followed here, not by libcurl (which follows every 3xx with
//     a Location): 301, 302, 303, 307 and 308 (is_followed_redirect), at
//     most 10 (47 for a longer chain), the redirect's body read and dropped
//     (cut off with its connection past 64 KiB); any other status is the
//     final reply;
//   - https: the server's certificate is checked against the system's CAs
//     (or the CA file a test set) and the host name; a failure is an open
//     failure. A request that starts on https follows redirects to https
//     only (1 for one to http), so no file comes over an unchecked
//     connection;
//   - open_url adds the transfer to the session and makes one pass over
//     the session's transfers, without waiting; poll_open makes another
//     pass until the final reply's headers are in (interim 1xx replies and
//     followed redirects are skipped). Host names are looked up on
//     libcurl's resolver threads, and a request closed or timed out during
//     a lookup leaves that thread to end by itself (CURLOPT_QUICK_EXIT):
//     no call here waits for a lookup;
//   - read makes one pass over the transfers without waiting and hands out
//     at most the requested count of what has arrived; a transfer whose
//     unread bytes pass 1 MiB pauses until they are read;
//   - a connection that closes before the announced Content-Length is the
//     end of the body, as WinINet reports it: the fetcher's length check
//     then names the sizes ("partial download"); a body cut off without
//     such a length (a chunked body missing its last chunk) fails (18);
//   - a transfer that moves less than 1 byte per second for 30 s, or a
//     connection not made within 30 s, fails (error 28);
//   - closing a request mid-body drops its connection unread.
// Error numbers are libcurl's CURLcode values, for example
//   1 redirect from https to http, 6 host not resolved, 7 cannot connect,
//   18 body cut off, 28 timed out, 35 TLS handshake failed, 47 too many
//   redirects, 52 empty reply, 56 receive failure (connection reset),
//   60 server certificate not trusted or not for the name, 27 out of memory.
#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "update/http.h"

namespace tamber::native {

class curl_http final : public tamber::http_client {
public:
    http_handle open_session(const char* user_agent, uint32_t& error) override;
    http_handle open_url(http_handle session, const char* url, uint32_t& error) override;
    open_status poll_open(http_handle request, uint32_t& error) override;
    bool query_status(http_handle request, uint32_t& status) override;
    bool query_content_length(http_handle request, uint32_t& length) override;
    read_status read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) override;
    void close(http_handle handle) override;

    // The CA certificates (a PEM file) that https servers are checked
    // against, in place of the system's, for sessions opened from now on.
    // Only tests set it, to trust a CA of their own; the host never does.
    void set_ca_file(std::string path) { ca_file_ = std::move(path); }
    // How long a connection, its host name's lookup included, may take, for
    // sessions opened from now on (30 s unless set). Only tests shorten it.
    void set_connect_timeout(std::chrono::milliseconds timeout) { connect_timeout_ = timeout; }

private:
    std::string ca_file_;
    std::chrono::milliseconds connect_timeout_{30000};
};

}  // namespace tamber::native
