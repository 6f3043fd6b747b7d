// WinINet behind the HTTP seam: the client quillon.exe ships with.
//   open_session  InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, no
//                 proxy, no bypass list, flags 0): the system's proxy
//                 settings; connect, send and receive give up after 30 s.
//   open_url      queues the request for one of the session's request
//                 threads, which does all the waiting (one thread serves
//                 consecutive requests; another starts only while every
//                 one is busy): InternetOpenUrlA(session, url, no headers,
//                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
//                 INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT,
//                 0): never from the cache nor into it, no cookies;
//                 redirects (is_followed_redirect: 301, 302,
//                 303, 307, 308, relative or absolute Location; any other
//                 status is the final reply) followed there, at most
//                 max_redirects of them (WinINet itself follows without
//                 limit), a longer chain failing with
//                 ERROR_HTTP_REDIRECT_FAILED. https URLs are opened with
//                 INTERNET_FLAG_SECURE and the certificate checked in full
//                 (a failure is the open's error: 12045 unknown CA, 12038
//                 wrong name, 12037 out of date); a request that starts on
//                 https follows no redirect to http
//                 (ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR). A redirect's
//                 body is read to its end and the hop closed there, its
//                 connection reused by the next hop; one that announces
//                 more than 1 MiB, or goes on past 64 KiB without a
//                 length, is closed at once by the one
//                 closer thread (64 KiB of stack reserved), which takes
//                 such handles in turn, so a chain is never left holding
//                 connections of its own.
//                 The caller never calls a WinINet function that waits on
//                 the server.
//   poll_open     whether the thread has the final reply, or its error.
//   query_*       the status and Content-Length the thread read with
//                 HttpQueryInfoW and HTTP_QUERY_FLAG_NUMBER.
//   read          takes what the thread has gathered of the body: WinINet's
//                 reads block until their buffer is full, so the thread
//                 waits (InternetQueryDataAvailable, then InternetReadFile
//                 of no more than is there) and holds at most 256 KiB the
//                 caller has not taken (four of its reads), in a window
//                 allocated once; the rest waits in the socket. Memory that
//                 cannot be had fails the request (ERROR_NOT_ENOUGH_MEMORY).
//                 A chunked body that ends because the connection closed
//                 (WinINet reads that as its end) fails with
//                 ERROR_INTERNET_CONNECTION_ABORTED.
//   close         a request whose body has ended or failed closes at once;
//                 any other is left to its thread, which closes it when its
//                 current call returns, since WinINet reads the rest of an
//                 unfinished body on close, for ever if the body never ends.
//                 A session's internet handle is closed (by the closer)
//                 once the session, its requests and its threads are all
//                 done with it, so no late call of an earlier request can
//                 land on a later handle that WinINet gave the same value.
// Error numbers are GetLastError's.
#pragma once

#include "update/http.h"

namespace tamber::win32 {

class wininet_http final : public tamber::http_client {
public:
    http_handle open_session(const char* user_agent, uint32_t& error) override;
    http_handle open_url(http_handle session, const char* url, uint32_t& error) override;
    open_status poll_open(http_handle request, uint32_t& error) override;
    bool query_status(http_handle request, uint32_t& status) override;
    bool query_content_length(http_handle request, uint32_t& length) override;
    read_status read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) override;
    void close(http_handle handle) override;

    // INTERNET_OPTION_MAX_CONNS_PER_SERVER for the internet handles of
    // sessions opened from now on (0: WinINet's own). Only tests set it.
    void set_connections_per_server(uint32_t connections) { connections_per_server_ = connections; }

private:
    uint32_t connections_per_server_ = 0;
};

}  // namespace tamber::win32
