// The browser's fetch() behind the HTTP seam, for the browser host. The
// requests live in JavaScript (fetch_http.js); the handles are its small
// integer handles, never 0 and never handed out twice, so closing a handle
// twice, or closing a session before its requests, is safe.
//
// A session carries nothing: fetch sets the User-Agent itself, so the one
// given to open_session is not sent. Each request:
//   - fetch(url, {cache: 'no-store', credentials: 'omit',
//     redirect: 'follow'}): never answered from the browser's cache, no
//     cookies sent or stored, as on the other hosts. A URL of another origin is fetched only when its server
//     allows it (CORS headers); one that does not fails at open (7), and
//     the browser's reason, with the URL, goes to the console as a warning;
//   - redirects are followed by the browser, not here: the same statuses
//     as is_followed_redirect (301, 302, 303, 307, 308), but up to the
//     browser's own limit (20), not max_redirects. fetch shows no count of
//     the hops it took and `redirect: 'manual'` hides the Location, so a
//     chain of 11 to 20 is followed; a longer one fails at open (7). A hop
//     to another origin needs that origin's CORS headers, and on an https
//     page the browser blocks any http hop (mixed content): both 7 too;
//   - open_url starts the fetch and returns at once; poll_open says whether
//     its reply is in, without waiting;
//   - query_content_length gives the Content-Length only when it counts
//     the bytes read: the browser decodes a Content-Encoding (gzip, br)
//     itself and cannot be asked for 'identity', so a reply with one has no
//     length here, and the fetcher takes any body size it allows. Another
//     origin's Content-Encoding is seen only when its server exposes it
//     (Access-Control-Expose-Headers); a compressed reply from one that
//     does not has its encoded length, and fails the fetcher's size check;
//   - read hands out at most the requested count of the bytes that have
//     arrived, without waiting. The body is pulled from the response's
//     stream, 64 KiB at most a read (a BYOB reader; where the browser has
//     none, the default reader's chunks, up to its own buffer), while fewer
//     than 1 MiB of it are unread: a server that sends for ever costs the
//     page at most that plus one read. Beyond the page, the browser's
//     network buffers and the socket's take in more before the server is
//     held back (about 64 MiB over loopback in headless Chromium);
//   - a body that stops short of its Content-Length ends (the fetcher
//     compares the sizes, "partial download"; the browser may drop the
//     bytes that came with the close, so the count can fall short of what
//     was sent); one without a length that breaks off (a chunked body
//     without its last chunk) fails (18). The browser tells neither why a
//     body broke off nor a reset from a close: both are a TypeError;
//   - nothing here times out: a server that never answers leaves poll_open
//     waiting, until the fetcher's stall limit closes the request;
//   - close aborts the fetch and cancels its body stream; a session's close
//     fails its requests that have not ended (56).
// Error numbers, libcurl's CURLcode values where the meaning matches:
//   7 fetch rejected (no connection, a cross-origin reply without CORS
//     headers, a redirect chain too long, a URL fetch refuses),
//   18 body cut off, 27 out of memory, 43 not a handle of this client,
//   56 the request's session was closed.
#pragma once

#include <cstdint>

#include "update/http.h"

namespace tamber::web {

class fetch_http final : public tamber::http_client {
public:
    http_handle open_session(const char* user_agent, uint32_t& error) override;
    http_handle open_url(http_handle session, const char* url, uint32_t& error) override;
    open_status poll_open(http_handle request, uint32_t& error) override;
    bool query_status(http_handle request, uint32_t& status) override;
    bool query_content_length(http_handle request, uint32_t& length) override;
    read_status read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) override;
    void close(http_handle handle) override;

    // The unread body bytes held in JavaScript for all open requests; for
    // tests of the bound on them.
    static uint32_t buffered_bytes();
};

}  // namespace tamber::web
