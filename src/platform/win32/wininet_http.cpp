#include "platform/win32/wininet_http.h"

#include <windows.h>
#include <wininet.h>

namespace tamber::win32 {

http_handle wininet_http::open_session(const char* user_agent, uint32_t& error) {
    HINTERNET session = InternetOpenA(user_agent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    error = session ? 0 : GetLastError();
    return session;
}

http_handle wininet_http::open_url(http_handle session, const char* url, uint32_t& error) {
    HINTERNET request = InternetOpenUrlA(static_cast<HINTERNET>(session), url, nullptr, 0,
                                         INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_COOKIES, 0);
    error = request ? 0 : GetLastError();
    return request;
}

bool wininet_http::query_status(http_handle request, uint32_t& status) {
    DWORD value = 0;
    DWORD length = sizeof value;
    if (!HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &value,
                        &length, nullptr))
        return false;
    status = value;
    return true;
}

bool wininet_http::query_content_length(http_handle request, uint32_t& length) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (!HttpQueryInfoW(static_cast<HINTERNET>(request), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &value,
                        &size, nullptr))
        return false;
    length = value;
    return true;
}

bool wininet_http::read(http_handle request, void* buffer, uint32_t size, uint32_t& count, uint32_t& error) {
    DWORD received = 0;
    if (!InternetReadFile(static_cast<HINTERNET>(request), buffer, size, &received)) {
        error = GetLastError();
        count = 0;
        return false;
    }
    count = received;
    return true;
}

void wininet_http::close(http_handle handle) { InternetCloseHandle(static_cast<HINTERNET>(handle)); }

}  // namespace tamber::win32
