// WinINet behind the HTTP seam: the client quillon.exe ships with.
//   open_session  InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, no
//                 proxy, no bypass list, flags 0): the system's proxy
//                 settings, synchronous calls.
//   open_url      InternetOpenUrlA(session, url, no headers,
//                 INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES, 0):
//                 never from the cache, no cookies, redirects followed.
//   query_*       HttpQueryInfoW with HTTP_QUERY_FLAG_NUMBER.
//   read          InternetReadFile.
//   close         InternetCloseHandle.
// Error numbers are GetLastError's.
#pragma once

#include "update/http.h"

namespace tamber::win32 {

class wininet_http final : public tamber::http_client {
public:
    http_handle open_session(const char* user_agent, uint32_t& error) override;
    http_handle open_url(http_handle session, const char* url, uint32_t& error) override;
    bool query_status(http_handle request, uint32_t& status) override;
    bool query_content_length(http_handle request, uint32_t& length) override;
    read_status read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) override;
    void close(http_handle handle) override;
};

}  // namespace tamber::win32
